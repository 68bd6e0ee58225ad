#include "support/sample_photos.h"

#include <QColor>
#include <QPainter>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdlib>
#include <memory>

#include <libheif/heif.h>

namespace marigal::samples {

QByteArray WithOrientation(const QByteArray& jpeg, int orientation)
{
    // APP1: "Exif\0\0", a big-endian TIFF header, one directory of one entry.
    QByteArray exif("Exif\0\0MM\0*\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01", 24);
    exif.append(char(0)).append(char(orientation)).append(QByteArray(2, '\0'));
    exif.append(QByteArray(4, '\0'));  // no next directory
    QByteArray segment("\xFF\xE1", 2);
    const int length = int(exif.size()) + 2;
    segment.append(char(length >> 8)).append(char(length & 0xFF)).append(exif);
    return jpeg.left(2) + segment + jpeg.mid(2);
}

QImage StoredFor(const QImage& upright, int orientation)
{
    switch (orientation) {
    case 2: return upright.mirrored(true, false);
    case 3: return upright.mirrored(true, true);
    case 4: return upright.mirrored(false, true);
    case 5: return upright.mirrored(true, false).transformed(QTransform().rotate(270));
    case 6: return upright.transformed(QTransform().rotate(270));
    case 7: return upright.mirrored(false, true).transformed(QTransform().rotate(270));
    case 8: return upright.transformed(QTransform().rotate(90));
    default: return upright;
    }
}

QImage FinePattern(QSize size, int cell)
{
    QImage image(size, QImage::Format_RGB888);
    for (int y = 0; y < size.height(); ++y) {
        uchar* line = image.scanLine(y);
        for (int x = 0; x < size.width(); ++x) {
            const bool dark = ((x / cell) + (y / cell)) % 2;
            const int r = 40 + 180 * x / size.width(), g = 40 + 180 * y / size.height();
            line[3 * x] = uchar(dark ? r / 3 : r);
            line[3 * x + 1] = uchar(dark ? g / 3 : g);
            line[3 * x + 2] = uchar(dark ? 30 : 220);
        }
    }
    // A mark that tells the corners apart, so a wrong turn shows.
    QPainter p(&image);
    p.fillRect(0, 0, size.width() / 5, size.height() / 7, QColor(250, 250, 0));
    return image;
}

bool WriteHeif(const QImage& image, const QString& path, HeifCodec codec, int quality)
{
    const heif_compression_format format = codec == HeifCodec::Hevc ? heif_compression_HEVC : heif_compression_AV1;
    if (!heif_have_encoder_for_format(format)) return false;
    std::unique_ptr<heif_context, void (*)(heif_context*)> context(heif_context_alloc(), heif_context_free);
    heif_encoder* rawEncoder = nullptr;
    if (heif_context_get_encoder_for_format(context.get(), format, &rawEncoder).code != heif_error_Ok) return false;
    std::unique_ptr<heif_encoder, void (*)(heif_encoder*)> encoder(rawEncoder, heif_encoder_release);
    heif_encoder_set_lossy_quality(encoder.get(), quality);
    const bool alpha = image.hasAlphaChannel();
    const QImage source = image.convertToFormat(alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    heif_image* rawImage = nullptr;
    if (heif_image_create(source.width(), source.height(), heif_colorspace_RGB,
                          alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, &rawImage)
            .code != heif_error_Ok)
        return false;
    std::unique_ptr<heif_image, void (*)(const heif_image*)> picture(rawImage, heif_image_release);
    heif_image_add_plane(picture.get(), heif_channel_interleaved, source.width(), source.height(), 8);
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(picture.get(), heif_channel_interleaved, &stride);
    const int rowBytes = source.width() * (alpha ? 4 : 3);
    for (int y = 0; y < source.height(); ++y) std::memcpy(plane + qsizetype(y) * stride, source.constScanLine(y), size_t(rowBytes));
    heif_image_handle* handle = nullptr;
    if (heif_context_encode_image(context.get(), picture.get(), encoder.get(), nullptr, &handle).code != heif_error_Ok)
        return false;
    // A small copy beside a large picture, as phones and cameras write.
    constexpr int kThumbnail = 320;
    heif_error thumb{heif_error_Ok, heif_suberror_Unspecified, ""};
    if (std::max(source.width(), source.height()) > kThumbnail)
        thumb = heif_context_encode_thumbnail(context.get(), picture.get(), handle, encoder.get(), nullptr, kThumbnail,
                                              nullptr);
    heif_image_handle_release(handle);
    if (thumb.code != heif_error_Ok) return false;
    return heif_context_write_to_file(context.get(), path.toLocal8Bit().constData()).code == heif_error_Ok;
}

double MeanDifference(const QImage& a, const QImage& b)
{
    if (a.size() != b.size() || a.isNull()) return 1.0;
    const QImage x = a.convertToFormat(QImage::Format_RGB888), y = b.convertToFormat(QImage::Format_RGB888);
    double sum = 0;
    for (int row = 0; row < x.height(); ++row) {
        const uchar* p = x.constScanLine(row);
        const uchar* q = y.constScanLine(row);
        for (int i = 0; i < x.width() * 3; ++i) sum += std::abs(int(p[i]) - int(q[i]));
    }
    return sum / (255.0 * 3 * x.width() * x.height());
}

}  // namespace marigal::samples
