#include "tools/docbuild/uno_util.h"

#include <QBuffer>
#include <QUrl>

#include <com/sun/star/graphic/GraphicProvider.hpp>
#include <com/sun/star/io/SequenceInputStream.hpp>

namespace marigal::docbuild {

css::uno::Sequence<css::beans::PropertyValue> namedValues(
    std::initializer_list<std::pair<const char*, css::uno::Any>> values)
{
    css::uno::Sequence<css::beans::PropertyValue> seq(sal_Int32(values.size()));
    auto* out = seq.getArray();
    for (const auto& [name, value] : values) {
        out->Name = ou(name);
        out->Value = value;
        ++out;
    }
    return seq;
}

rtl::OUString fileUrl(const QString& path)
{
    return toOUString(QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded));
}

void setProperty(const css::uno::Reference<css::uno::XInterface>& object, const char* name, const css::uno::Any& value)
{
    css::uno::Reference<css::beans::XPropertySet> props(object, css::uno::UNO_QUERY_THROW);
    props->setPropertyValue(ou(name), value);
}

css::uno::Reference<css::graphic::XGraphic> officeGraphic(
    const css::uno::Reference<css::uno::XComponentContext>& context, const QImage& picture)
{
    // Painted pictures with no transparency keep their look as a fine JPEG
    // at a fraction of a PNG's size; the others stay PNG.
    QByteArray encoded;
    QBuffer buffer(&encoded);
    buffer.open(QIODevice::WriteOnly);
    if (picture.hasAlphaChannel()) picture.save(&buffer, "PNG");
    else picture.save(&buffer, "JPG", 92);
    const css::uno::Sequence<sal_Int8> bytes(reinterpret_cast<const sal_Int8*>(encoded.constData()),
                                             sal_Int32(encoded.size()));
    auto stream = css::io::SequenceInputStream::createStreamFromSequence(context, bytes);
    auto provider = css::graphic::GraphicProvider::create(context);
    return provider->queryGraphic(namedValues({{"InputStream", css::uno::Any(stream)}}));
}

}  // namespace marigal::docbuild
