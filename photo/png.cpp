#include "photo/picture.h"

#include <QImage>

#include <cmath>
#include <csetjmp>
#include <vector>

#include <png.h>

namespace marigal {

namespace {

struct Reading {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~Reading() { png_destroy_read_struct(&png, &info, nullptr); }
};

void Silent(png_structp, png_const_charp) {}

[[noreturn]] void Fail(png_structp png, png_const_charp)
{
    std::longjmp(png_jmpbuf(png), 1);
}

}  // namespace

namespace {

// What the reading fills in; made by the caller, so that libpng's jump out
// of a failing call crosses no frame that owns C++ objects.
struct Shrunk {
    std::vector<png_byte> row;
    std::vector<quint32> sums;
    QImage image;
    bool interlaced = false;
};

// False when the stream is damaged.
bool Read(Reading& r, std::FILE* stream, qint64 mostPixels, Shrunk& out)
{
    if (setjmp(png_jmpbuf(r.png))) return false;
    png_init_io(r.png, stream);
    png_read_info(r.png, r.info);
    const int width = int(png_get_image_width(r.png, r.info)), height = int(png_get_image_height(r.png, r.info));
    if (png_get_interlace_type(r.png, r.info) != PNG_INTERLACE_NONE) {
        out.interlaced = true;  // its rows come in seven passes, not one by one
        return true;
    }
    // Every kind of pixel as 8-bit RGBA.
    png_set_expand(r.png);
    png_set_strip_16(r.png);
    png_set_gray_to_rgb(r.png);
    png_set_add_alpha(r.png, 0xFF, PNG_FILLER_AFTER);
    png_read_update_info(r.png, r.info);
    const double pixels = double(width) * height;
    const int k = pixels > double(mostPixels) ? int(std::ceil(std::sqrt(pixels / double(mostPixels)))) : 1;
    const int w = std::max(1, width / k), h = std::max(1, height / k);
    out.image = QImage(w, h, QImage::Format_RGBA8888);
    if (out.image.isNull()) return false;
    out.row.resize(size_t(width) * 4);
    out.sums.assign(size_t(w) * 4, 0);
    // Each pixel of the copy the mean of the k x k it stands for, a band of
    // k rows at a time: the photo itself is never held whole.
    for (int y = 0; y < height; ++y) {
        png_read_row(r.png, out.row.data(), nullptr);
        const int band = y / k;
        if (band >= h) continue;
        for (int x = 0; x < w * k; ++x)
            for (int c = 0; c < 4; ++c) out.sums[size_t((x / k) * 4 + c)] += out.row[size_t(x * 4 + c)];
        if (y % k == k - 1) {
            uchar* line = out.image.scanLine(band);
            for (size_t i = 0; i < out.sums.size(); ++i) line[i] = uchar(out.sums[i] / quint32(k * k));
            std::fill(out.sums.begin(), out.sums.end(), 0);
        }
    }
    png_read_end(r.png, nullptr);
    return true;
}

}  // namespace

QImage ReadPngShrunk(PictureFile& file, qint64 mostPixels)
{
    Reading r;
    r.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, Fail, Silent);
    if (!r.png) throw std::bad_alloc();
    r.info = png_create_info_struct(r.png);
    if (!r.info) throw std::bad_alloc();
    Shrunk out;
    if (!Read(r, file.stream(), mostPixels, out)) throw AppError(DamagedPictureText(file.path()));
    return out.interlaced ? QImage() : out.image;
}

}  // namespace marigal
