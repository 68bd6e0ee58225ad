#include "libreoffice/lo_render.h"

#include "libreoffice/office_log.h"
#include "libreoffice/uno_props.h"
#include "libreoffice/uno_strings.h"

#include <QClipboard>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QMimeData>
#include <QPainter>
#include <QThread>

#include <com/sun/star/frame/XStorable.hpp>
#include <osl/file.hxx>

#include <poppler-qt6.h>

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
    rtl::OUString url;
    if (osl::FileBase::getFileURLFromSystemPath(toOUString(path), url) != osl::FileBase::E_None)
        throw EngineError(errtext::kBadFileName);
    session.call([&] {
        const Reference<css::frame::XStorable> storable(document, css::uno::UNO_QUERY_THROW);
        // Photos go in as they are: lossless keeps a JPEG's own bytes (no
        // second round of JPEG loss) and spares the filter re-encoding it;
        // other bitmaps are deflated rather than turned into JPEG.
        const auto filterData = Props({Prop("UseLosslessCompression", true), Prop("ReduceImageResolution", false)});
        // storeToURL, unlike storeAsURL, leaves the document's location and
        // modified state alone.
        storable->storeToURL(url, Props({Prop("FilterName", rtl::OUString("writer_pdf_Export")),
                                         Prop("FilterData", filterData)}));
    });
}

QImage RenderPdf(const QString& path, double dpi, QSize fit)
{
    if (!(dpi > 0) || !std::isfinite(dpi)) throw std::invalid_argument("RenderPdf: dpi must be positive");
    const std::unique_ptr<Poppler::Document> doc = Poppler::Document::load(path);
    if (!doc || doc->isLocked() || doc->numPages() < 1) throw EngineError(errtext::kAutomationError);
    doc->setRenderBackend(Poppler::Document::SplashBackend);
    doc->setRenderHint(Poppler::Document::Antialiasing);
    doc->setRenderHint(Poppler::Document::TextAntialiasing);
    doc->setPaperColor(Qt::white);
    if (fit.isValid()) {
        // The pages side by side, in points: drawn no finer than fits `fit`.
        double widthPt = 0, heightPt = 0;
        for (int i = 0; i < doc->numPages(); ++i) {
            const std::unique_ptr<Poppler::Page> page = doc->page(i);
            if (!page) throw EngineError(errtext::kAutomationError);
            widthPt += page->pageSizeF().width();
            heightPt = std::max(heightPt, page->pageSizeF().height());
        }
        if (widthPt > 0 && heightPt > 0) dpi = std::min({dpi, fit.width() * 72.0 / widthPt, fit.height() * 72.0 / heightPt});
    }

    std::vector<QImage> pages;
    int width = 0;
    int height = 0;
    for (int i = 0; i < doc->numPages(); ++i) {
        const std::unique_ptr<Poppler::Page> page = doc->page(i);
        if (!page) throw EngineError(errtext::kAutomationError);
        // A page past 1 GiB of pixels is refused before the renderer asks
        // for the memory (and before its allocation failures are ours).
        const QSizeF points = page->pageSizeF();
        if (points.width() * dpi / 72 * points.height() * dpi / 72 > double(1 << 28))
            throw EngineError(errtext::kAutomationError);
        QImage image = page->renderToImage(dpi, dpi);
        if (image.isNull() || width > std::numeric_limits<int>::max() - image.width())
            throw EngineError(errtext::kAutomationError);
        width += image.width();
        height = std::max(height, image.height());
        pages.push_back(std::move(image));
    }

    QImage picture;
    if (pages.size() == 1) {
        picture = std::move(pages.front());
        if (picture.format() != QImage::Format_RGB32) picture = picture.convertToFormat(QImage::Format_RGB32);
    } else {
        picture = QImage(width, height, QImage::Format_RGB32);
        if (picture.isNull()) throw EngineError(errtext::kAutomationError);
        QPainter painter(&picture);
        int x = 0;
        for (QImage& page : pages) {
            painter.drawImage(x, 0, page);
            // Only below a shorter page is there anything to whiten.
            painter.fillRect(x, page.height(), page.width(), height - page.height(), Qt::white);
            x += page.width();
            page = QImage();  // the next page's memory, at high resolutions
        }
    }
    if (picture.isNull()) throw EngineError(errtext::kAutomationError);
    const int dotsPerMeter = int(std::lround(dpi / 0.0254));
    picture.setDotsPerMeterX(dotsPerMeter);
    picture.setDotsPerMeterY(dotsPerMeter);
    return picture;
}

QImage RenderDocument(OfficeSession& session, const Reference<css::lang::XComponent>& document, double dpi,
                      QSize fit)
{
    if (!(dpi > 0) || !std::isfinite(dpi)) throw std::invalid_argument("RenderDocument: dpi must be positive");
    session.ensureAlive();
    // In the office's own temporary folder, removed with it in any case.
    static std::atomic<unsigned> counter{0};
    const QString path = session.tempDir() + QStringLiteral("/pages-%1.pdf").arg(counter++);
    struct Removed {
        const QString& path;
        ~Removed() { QFile::remove(path); }
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
    return picture;
}

void PlaceOnClipboard(const QImage& picture)
{
    // QClipboard belongs to the GUI thread of a QGuiApplication.
    const auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (picture.isNull() || !app || QThread::currentThread() != app->thread())
        throw EngineError(errtext::kClipboard);
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setImage(picture);
    // setImage reports nothing; a platform that refused ownership (another
    // client holding the X selection) shows in what the clipboard now holds.
    const QMimeData* held = clipboard->mimeData();
    if (!held || !held->hasImage()) throw EngineError(errtext::kClipboard);
}

}  // namespace marigal::engine::lo
