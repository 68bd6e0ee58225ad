#include "engine/libreoffice/lo_backend.h"

#include "engine/engine_error.h"

#include <QPainter>

#include <poppler-qt6.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <stdexcept>
#include <vector>

namespace marigal::engine {

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

}  // namespace marigal::engine
