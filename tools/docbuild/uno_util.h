#pragma once
// Small UNO helpers shared by the document builder and reader.

#include "engine/libreoffice/office_session.h"
#include "engine/libreoffice/uno_strings.h"

#include <QColor>
#include <QImage>
#include <QString>

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/graphic/XGraphic.hpp>
#include <com/sun/star/uno/Reference.hxx>
#include <com/sun/star/uno/Sequence.hxx>
#include <com/sun/star/uno/XComponentContext.hpp>
#include <com/sun/star/uno/XInterface.hpp>

#include <initializer_list>
#include <utility>

namespace marigal::docbuild {

using engine::lo::toOUString;
using engine::lo::toQString;
using css::uno::Any;
using css::uno::Reference;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;
using css::uno::XInterface;

inline rtl::OUString ou(const char* ascii)
{
    return rtl::OUString::createFromAscii(ascii);
}

// A media descriptor or any other list of named values.
css::uno::Sequence<css::beans::PropertyValue> namedValues(
    std::initializer_list<std::pair<const char*, css::uno::Any>> values);

// file:// URL of a local path, as the office expects it.
rtl::OUString fileUrl(const QString& path);

// The office's colour value (0xRRGGBB) of an opaque colour.
inline sal_Int32 officeColor(const QColor& c)
{
    return sal_Int32((c.red() << 16) | (c.green() << 8) | c.blue());
}

// Sets one property; raises the office's exception for an unknown name.
void setProperty(const css::uno::Reference<css::uno::XInterface>& object, const char* name, const css::uno::Any& value);

template <class T>
T getProperty(const css::uno::Reference<css::uno::XInterface>& object, const char* name)
{
    css::uno::Reference<css::beans::XPropertySet> props(object, css::uno::UNO_QUERY_THROW);
    T value{};
    props->getPropertyValue(ou(name)) >>= value;
    return value;
}

// The picture as the office's graphic object: encoded as PNG here and decoded
// by the office from memory, so that no picture file is needed.
css::uno::Reference<css::graphic::XGraphic> officeGraphic(
    const css::uno::Reference<css::uno::XComponentContext>& context, const QImage& picture);

// session.call(f), with the office's own message and `what` added to the
// error it raises, so that a failed build says which step failed and why.
template <class F>
auto officeCall(engine::lo::OfficeSession& session, const char* what, F&& f) -> decltype(f())
{
    QString detail;
    try {
        return session.call([&]() -> decltype(f()) {
            try {
                return f();
            } catch (const css::uno::Exception& e) {
                detail = toQString(e.Message);
                throw;
            }
        });
    } catch (const engine::EngineError& e) {
        const QString description = QString::fromStdU16String(e.description());
        throw engine::EngineError(QStringLiteral("%1 (%2%3%4)")
                                      .arg(description, QLatin1String(what),
                                           detail.isEmpty() ? QString() : QStringLiteral(": "), detail));
    }
}

}  // namespace marigal::docbuild
