#include "engine/libreoffice/lo_render.h"

#include "engine/libreoffice/lo_backend.h"

#include "engine/libreoffice/office_log.h"
#include "engine/libreoffice/uno_props.h"
#include "engine/libreoffice/uno_strings.h"

#include <QElapsedTimer>
#include <QFile>
#include <QPainter>

#include <com/sun/star/frame/XStorable.hpp>
#include <osl/file.hxx>

#include <atomic>
#include <cmath>
#include <limits>
#include <memory>
#include <stdexcept>
#include <vector>

namespace marigal::engine::lo {

using css::uno::Reference;

void ExportPdf(OfficeSession& session, const Reference<css::lang::XComponent>& document, const QString& path)
{
    if (!document.is()) throw EngineError(errtext::kNotSet);
    const std::optional<rtl::OUString> url = toFileUrl(path);
    if (!url) throw EngineError(errtext::kBadFileName);
    session.call([&] {
        const Reference<css::frame::XStorable> storable(document, css::uno::UNO_QUERY_THROW);
        // Photos go in as they are: lossless keeps a JPEG's own bytes (no
        // second round of JPEG loss) and spares the filter re-encoding it;
        // other bitmaps are deflated rather than turned into JPEG.
        const auto filterData = Props({Prop("UseLosslessCompression", true), Prop("ReduceImageResolution", false)});
        // storeToURL, unlike storeAsURL, leaves the document's location and
        // modified state alone.
        storable->storeToURL(*url, Props({Prop("FilterName", rtl::OUString("writer_pdf_Export")),
                                         Prop("FilterData", filterData)}));
    });
}

QImage RenderDocument(OfficeSession& session, const Reference<css::lang::XComponent>& document, double dpi,
                      QSize fit, QString* keptPdf)
{
    if (!(dpi > 0) || !std::isfinite(dpi)) throw std::invalid_argument("RenderDocument: dpi must be positive");
    session.ensureAlive();
    // In the office's own temporary folder, removed with it in any case.
    static std::atomic<unsigned> counter{0};
    const QString path = session.tempDir() + QStringLiteral("/pages-%1.pdf").arg(counter++);
    struct Removed {
        const QString& path;
        bool kept = false;
        ~Removed()
        {
            if (!kept) QFile::remove(path);
        }
    } removed{path};
    QElapsedTimer clock;
    clock.start();
    ExportPdf(session, document, path);
    const qint64 exported = clock.elapsed();
    QImage picture = RenderPdf(path, dpi, fit);
    qCDebug(lcOfficeTiming).noquote() << QStringLiteral("pages as PDF %1 ms, drawn at %2 dpi (%3 x %4) %5 ms")
                                             .arg(exported)
                                             .arg(picture.dotsPerMeterX() * 0.0254, 0, 'f', 0)
                                             .arg(picture.width())
                                             .arg(picture.height())
                                             .arg(clock.elapsed() - exported);
    if (keptPdf) {
        removed.kept = true;
        *keptPdf = path;
    }
    return picture;
}

}  // namespace marigal::engine::lo
