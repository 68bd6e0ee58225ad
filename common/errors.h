#pragma once
// Errors the application's own code raises, and the one table of their texts.
// The texts are those the desktop platform itself uses for the same faults, so
// the error box reads the same whoever raised the error.

#include <QString>

#include <stdexcept>

namespace marigal {

class AppError : public std::runtime_error {
public:
    explicit AppError(const QString& description) : std::runtime_error(description.toStdString()) {}
    QString description() const { return QString::fromUtf8(what()); }
};

namespace apperr {
inline const QString kTypeMismatch = QStringLiteral("Type mismatch");
inline const QString kOverflow = QStringLiteral("Overflow");
inline const QString kInvalidPropertyValue = QStringLiteral("Invalid property value");
inline const QString kInvalidPicture = QStringLiteral("Invalid picture");
inline const QString kFileNotFound = QStringLiteral("File not found");
inline const QString kPathNotFound = QStringLiteral("Path not found");
inline const QString kPermissionDenied = QStringLiteral("Permission denied");
inline const QString kPathFileAccess = QStringLiteral("Path/File access error");
inline const QString kDiskFull = QStringLiteral("Disk full");
inline const QString kFileAlreadyExists = QStringLiteral("File already exists");
inline const QString kDeviceIo = QStringLiteral("Device I/O error");
inline const QString kFileNameTooLong = QStringLiteral("File name too long");
inline const QString kUnknown = QStringLiteral("Application-defined or object-defined error");
inline const QString kSubscriptOutOfRange = QStringLiteral("Subscript out of range");
inline QString noSuchResource(int id)
{
    return QStringLiteral("Resource with identifier '%1' not found").arg(id);
}
inline QString noSuchControl(int index)
{
    return QStringLiteral("Control array element '%1' doesn't exist").arg(index);
}
}  // namespace apperr

// The integer value of a stored text, as the platform's integer conversion
// reads it: blanks around it are ignored, fractions round half to even, and
// anything else is a "Type mismatch"; beyond 16 bits is an "Overflow".
int CIntText(const QString& text);

}  // namespace marigal
