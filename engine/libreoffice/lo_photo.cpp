#include "engine/libreoffice/lo_photo.h"

#include "engine/engine_error.h"
#include "engine/libreoffice/uno_props.h"
#include "engine/libreoffice/uno_strings.h"
#include "photo/picture.h"

#include <QFile>
#include <QImageReader>

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/drawing/GraphicExportFilter.hpp>
#include <com/sun/star/drawing/XDrawPage.hpp>
#include <com/sun/star/drawing/XDrawPagesSupplier.hpp>
#include <com/sun/star/drawing/XShape.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/graphic/GraphicProvider.hpp>
#include <com/sun/star/io/IOException.hpp>
#include <com/sun/star/lang/IllegalArgumentException.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <osl/file.hxx>

#include <algorithm>
#include <atomic>

namespace marigal::engine::lo {

namespace {

using css::uno::Any;
using css::uno::Reference;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;

rtl::OUString PhotoUrl(const QString& path)
{
    if (auto url = toFileUrl(path)) return *url;
    throw EngineError(errtext::kPictureNotFound);
}

Reference<css::graphic::XGraphic> Query(const Reference<css::graphic::XGraphicProvider>& provider,
                                        const rtl::OUString& url)
{
    try {
        return provider->queryGraphic(Props({Prop("URL", url)}));
    } catch (const css::io::IOException&) {
    } catch (const css::lang::IllegalArgumentException&) {
    }
    return {};
}

// A hidden drawing, closed on every path.
class Drawing {
public:
    explicit Drawing(OfficeSession& session)
    {
        Reference<css::frame::XComponentLoader> loader(session.desktop(), UNO_QUERY_THROW);
        doc_ = loader->loadComponentFromURL("private:factory/sdraw", "_blank", 0, Props({Prop("Hidden", true)}));
        if (!doc_.is()) throw EngineError(errtext::kAutomationError);
    }
    ~Drawing()
    {
        try {
            Reference<css::util::XCloseable> closeable(doc_, UNO_QUERY);
            if (closeable.is()) closeable->close(true);
            else doc_->dispose();
        } catch (...) {
            // Gone with its office, or vetoed: the office ends with the session.
        }
    }
    Drawing(const Drawing&) = delete;
    Drawing& operator=(const Drawing&) = delete;
    const Reference<css::lang::XComponent>& doc() const { return doc_; }

private:
    Reference<css::lang::XComponent> doc_;
};

// The upright copy, drawn by the office: the photo on a drawing's page,
// mirrored and turned as its tag asks, exported at its own pixel size.
Reference<css::graphic::XGraphic> Upright(OfficeSession& session,
                                          const Reference<css::graphic::XGraphicProvider>& provider,
                                          const Reference<css::graphic::XGraphic>& graphic, const PhotoFile& photo,
                                          bool jpeg)
{
    css::awt::Size pixels;
    Reference<css::beans::XPropertySet>(graphic, UNO_QUERY_THROW)->getPropertyValue("SizePixel") >>= pixels;
    if (pixels.Width <= 0 || pixels.Height <= 0) throw EngineError(errtext::kNotAPicture);

    // The tag's order: mirror, flip, then a quarter turn clockwise. A flip is
    // a mirror and a half turn; the drawing's angles run counter-clockwise
    // in hundredths of a degree.
    const bool mirror = photo.turn & QImageIOHandler::TransformationMirror;
    const bool flip = photo.turn & QImageIOHandler::TransformationFlip;
    const bool quarter = photo.turn & QImageIOHandler::TransformationRotate90;
    const int clockwise = (quarter ? 90 : 0) + (flip ? 180 : 0);
    const sal_Int32 angle = sal_Int32((360 - clockwise % 360) % 360 * 100);

    Drawing drawing(session);
    Reference<css::drawing::XDrawPagesSupplier> pages(drawing.doc(), UNO_QUERY_THROW);
    Reference<css::drawing::XDrawPage> page(pages->getDrawPages()->getByIndex(0), UNO_QUERY_THROW);
    Reference<css::lang::XMultiServiceFactory> factory(drawing.doc(), UNO_QUERY_THROW);
    Reference<css::drawing::XShape> shape(factory->createInstance("com.sun.star.drawing.GraphicObjectShape"),
                                          UNO_QUERY_THROW);
    page->add(shape);
    // One pixel to a hundredth of a millimetre: the size only sets the
    // proportions; the export's pixel size is given below.
    shape->setSize({pixels.Width, pixels.Height});
    Reference<css::beans::XPropertySet> props(shape, UNO_QUERY_THROW);
    props->setPropertyValue("Graphic", Any(graphic));
    if (mirror != flip) props->setPropertyValue("IsMirrored", Any(true));
    if (angle) props->setPropertyValue("RotateAngle", Any(angle));

    static std::atomic<unsigned> counter{0};
    const QString file = session.tempDir() + QStringLiteral("/upright-%1.%2").arg(counter++).arg(jpeg ? "jpg" : "png");
    const rtl::OUString url = PhotoUrl(file);
    const auto filterData = Props({Prop("PixelWidth", quarter ? pixels.Height : pixels.Width),
                                   Prop("PixelHeight", quarter ? pixels.Width : pixels.Height),
                                   Prop("Quality", sal_Int32(95))});
    const auto args = Props({Prop("URL", url),
                             Prop("MediaType", rtl::OUString::createFromAscii(jpeg ? "image/jpeg" : "image/png")),
                             Prop("FilterData", filterData)});
    Reference<css::drawing::XGraphicExportFilter> filter = css::drawing::GraphicExportFilter::create(session.context());
    filter->setSourceDocument(Reference<css::lang::XComponent>(shape, UNO_QUERY_THROW));
    const bool written = filter->filter(args);
    Reference<css::graphic::XGraphic> upright = written ? Query(provider, url) : nullptr;
    QFile::remove(file);
    if (!upright.is()) throw EngineError(errtext::kNotAPicture);
    return upright;
}

css::awt::Size NaturalSize(const Reference<css::graphic::XGraphic>& graphic)
{
    Reference<css::beans::XPropertySet> props(graphic, UNO_QUERY_THROW);
    css::awt::Size size, pixels;
    props->getPropertyValue("Size100thMM") >>= size;
    if (size.Width > 0 && size.Height > 0) return size;
    props->getPropertyValue("SizePixel") >>= pixels;
    return {sal_Int32(pixels.Width * 2540 / 96), sal_Int32(pixels.Height * 2540 / 96)};
}

}  // namespace

PhotoFile InspectPhoto(const QString& path)
{
    if (path.isEmpty()) throw EngineError(errtext::kPictureNotFound);
    try {
        return {path, InspectPicture(path).turn};
    } catch (const PhotoError& e) {
        switch (e.problem()) {
        case PhotoProblem::NotFound: throw EngineError(errtext::kPictureNotFound);
        case PhotoProblem::Unreadable: throw EngineError(errtext::kPictureUnreadable);
        case PhotoProblem::TooLarge: throw EngineError(errtext::kPictureTooLarge);
        case PhotoProblem::NotAPicture: break;
        }
        throw EngineError(errtext::kNotAPicture);
    }
}

LoadedPhoto LoadPhoto(OfficeSession& session, const PhotoFile& photo)
{
    const rtl::OUString url = PhotoUrl(photo.path);
    const Reference<css::graphic::XGraphicProvider> provider = session.graphicProvider();
    Reference<css::graphic::XGraphic> graphic = Query(provider, url);
    if (!graphic.is()) throw EngineError(errtext::kNotAPicture);
    css::awt::Size natural = NaturalSize(graphic);
    if (photo.turn == QImageIOHandler::TransformationNone) return {graphic, natural};
    if (photo.turn & QImageIOHandler::TransformationRotate90) std::swap(natural.Width, natural.Height);
    rtl::OUString mime;
    Reference<css::beans::XPropertySet>(graphic, UNO_QUERY_THROW)->getPropertyValue("MimeType") >>= mime;
    return {Upright(session, provider, graphic, photo, mime == "image/jpeg"), natural};
}
}  // namespace marigal::engine::lo
