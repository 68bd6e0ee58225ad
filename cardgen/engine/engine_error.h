#pragma once
// Errors raised by the document engine, and the one table of their texts.
// The texts read like the automation platform's own, since they end up in
// the common error box in front of the user.

#include <QString>

#include <stdexcept>

namespace marigal::engine {

class EngineError : public std::runtime_error {
public:
    explicit EngineError(const QString& description)
        : std::runtime_error(description.toStdString()), description_(description) {}
    const QString& description() const { return description_; }

private:
    QString description_;
};

namespace errtext {
inline const QString kNotSet = QStringLiteral("Object variable or With block variable not set");
inline const QString kTypeMismatch = QStringLiteral("Type mismatch");
inline const QString kNoSuchMember = QStringLiteral("Object doesn't support this property or method");
inline const QString kCannotCreate = QStringLiteral("ActiveX component can't create object");
inline const QString kItemNotFound = QStringLiteral("The item with the specified name wasn't found.");
inline const QString kServerGone =
    QStringLiteral("The remote server machine does not exist or is unavailable");
inline const QString kServerHung = QStringLiteral("The remote procedure call failed.");
inline const QString kAutomationError = QStringLiteral("Automation error");
}  // namespace errtext

}  // namespace marigal::engine
