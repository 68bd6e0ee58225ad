#include "tools/support/sample_photos.h"

#include "tools/support/heif_boxes.h"

#include <QByteArrayView>
#include <QColor>
#include <QFile>
#include <QList>
#include <QPainter>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdlib>
#include <memory>
#include <utility>

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

namespace {

using HeifPicture = std::unique_ptr<heif_image, void (*)(const heif_image*)>;

// libheif's copy of `source`, which is RGB888 or, with `alpha`, RGBA8888; null when it cannot.
HeifPicture ToHeif(const QImage& source, bool alpha)
{
    heif_image* rawImage = nullptr;
    if (heif_image_create(source.width(), source.height(), heif_colorspace_RGB,
                          alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, &rawImage)
            .code != heif_error_Ok)
        return HeifPicture(nullptr, heif_image_release);
    HeifPicture picture(rawImage, heif_image_release);
    heif_image_add_plane(picture.get(), heif_channel_interleaved, source.width(), source.height(), 8);
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(picture.get(), heif_channel_interleaved, &stride);
    const int rowBytes = source.width() * (alpha ? 4 : 3);
    for (int y = 0; y < source.height(); ++y) std::memcpy(plane + qsizetype(y) * stride, source.constScanLine(y), size_t(rowBytes));
    return picture;
}

}  // namespace

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
    const HeifPicture picture = ToHeif(source, alpha);
    if (!picture) return false;
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

namespace {

using namespace heif;

// Takes the primary picture's parts out of a file libheif wrote.
bool TakePicture(const QByteArray& file, CodedPicture& out)
{
    QByteArrayView meta, iloc, ipco, ipma;
    for (const Box& box : Boxes(file))
        if (box.type == FourCC("meta")) meta = box.body;
    if (meta.size() < 4) return false;
    quint64 primary = 0;
    for (const Box& box : Boxes(meta.sliced(4))) {
        if (box.type == FourCC("pitm")) {
            Reader r(box.body);
            const auto version = r.Get(1);
            r.Get(3);
            primary = r.Get(version == 0 ? 2 : 4);
            if (!r.ok) return false;
        } else if (box.type == FourCC("iloc")) {
            iloc = box.body;
        } else if (box.type == FourCC("iprp")) {
            for (const Box& inner : Boxes(box.body)) {
                if (inner.type == FourCC("ipco")) ipco = inner.body;
                if (inner.type == FourCC("ipma")) ipma = inner.body;
            }
        }
    }
    if (primary == 0) return false;

    const QList<Box> properties = Boxes(ipco);
    Reader a(ipma);
    const auto mapVersion = a.Get(1);
    const bool wideIndex = a.Get(3) & 1;
    for (quint64 entries = a.Get(4); a.ok && entries > 0; --entries) {
        const quint64 item = a.Get(mapVersion < 1 ? 2 : 4);
        for (quint64 count = a.Get(1); a.ok && count > 0; --count) {
            const quint64 entry = a.Get(wideIndex ? 2 : 1);
            const quint64 index = entry & (wideIndex ? 0x7FFF : 0x7F);
            const bool essential = entry & (wideIndex ? 0x8000 : 0x80);
            if (item != primary || index < 1 || index > quint64(properties.size())) continue;
            const Box& property = properties[qsizetype(index - 1)];
            if (property.type == FourCC("hvcC")) out.hvcC = property.whole.toByteArray();
            if (property.type == FourCC("pixi") || property.type == FourCC("colr"))
                out.described.push_back({property.whole.toByteArray(), essential});
        }
    }
    if (!a.ok || out.hvcC.isEmpty()) return false;

    Reader r(iloc);
    const auto version = r.Get(1);
    r.Get(3);
    const auto sizes = int(r.Get(1)), more = int(r.Get(1));
    const int offsetSize = sizes >> 4, lengthSize = sizes & 15, baseSize = more >> 4;
    const int indexSize = version == 1 || version == 2 ? more & 15 : 0;
    for (quint64 items = r.Get(version < 2 ? 2 : 4); r.ok && items > 0; --items) {
        const quint64 item = r.Get(version < 2 ? 2 : 4);
        const quint64 method = version == 1 || version == 2 ? r.Get(2) & 15 : 0;
        r.Get(2);  // the data reference: this file
        const quint64 base = r.Get(baseSize);
        for (quint64 extents = r.Get(2); r.ok && extents > 0; --extents) {
            r.Get(indexSize);
            const quint64 offset = base + r.Get(offsetSize), length = r.Get(lengthSize);
            if (item != primary) continue;
            // libheif puts a picture's data in the file's 'mdat', never in 'idat'.
            if (method != 0 || length == 0 || offset + length > quint64(file.size())) return false;
            out.data += file.mid(qsizetype(offset), qsizetype(length));
        }
    }
    return r.ok && !out.data.isEmpty();
}

}  // namespace

bool heif::EncodeAlone(const QImage& rgb, int quality, CodedPicture& out)
{
    std::unique_ptr<heif_context, void (*)(heif_context*)> context(heif_context_alloc(), heif_context_free);
    heif_encoder* rawEncoder = nullptr;
    if (heif_context_get_encoder_for_format(context.get(), heif_compression_HEVC, &rawEncoder).code != heif_error_Ok)
        return false;
    std::unique_ptr<heif_encoder, void (*)(heif_encoder*)> encoder(rawEncoder, heif_encoder_release);
    heif_encoder_set_lossy_quality(encoder.get(), quality);
    const HeifPicture picture = ToHeif(rgb, false);
    heif_image_handle* handle = nullptr;
    if (!picture || heif_context_encode_image(context.get(), picture.get(), encoder.get(), nullptr, &handle).code !=
                        heif_error_Ok)
        return false;
    heif_image_handle_release(handle);
    QByteArray file;
    heif_writer writer{1, [](heif_context*, const void* data, size_t size, void* userdata) {
                           static_cast<QByteArray*>(userdata)->append(static_cast<const char*>(data), qsizetype(size));
                           return heif_error{heif_error_Ok, heif_suberror_Unspecified, "Success"};
                       }};
    if (heif_context_write(context.get(), &writer, &file).code != heif_error_Ok) return false;
    return TakePicture(file, out);
}

namespace {

// The `tile`-pixel square of `rgb` at (x0, y0); where it runs past the right
// or bottom edge, the edge's pixels are repeated, which the encoder spends
// next to nothing on.
QImage TileAt(const QImage& rgb, int x0, int y0, int tile)
{
    QImage out(tile, tile, QImage::Format_RGB888);
    const int inside = std::min(tile, rgb.width() - x0);
    for (int y = 0; y < tile; ++y) {
        const uchar* from = rgb.constScanLine(std::min(y0 + y, rgb.height() - 1)) + 3 * qsizetype(x0);
        uchar* to = out.scanLine(y);
        std::memcpy(to, from, 3 * size_t(inside));
        for (int x = inside; x < tile; ++x) std::memcpy(to + 3 * x, from + 3 * (inside - 1), 3);
    }
    return out;
}

}  // namespace

bool WriteHeifGrid(const QImage& image, const QString& path, int tile, int quality)
{
    // Each tile is 4:2:0, so its sides must halve evenly.
    if (!heif_have_encoder_for_format(heif_compression_HEVC) || image.isNull() || tile < 16 || tile % 2) return false;
    // A phone's photo has no transparency.
    const QImage source = image.convertToFormat(QImage::Format_RGB888);
    const int width = source.width(), height = source.height();
    const int columns = (width + tile - 1) / tile, rows = (height + tile - 1) / tile;
    const int tiles = rows * columns;
    // The grid counts its rows and columns in a byte; items are numbered in 16 bits.
    if (rows > 256 || columns > 256 || tiles + 2 > 0xFFFF) return false;

    struct Item {
        quint32 id;
        const char* type;
        bool hidden;
        QList<std::pair<int, bool>> properties;  // 1-based index in 'ipco', essential
        QByteArray data;
    };
    QList<QByteArray> properties;
    // Identical boxes are stored once: x265 writes the same parameter sets for
    // every tile of one size.
    const auto property = [&properties](const QByteArray& box) {
        const qsizetype at = properties.indexOf(box);
        if (at >= 0) return int(at) + 1;
        properties.push_back(box);
        return int(properties.size());
    };

    QList<Item> items;
    items.push_back({1, "grid", false, {}, GridBody(rows, columns, quint64(width), quint64(height))});

    QList<std::pair<int, bool>> described;
    const int tileSize = property(Ispe(tile, tile));
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            CodedPicture coded;
            if (!EncodeAlone(TileAt(source, column * tile, row * tile, tile), quality, coded)) return false;
            Item item{quint32(items.size() + 1), "hvc1", true, {{property(coded.hvcC), true}, {tileSize, false}},
                      std::move(coded.data)};
            described.clear();
            for (const auto& [box, essential] : coded.described) described.push_back({property(box), essential});
            item.properties += described;
            items.push_back(std::move(item));
        }
    }
    // The grid tells the whole picture's size, and its pixels are its tiles'.
    items[0].properties.push_back({property(Ispe(width, height)), false});
    items[0].properties += described;

    // A small copy beside the large picture, as phones write one.
    constexpr int kThumbnail = 320;
    const bool thumbnail = std::max(width, height) > kThumbnail;
    if (thumbnail) {
        const QSize fit = source.size().scaled(kThumbnail, kThumbnail, Qt::KeepAspectRatio);
        const QSize even(std::max(2, fit.width() & ~1), std::max(2, fit.height() & ~1));
        CodedPicture coded;
        if (!EncodeAlone(source.scaled(even, Qt::IgnoreAspectRatio, Qt::SmoothTransformation), quality, coded))
            return false;
        Item item{quint32(items.size() + 1), "hvc1", false,
                  {{property(coded.hvcC), true}, {property(Ispe(even.width(), even.height())), false}},
                  std::move(coded.data)};
        for (const auto& [box, essential] : coded.described) item.properties.push_back({property(box), essential});
        items.push_back(std::move(item));
    }

    const QByteArray ftyp = HeicFileType();

    // The 'meta' box with the items' data starting at `start` in the file.
    const auto meta = [&](quint64 start) {
        QByteArray iloc;
        Put(iloc, 0x44, 1);  // 4-byte offsets and lengths
        Put(iloc, 0, 1);     // no base offset
        Put(iloc, quint64(items.size()), 2);
        QByteArray iinf;
        Put(iinf, quint64(items.size()), 2);
        for (const Item& item : items) {
            Put(iloc, item.id, 2);
            Put(iloc, 0, 2);  // this file
            Put(iloc, 1, 2);
            Put(iloc, start, 4);
            Put(iloc, quint64(item.data.size()), 4);
            start += quint64(item.data.size());
            iinf += ItemInfo(item.id, item.type, item.hidden);
        }
        // The grid's tiles row by row, and the thumbnail's picture.
        QByteArray dimg;
        Put(dimg, 1, 2);
        Put(dimg, quint64(tiles), 2);
        for (int i = 0; i < tiles; ++i) Put(dimg, quint64(i + 2), 2);
        QByteArray iref = MakeBox("dimg", dimg);
        if (thumbnail) {
            QByteArray thmb;
            Put(thmb, items.last().id, 2);
            Put(thmb, 1, 2);
            Put(thmb, 1, 2);
            iref += MakeBox("thmb", thmb);
        }
        const bool wideIndex = properties.size() > 0x7F;
        QByteArray ipma;
        Put(ipma, quint64(items.size()), 4);
        for (const Item& item : items) {
            Put(ipma, item.id, 2);
            Put(ipma, quint64(item.properties.size()), 1);
            for (const auto& [index, essential] : item.properties)
                Put(ipma, quint64(index) | (essential ? (wideIndex ? 0x8000 : 0x80) : 0), wideIndex ? 2 : 1);
        }
        const QByteArray iprp = MakeBox("iprp", MakeBox("ipco", properties.join()) + MakeBox("ipma", ipma, 0, wideIndex));
        return MakeBox("meta",
                       PictureHandlerAndPrimary(1) + MakeBox("iloc", iloc, 0) +
                           MakeBox("iinf", iinf, 0) + MakeBox("iref", iref, 0) + iprp,
                       0);
    };
    quint64 dataSize = 0;
    for (const Item& item : items) dataSize += quint64(item.data.size());
    const quint64 start = quint64(ftyp.size() + meta(0).size()) + 8;
    if (start + dataSize > 0xFFFFFFFF) return false;
    QByteArray head = ftyp + meta(start);
    Put(head, dataSize + 8, 4);
    head.append("mdat");

    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(head) != head.size()) return false;
    for (const Item& item : items)
        if (file.write(item.data) != item.data.size()) return false;
    return file.flush();
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
