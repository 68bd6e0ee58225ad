#include "cardgen/page_export.h"

#include "common/errors.h"
#include "common/files.h"
#include "common/steps.h"

#include <QBuffer>
#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImageWriter>

#include <cmath>

namespace marigal {

using engine::Arg;
using engine::Object;
using engine::Value;

QString PagePicturePath()
{
    return WorkPath(QStringLiteral("temp.bmp"));
}

QImage GetClipboardPicture(engine::Backend& backend, int /*format: any picture the clipboard offers*/)
{
    const engine::CopiedPicture copied = backend.takeCopiedPicture();
    if (copied.bits) {
        const auto held = new std::shared_ptr<const std::uint8_t>(copied.bits);
        QImage picture(
            copied.bits.get(), copied.width, copied.height, copied.bytesPerLine, QImage::Format_ARGB32_Premultiplied,
            [](void* bits) { delete static_cast<std::shared_ptr<const std::uint8_t>*>(bits); }, held);
        const int perMeter = int(std::lround(copied.dotsPerInch / 0.0254));
        picture.setDotsPerMeterX(perMeter);
        picture.setDotsPerMeterY(perMeter);
        return picture;
    }
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard) return {};
    QElapsedTimer clock;
    clock.start();
    for (int attempt = 0; attempt < 1000 && clock.elapsed() < 2000; ++attempt) {
        const QImage picture = clipboard->image();
        if (!picture.isNull()) return picture;
    }
    return {};
}

namespace {
// Pixels kept for each pixel shown at zoom 1.0: sharp up to the largest zoom
// and on a screen of up to four times the resolution.
constexpr double kOversample = 4.0;
}  // namespace

QSize PicturePixels(const PictureFit& fit)
{
    return {int(std::lround(fit.twips.width() * fit.screenDpi / 1440.0 * kOversample)),
            int(std::lround(fit.twips.height() * fit.screenDpi / 1440.0 * kOversample))};
}

QImage FitPicture(const QImage& picture, const PictureFit& fit)
{
    if (picture.isNull() || fit.twips.isEmpty()) return picture;
    // Natural size in screen pixels: the whole picture inside the viewport.
    const double viewW = fit.twips.width() * fit.screenDpi / 1440.0;
    const double viewH = fit.twips.height() * fit.screenDpi / 1440.0;
    const double natural = std::min(viewW / picture.width(), viewH / picture.height());
    QImage out = picture;
    const double oversample = kOversample;
    if (natural * oversample < 1.0) {
        out = picture.scaled(std::max(1, int(std::lround(picture.width() * natural * oversample))),
                             std::max(1, int(std::lround(picture.height() * natural * oversample))),
                             Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    // Pixels per inch that make the natural size come out right.
    const double dpi = fit.screenDpi * out.width() / (picture.width() * natural);
    const int perMeter = int(std::lround(dpi / 0.0254));
    out.setDotsPerMeterX(perMeter);
    out.setDotsPerMeterY(perMeter);
    return out;
}

void SaveDocAsJPG(engine::Backend& backend, Modal& modal, const QString& inFile, const PictureFit& fit)
{
    Steps s(modal, QStringLiteral("Form1"), QStringLiteral("SaveDocAsJPG"));
    Object word, doc;
    QImage picture;
    s(116, [&] { word = backend.create(engine::kWordProgId); });
    s(118, [&] { doc = Object(word.obj(u"Documents").call(u"Open", {Value::stringRef(inFile)}).toDispatch()); });
    s(120, [&] { doc.obj(u"Range").call(u"CopyAsPicture"); });
    // The card as the office draws it, kept beside the card document for
    // printing and saving as PDF; made before the picture, so that a card
    // shown always has one.
    s(121, [&] {
        doc.call(u"ExportAsFixedFormat", {Value::stringRef(CardPdfPath(inFile)), Value::int32(17)});
    });
    s(122, [&] {
        // No picture of an earlier card may stand in for this one's.
        RemoveFile(PagePicturePath());
        picture = GetClipboardPicture(backend, 0);
        if (picture.isNull()) throw AppError(apperr::kInvalidPicture);
        // Made whole in memory, then written whole or not at all: a picture
        // cut short by a full disk must never reach the preview.
        QByteArray bmp;
        QBuffer buffer(&bmp);
        buffer.open(QIODevice::WriteOnly);
        if (!QImageWriter(&buffer, "bmp").write(FitPicture(picture, fit))) throw AppError(apperr::kInvalidPicture);
        WriteBytesToFile(bmp, PagePicturePath());
    });
    s(124, [&] { word.obj(u"ActiveDocument").call(u"Close", {Arg(u"savechanges", Value::int16(0))}); });
    s(126, [&] { word.call(u"Quit"); });
}

}  // namespace marigal
