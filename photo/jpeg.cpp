#include "photo/jpeg.h"

#include <QFile>

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include <jpeglib.h>
#include <jerror.h>
#include <turbojpeg.h>

namespace marigal::jpeg {

namespace {

// ---------------------------------------------------------------------------
// Exif: a TIFF structure after "Exif\0\0"; the orientation is tag 0x0112 of
// its first directory.

constexpr char kExif[] = "Exif\0\0";
constexpr size_t kExifLength = 6;

// A field of the first directory: where its value lies, from the block's
// start (a rational's two numbers lie elsewhere; the field points there).
struct ExifField {
    size_t offset = 0;
    bool littleEndian = false;
};

class ExifBlock {
public:
    ExifBlock(unsigned char* d, size_t n) : d_(d), n_(n)
    {
        if (n < kExifLength + 8 || std::memcmp(d, kExif, kExifLength) != 0) return;
        t_ = d + kExifLength;
        le_ = t_[0] == 'I' && t_[1] == 'I';
        if (!le_ && !(t_[0] == 'M' && t_[1] == 'M')) t_ = nullptr;
        else if (u16(2) != 42) t_ = nullptr;
    }

    // Tag `tag` of type `type` (3: short, 5: rational) in the first directory.
    std::optional<ExifField> find(int tag, int type) const
    {
        if (!t_) return {};
        const size_t size = n_ - kExifLength;
        const size_t ifd = u32(4);
        if (ifd + 2 > size) return {};
        const int count = u16(ifd);
        for (int i = 0; i < count; ++i) {
            const size_t entry = ifd + 2 + 12 * size_t(i);
            if (entry + 12 > size) break;
            if (u16(entry) != tag || u16(entry + 2) != type) continue;
            if (type == 3) return ExifField{kExifLength + entry + 8, le_};
            const size_t at = u32(entry + 8);
            if (at + 8 > size) return {};
            return ExifField{kExifLength + at, le_};
        }
        return {};
    }

    int orientation() const
    {
        const auto f = find(0x0112, 3);
        const int v = f ? get16(f->offset) : 1;
        return v >= 1 && v <= 8 ? v : 1;
    }

    void makeCopy(Density density)
    {
        if (const auto f = find(0x0112, 3)) set16(f->offset, 1);
        if (density.x <= 0 || density.y <= 0) return;
        const auto x = find(0x011A, 5), y = find(0x011B, 5), unit = find(0x0128, 3);
        if (!x || !y) return;
        set32(x->offset, quint32(density.x));
        set32(x->offset + 4, 1);
        set32(y->offset, quint32(density.y));
        set32(y->offset + 4, 1);
        if (unit) set16(unit->offset, 2);  // inches
    }

private:
    int u16(size_t o) const { return le_ ? t_[o] | t_[o + 1] << 8 : t_[o] << 8 | t_[o + 1]; }
    quint32 u32(size_t o) const
    {
        return le_ ? quint32(t_[o]) | quint32(t_[o + 1]) << 8 | quint32(t_[o + 2]) << 16 | quint32(t_[o + 3]) << 24
                   : quint32(t_[o]) << 24 | quint32(t_[o + 1]) << 16 | quint32(t_[o + 2]) << 8 | quint32(t_[o + 3]);
    }
    int get16(size_t o) const { return le_ ? d_[o] | d_[o + 1] << 8 : d_[o] << 8 | d_[o + 1]; }
    void set16(size_t o, int v)
    {
        d_[o + (le_ ? 0 : 1)] = uchar(v & 0xFF);
        d_[o + (le_ ? 1 : 0)] = uchar(v >> 8);
    }
    void set32(size_t o, quint32 v)
    {
        for (int i = 0; i < 4; ++i) d_[o + size_t(le_ ? i : 3 - i)] = uchar(v >> (8 * i));
    }

    unsigned char* d_;
    size_t n_;
    const unsigned char* t_ = nullptr;
    bool le_ = false;
};

// ---------------------------------------------------------------------------
// libjpeg with its errors as exceptions. libjpeg is C: it leaves a failing
// call by longjmp, which must not cross a frame with C++ objects in it, so
// each guarded stretch below touches only plain data.

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void OnError(j_common_ptr c)
{
    auto* e = reinterpret_cast<ErrorManager*>(c->err);
    (*c->err->format_message)(c, e->message);
    std::longjmp(e->jump, 1);
}

// The warnings that mean lost pixels end the reading as errors do; the
// rest (an unknown JFIF revision, stray bytes between segments) and every
// trace message are harmless, and nothing is printed.
void OnMessage(j_common_ptr c, int level)
{
    if (level >= 0) return;
    switch (c->err->msg_code) {
    case JWRN_JPEG_EOF:
    case JWRN_HIT_MARKER:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_ARITH_BAD_CODE:
    case JWRN_MUST_RESYNC:
    case JWRN_NOT_SEQUENTIAL:
    case JWRN_BOGUS_PROGRESSION: OnError(c);
    default: break;
    }
}

void InitErrors(ErrorManager& e, j_common_ptr c)
{
    c->err = jpeg_std_error(&e.pub);
    e.pub.error_exit = OnError;
    e.pub.emit_message = OnMessage;
    e.message[0] = 0;
}

class Decompressor {
public:
    explicit Decompressor(std::FILE* file)
    {
        InitErrors(err_, reinterpret_cast<j_common_ptr>(&info));
        jpeg_create_decompress(&info);
        // A failing source is a damaged stream: the guard below reports it.
        guard([&] { jpeg_stdio_src(&info, file); });
    }
    ~Decompressor() { jpeg_destroy_decompress(&info); }
    Decompressor(const Decompressor&) = delete;
    Decompressor& operator=(const Decompressor&) = delete;

    template <class F>
    void guard(F&& f)
    {
        if (setjmp(err_.jump)) throw Damaged(err_.message);
        f();
    }

    jpeg_decompress_struct info{};

private:
    ErrorManager err_{};
};

class Compressor {
public:
    explicit Compressor(std::FILE* file)
    {
        InitErrors(err_, reinterpret_cast<j_common_ptr>(&info));
        jpeg_create_compress(&info);
        jpeg_stdio_dest(&info, file);
    }
    ~Compressor() { jpeg_destroy_compress(&info); }
    Compressor(const Compressor&) = delete;
    Compressor& operator=(const Compressor&) = delete;

    template <class F>
    void guard(F&& f)
    {
        if (setjmp(err_.jump)) throw std::runtime_error(err_.message);
        f();
    }

    jpeg_compress_struct info{};

private:
    ErrorManager err_{};
};

int OrientationOf(const jpeg_decompress_struct& info)
{
    for (jpeg_saved_marker_ptr m = info.marker_list; m; m = m->next)
        if (m->marker == JPEG_APP0 + 1) {
            const ExifBlock exif(m->data, m->data_length);
            if (exif.find(0x0112, 3)) return exif.orientation();
        }
    return 1;
}

// Where input sample (cx, cy) of a turned plane comes from, for a plane of
// `w` x `h` samples `stride` apart: base + a * x' + b * y'.
struct PlaneMap {
    std::ptrdiff_t base, a, b;
};

PlaneMap MapFor(int orientation, std::ptrdiff_t w, std::ptrdiff_t h, std::ptrdiff_t stride)
{
    const std::ptrdiff_t last = (h - 1) * stride;
    switch (orientation) {
    case 2: return {w - 1, -1, stride};                 // mirrored
    case 3: return {last + w - 1, -1, -stride};         // half turn
    case 4: return {last, 1, -stride};                  // flipped
    case 5: return {0, stride, 1};                      // transposed
    case 6: return {last, -stride, 1};                  // a quarter turn clockwise
    case 7: return {last + w - 1, -stride, -1};         // transversed
    case 8: return {w - 1, stride, -1};                 // a quarter turn anticlockwise
    default: return {0, 1, stride};
    }
}

}  // namespace

int ExifOrientation(const QByteArray& app1)
{
    QByteArray copy = app1;
    return ExifBlock(reinterpret_cast<unsigned char*>(copy.data()), size_t(copy.size())).orientation();
}

QByteArray ExifForCopy(QByteArray app1, Density density)
{
    ExifBlock(reinterpret_cast<unsigned char*>(app1.data()), size_t(app1.size())).makeCopy(density);
    return app1;
}

QByteArray Restamped(const QByteArray& source, Density density)
{
    QByteArray file = source;
    auto* d = reinterpret_cast<unsigned char*>(file.data());
    const size_t size = size_t(file.size());
    bool jfif = false;
    size_t pos = 2;
    while (pos + 4 <= size && d[pos] == 0xFF) {
        const unsigned char marker = d[pos + 1];
        if (marker == 0xFF) {  // fill byte
            ++pos;
            continue;
        }
        if (marker == 0xDA || marker == 0xD9) break;  // the pixels start, or the file ends
        const size_t length = size_t(d[pos + 2]) << 8 | d[pos + 3];
        if (length < 2 || pos + 2 + length > size) break;
        unsigned char* data = d + pos + 4;
        if (marker == JPEG_APP0 + 1) ExifBlock(data, length - 2).makeCopy(density);
        if (marker == JPEG_APP0 && length >= 16 && std::memcmp(data, "JFIF", 5) == 0 && density.x > 0) {
            // version (2), units, X density, Y density
            data[7] = 1;  // dots per inch
            data[8] = uchar(density.x >> 8), data[9] = uchar(density.x & 0xFF);
            data[10] = uchar(density.y >> 8), data[11] = uchar(density.y & 0xFF);
            jfif = true;
        }
        pos += 2 + length;
    }
    if (jfif || density.x <= 0) return file;
    // A camera's file often has no JFIF header: the word processors take
    // the resolution from one, so one goes first.
    const unsigned char header[18] = {0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0, 1, 1, 1,
                                      uchar(density.x >> 8), uchar(density.x & 0xFF),
                                      uchar(density.y >> 8), uchar(density.y & 0xFF), 0, 0};
    file.insert(2, reinterpret_cast<const char*>(header), 18);
    return file;
}

Header ReadHeader(std::FILE* file)
{
    Decompressor d(file);
    Header h;
    d.guard([&] {
        jpeg_save_markers(&d.info, JPEG_APP0 + 1, 0xFFFF);
        jpeg_read_header(&d.info, TRUE);
    });
    h.size = QSize(int(d.info.image_width), int(d.info.image_height));
    h.orientation = OrientationOf(d.info);
    h.components = d.info.num_components;
    h.progressive = d.info.progressive_mode;
    return h;
}

QImage Decode(std::FILE* file, int scale)
{
    Decompressor d(file);
    auto& info = d.info;
    d.guard([&] {
        jpeg_read_header(&info, TRUE);
        info.scale_num = 1;
        info.scale_denom = unsigned(std::clamp(scale, 1, 8));
        info.dct_method = JDCT_ISLOW;
        if (info.num_components == 1) info.out_color_space = JCS_GRAYSCALE;
        else if (info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK) info.out_color_space = JCS_CMYK;
        else info.out_color_space = JCS_RGB;
        jpeg_start_decompress(&info);
    });
    const int w = int(info.output_width), h = int(info.output_height);
    const bool cmyk = info.out_color_space == JCS_CMYK;
    // Adobe's CMYK files store the inks inverted.
    const bool inverted = cmyk && info.saw_Adobe_marker;
    QImage image(w, h, info.out_color_space == JCS_GRAYSCALE ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
    if (image.isNull()) throw std::bad_alloc();
    std::vector<unsigned char> inks(cmyk ? size_t(w) * 4 : 0);
    unsigned char* const inkRow = inks.data();
    unsigned char* const bits = image.bits();
    const qsizetype bpl = image.bytesPerLine();
    d.guard([&] {
        while (info.output_scanline < info.output_height) {
            unsigned char* line = bits + bpl * qsizetype(info.output_scanline);
            JSAMPROW row = cmyk ? inkRow : line;
            jpeg_read_scanlines(&info, &row, 1);
            if (!cmyk) continue;
            for (int x = 0; x < w; ++x) {
                int c = inkRow[4 * x], m = inkRow[4 * x + 1], y = inkRow[4 * x + 2], k = inkRow[4 * x + 3];
                if (!inverted) c = 255 - c, m = 255 - m, y = 255 - y, k = 255 - k;
                line[3 * x] = (unsigned char)(c * k / 255);
                line[3 * x + 1] = (unsigned char)(m * k / 255);
                line[3 * x + 2] = (unsigned char)(y * k / 255);
            }
        }
        jpeg_finish_decompress(&info);
    });
    return image;
}

namespace {

// The picture to write: its size and colours as a JPEG tells them, each
// component a plane of its own samples with its sampling.
struct PlaneSet {
    JDIMENSION width = 0, height = 0;  // as stored, before the turn
    J_COLOR_SPACE colours = JCS_YCbCr;
    struct Component {
        const unsigned char* samples;
        std::ptrdiff_t stride, width, height;
        int h, v, id;
    };
    std::vector<Component> components;
    std::vector<std::pair<int, QByteArray>> segments;  // marker, data
    QByteArray iccProfile;
    // A JPEG's own quantization: its tables by slot, and each component's slot.
    std::vector<std::pair<int, std::array<UINT16, DCTSIZE2>>> tables;
    std::vector<int> tableOf;
};

// The mat's colour as each component of `colours` holds it.
std::array<unsigned char, 4> MatSamples(const QColor& mat, J_COLOR_SPACE colours)
{
    const int r = mat.red(), g = mat.green(), b = mat.blue();
    const auto clamp = [](double v) { return (unsigned char)std::clamp(int(std::lround(v)), 0, 255); };
    const unsigned char y = clamp(0.299 * r + 0.587 * g + 0.114 * b);
    switch (colours) {
    case JCS_YCbCr:
        return {y, clamp(128 - 0.168736 * r - 0.331264 * g + 0.5 * b), clamp(128 + 0.5 * r - 0.418688 * g - 0.081312 * b), 0};
    case JCS_GRAYSCALE: return {y, 0, 0, 0};
    case JCS_RGB: return {uchar(r), uchar(g), uchar(b), 0};
    default: return {255, 255, 255, 255};  // inks: none, as Adobe's inverted files store it
    }
}

// Writes the window of the planes turned as Exif orientation `orientation`
// asks, a band of the turned picture at a time, gathered from the planes
// with the output's edges repeated out to whole blocks and the mat outside
// the picture: no colour conversion, no resampling.
void WritePlanes(std::FILE* target, const PlaneSet& in, int orientation, const Window& window, Density density,
                 int quality)
{
    const bool transposes = orientation >= 5;
    const int count = int(in.components.size());
    Compressor e(target);
    auto& out = e.info;
    e.guard([&] {
        out.image_width = JDIMENSION(std::max(1, window.rect.width() / window.shrink));
        out.image_height = JDIMENSION(std::max(1, window.rect.height() / window.shrink));
        out.input_components = count;
        out.in_color_space = in.colours;
        jpeg_set_defaults(&out);
        jpeg_set_colorspace(&out, in.colours);
        for (int c = 0; c < count; ++c) {
            const PlaneSet::Component& k = in.components[size_t(c)];
            out.comp_info[c].component_id = k.id;
            out.comp_info[c].h_samp_factor = transposes ? k.v : k.h;
            out.comp_info[c].v_samp_factor = transposes ? k.h : k.v;
        }
        if (density.x > 0 && density.y > 0) {
            out.density_unit = 1;
            out.X_density = UINT16(density.x);
            out.Y_density = UINT16(density.y);
        }
        jpeg_set_quality(&out, quality, TRUE);
        if (!in.tables.empty()) {
            // The photo's own tables where they are finer than `quality`'s:
            // never coarser than asked, and no bytes spent on finer steps
            // than the photo ever had. Turned across, so are the frequencies.
            for (const auto& [slot, values] : in.tables) {
                JQUANT_TBL* table = out.quant_tbl_ptrs[slot];
                if (!table) {
                    // A third table (some cameras give each chroma its own): capped as the chroma's.
                    table = out.quant_tbl_ptrs[slot] = jpeg_alloc_quant_table(reinterpret_cast<j_common_ptr>(&out));
                    std::copy_n(out.quant_tbl_ptrs[1]->quantval, DCTSIZE2, table->quantval);
                    table->sent_table = FALSE;
                }
                for (int k = 0; k < DCTSIZE2; ++k) {
                    const int from = transposes ? (k % DCTSIZE) * DCTSIZE + k / DCTSIZE : k;
                    table->quantval[k] = std::min(table->quantval[k], values[size_t(from)]);
                }
            }
            for (int c = 0; c < count; ++c) out.comp_info[c].quant_tbl_no = in.tableOf[size_t(c)];
        }
        out.raw_data_in = TRUE;
        out.dct_method = JDCT_ISLOW;
        jpeg_start_compress(&out, TRUE);
    });
    for (const auto& [marker, data] : in.segments) {
        const int m = marker;
        const auto* bytes = reinterpret_cast<const JOCTET*>(data.constData());
        const auto length = unsigned(data.size());
        e.guard([&] { jpeg_write_marker(&out, m, bytes, length); });
    }
    if (!in.iccProfile.isEmpty()) {
        const auto* icc = reinterpret_cast<const JOCTET*>(in.iccProfile.constData());
        const auto length = unsigned(in.iccProfile.size());
        e.guard([&] { jpeg_write_icc_profile(&out, icc, length); });
    }

    const std::array<unsigned char, 4> mat = MatSamples(window.mat, in.colours);
    struct Turned {
        std::vector<unsigned char> samples;
        std::vector<JSAMPROW> rows;
        std::ptrdiff_t stride, width, height;  // the output's
        std::ptrdiff_t left, top;              // the window's corner in the turned plane
        std::ptrdiff_t planeWidth, planeHeight;  // the turned plane's
        int bandRows;
        PlaneMap map;
        unsigned char mat;
    };
    std::vector<Turned> turned(static_cast<size_t>(count));
    std::vector<JSAMPARRAY> bandRows(static_cast<size_t>(count));
    for (int c = 0; c < count; ++c) {
        const jpeg_component_info& ci = out.comp_info[c];
        const PlaneSet::Component& k = in.components[size_t(c)];
        Turned& t = turned[size_t(c)];
        t.stride = std::ptrdiff_t(ci.width_in_blocks) * DCTSIZE;
        t.width = ci.downsampled_width;
        t.height = ci.downsampled_height;
        // The corner falls on whole blocks: a whole number of this component's samples.
        t.left = std::ptrdiff_t(window.rect.left()) * ci.h_samp_factor / out.max_h_samp_factor;
        t.top = std::ptrdiff_t(window.rect.top()) * ci.v_samp_factor / out.max_v_samp_factor;
        t.planeWidth = transposes ? k.height : k.width;
        t.planeHeight = transposes ? k.width : k.height;
        t.bandRows = ci.v_samp_factor * DCTSIZE;
        t.samples.resize(size_t(t.stride) * size_t(t.bandRows));
        t.rows.resize(size_t(t.bandRows));
        for (int r = 0; r < t.bandRows; ++r) t.rows[size_t(r)] = t.samples.data() + r * t.stride;
        t.map = MapFor(orientation, k.width, k.height, k.stride);
        t.mat = mat[size_t(std::min(c, 3))];
        bandRows[size_t(c)] = t.rows.data();
    }
    JSAMPARRAY* const bandData = bandRows.data();
    const int maxV = out.max_v_samp_factor;
    const int bands = int((out.image_height + unsigned(maxV * DCTSIZE) - 1) / unsigned(maxV * DCTSIZE));
    for (int band = 0; band < bands; ++band) {
        for (int c = 0; c < count; ++c) {
            Turned& t = turned[size_t(c)];
            const unsigned char* src = in.components[size_t(c)].samples + t.map.base;
            const std::ptrdiff_t y0 = std::ptrdiff_t(band) * t.bandRows;
            // The sample at (x, y) of the output: its edges repeated, the mat
            // beyond the picture; shrunk, the mean of the samples it stands for.
            const int k = window.shrink;
            const auto at = [&](std::ptrdiff_t px, std::ptrdiff_t py) {
                if (px < 0 || py < 0 || px >= t.planeWidth || py >= t.planeHeight) return t.mat;
                return src[t.map.a * px + t.map.b * py];
            };
            const auto sample = [&](std::ptrdiff_t x, std::ptrdiff_t y) -> unsigned char {
                const std::ptrdiff_t px = std::min(x, t.width - 1) * k + t.left, py = std::min(y, t.height - 1) * k + t.top;
                if (k == 1) return at(px, py);
                int sum = 0;
                for (int j = 0; j < k; ++j)
                    for (int i = 0; i < k; ++i) sum += at(px + i, py + j);
                return (unsigned char)((sum + k * k / 2) / (k * k));
            };
            if (transposes) {
                // Down the band's rows for each column: the source runs along its own rows.
                for (std::ptrdiff_t x = 0; x < t.stride; ++x)
                    for (int r = 0; r < t.bandRows; ++r) t.rows[size_t(r)][x] = sample(x, y0 + r);
            } else {
                for (int r = 0; r < t.bandRows; ++r) {
                    unsigned char* row = t.rows[size_t(r)];
                    for (std::ptrdiff_t x = 0; x < t.stride; ++x) row[x] = sample(x, y0 + r);
                }
            }
        }
        e.guard([&] { jpeg_write_raw_data(&out, bandData, JDIMENSION(maxV * DCTSIZE)); });
    }
    e.guard([&] { jpeg_finish_compress(&out); });
    if (std::fflush(target) != 0 || std::ferror(target)) throw std::runtime_error("write failed");
}

}  // namespace

void Reframe(std::FILE* source, std::FILE* target, int orientation, const Window& window, Density density,
             int quality)
{
    Decompressor d(source);
    auto& in = d.info;
    d.guard([&] {
        for (int m = 1; m < 16; ++m)
            if (m != 14) jpeg_save_markers(&in, JPEG_APP0 + m, 0xFFFF);  // Adobe's (14) is written anew
        jpeg_save_markers(&in, JPEG_COM, 0xFFFF);
        jpeg_read_header(&in, TRUE);
        in.raw_data_out = TRUE;
        jpeg_start_decompress(&in);
    });
    const int components = in.num_components;
    const int maxV = in.max_v_samp_factor;
    const int bands = int((in.image_height + unsigned(maxV * DCTSIZE) - 1) / unsigned(maxV * DCTSIZE));

    // The whole picture, each component in a plane of its own samples.
    struct Plane {
        std::vector<unsigned char> samples;
        std::ptrdiff_t stride;
        std::vector<JSAMPROW> rows;
    };
    std::vector<Plane> planes(static_cast<size_t>(components));
    std::vector<JSAMPARRAY> bandRows(static_cast<size_t>(components));
    for (int c = 0; c < components; ++c) {
        const jpeg_component_info& ci = in.comp_info[c];
        Plane& p = planes[size_t(c)];
        p.stride = std::ptrdiff_t(ci.width_in_blocks) * DCTSIZE;
        p.samples.resize(size_t(p.stride) * size_t(bands) * size_t(ci.v_samp_factor) * DCTSIZE);
        p.rows.resize(size_t(ci.v_samp_factor) * DCTSIZE);
        bandRows[size_t(c)] = p.rows.data();
    }
    Plane* const planeData = planes.data();
    JSAMPARRAY* const bandData = bandRows.data();
    d.guard([&] {
        for (int band = 0; band < bands; ++band) {
            for (int c = 0; c < components; ++c) {
                const int v = in.comp_info[c].v_samp_factor * DCTSIZE;
                for (int r = 0; r < v; ++r)
                    bandData[c][r] = planeData[c].samples.data() + (std::ptrdiff_t(band) * v + r) * planeData[c].stride;
            }
            jpeg_read_raw_data(&in, bandData, JDIMENSION(maxV * DCTSIZE));
        }
    });

    // Taken before the reading is finished: that frees the components'
    // descriptions and the saved segments.
    PlaneSet set;
    set.width = in.image_width;
    set.height = in.image_height;
    set.colours = in.jpeg_color_space;
    for (int c = 0; c < components; ++c) {
        const jpeg_component_info& ci = in.comp_info[c];
        set.components.push_back({planes[size_t(c)].samples.data(), planes[size_t(c)].stride,
                                  std::ptrdiff_t(ci.downsampled_width), std::ptrdiff_t(ci.downsampled_height),
                                  ci.h_samp_factor, ci.v_samp_factor, ci.component_id});
    }
    for (int slot = 0; slot < NUM_QUANT_TBLS; ++slot) {
        if (!in.quant_tbl_ptrs[slot]) continue;
        std::array<UINT16, DCTSIZE2> values{};
        std::copy_n(in.quant_tbl_ptrs[slot]->quantval, DCTSIZE2, values.begin());
        set.tables.emplace_back(slot, values);
    }
    for (int c = 0; c < components; ++c) set.tableOf.push_back(in.comp_info[c].quant_tbl_no);
    Density kept = density;
    if (kept.x <= 0 && in.saw_JFIF_marker && in.density_unit == 1) {
        const bool across = orientation >= 5;
        kept = {across ? in.Y_density : in.X_density, across ? in.X_density : in.Y_density};
    }
    for (jpeg_saved_marker_ptr m = in.marker_list; m; m = m->next) {
        if (m->marker == JPEG_APP0 && m->data_length >= 5 && std::memcmp(m->data, "JFIF", 5) == 0) continue;
        QByteArray data(reinterpret_cast<const char*>(m->data), int(m->data_length));
        if (m->marker == JPEG_APP0 + 1) data = ExifForCopy(data, density);
        set.segments.emplace_back(m->marker, data);
    }
    d.guard([&] { jpeg_finish_decompress(&in); });
    WritePlanes(target, set, orientation, window, kept, quality);
}

void WriteYCbCr420(std::FILE* target, int width, int height, const unsigned char* const planes[3],
                   const int strides[3], const Window& window, Density density, int quality,
                   const QByteArray& iccProfile)
{
    PlaneSet set;
    set.width = JDIMENSION(width);
    set.height = JDIMENSION(height);
    const std::ptrdiff_t cw = (width + 1) / 2, ch = (height + 1) / 2;
    set.components = {{planes[0], strides[0], width, height, 2, 2, 1},
                      {planes[1], strides[1], cw, ch, 1, 1, 2},
                      {planes[2], strides[2], cw, ch, 1, 1, 3}};
    set.iccProfile = iccProfile;
    WritePlanes(target, set, 1, window, density, quality);
}

double LosslessCost(const Header& header, qint64 fileBytes)
{
    // The stored blocks at two bytes a coefficient, once as read and once
    // cut, for a colour photo's usual sampling; the file in and out.
    const double pixels = double(header.size.width()) * header.size.height();
    const double perPixel = header.components == 1 ? 2.0 : header.components == 3 ? 3.0 : 4.0;
    return 2 * pixels * perPixel + 2.0 * double(fileBytes);
}

bool CropLosslessly(const QByteArray& file, int orientation, const QRect& window, Density density,
                    const QString& target)
{
    static constexpr int kOps[9] = {TJXOP_NONE, TJXOP_NONE,   TJXOP_HFLIP,     TJXOP_ROT180, TJXOP_VFLIP,
                                    TJXOP_TRANSPOSE, TJXOP_ROT90, TJXOP_TRANSVERSE, TJXOP_ROT270};
    if (orientation < 1 || orientation > 8) return false;
    std::unique_ptr<void, int (*)(tjhandle)> handle(tjInitTransform(), tjDestroy);
    if (!handle) return false;
    auto* bytes = reinterpret_cast<const unsigned char*>(file.constData());
    const auto size = static_cast<unsigned long>(file.size());
    int w = 0, h = 0, sampling = 0, colours = 0;
    if (tjDecompressHeader3(handle.get(), bytes, size, &w, &h, &sampling, &colours) != 0 || sampling < 0 ||
        sampling >= TJ_NUMSAMP)
        return false;
    const int op = kOps[orientation];
    // Blocks cut at the photo's right or bottom edge cannot move: where the
    // turn brings that edge to the top or the left, it is trimmed off, and
    // the upright picture loses a strip there.
    const int mw = tjMCUWidth[sampling], mh = tjMCUHeight[sampling];
    const int cutRight = w % mw, cutBottom = h % mh;
    int trimLeft = 0, trimTop = 0;
    switch (orientation) {
    case 2: trimLeft = cutRight; break;
    case 3: trimLeft = cutRight, trimTop = cutBottom; break;
    case 4: trimTop = cutBottom; break;
    case 6: trimLeft = cutBottom; break;
    case 7: trimLeft = cutBottom, trimTop = cutRight; break;
    case 8: trimTop = cutRight; break;
    default: break;
    }
    const bool across = orientation >= 5;
    const QSize kept = (across ? QSize(h, w) : QSize(w, h)) - QSize(trimLeft, trimTop);
    const int blockW = across ? mh : mw, blockH = across ? mw : mh;
    // The window, moved by less than a block so that its corner falls on one.
    const auto snap = [](int at, int length, int block, int room) {
        const int down = at / block * block;
        return down + length <= room ? down : down + block;
    };
    const QRect r = window.translated(-trimLeft, -trimTop);
    if (r.width() > kept.width() || r.height() > kept.height()) return false;
    const int x = snap(std::max(0, r.left()), r.width(), blockW, kept.width());
    const int y = snap(std::max(0, r.top()), r.height(), blockH, kept.height());
    if (x + r.width() > kept.width() || y + r.height() > kept.height()) return false;
    tjtransform transform{};
    transform.op = op;
    transform.options = TJXOPT_CROP | TJXOPT_TRIM;
    transform.r = {x, y, r.width(), r.height()};
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    const int failed = tjTransform(handle.get(), bytes, size, 1, &out, &outSize, &transform, TJFLAG_STOPONWARNING);
    std::unique_ptr<unsigned char, void (*)(unsigned char*)> held(out, tjFree);
    if (failed) throw Damaged(tjGetErrorStr2(handle.get()));
    const QByteArray made =
        Restamped(QByteArray::fromRawData(reinterpret_cast<const char*>(out), qsizetype(outSize)), density);
    QFile f(target);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(made) != made.size() || !f.flush())
        throw std::runtime_error("write failed");
    return true;
}

void WriteRgb(std::FILE* target, int width, int height, const std::function<const unsigned char*(int)>& row,
              Density density, int quality, const QByteArray& iccProfile)
{
    Compressor e(target);
    auto& out = e.info;
    e.guard([&] {
        out.image_width = JDIMENSION(width);
        out.image_height = JDIMENSION(height);
        out.input_components = 3;
        out.in_color_space = JCS_RGB;
        jpeg_set_defaults(&out);
        jpeg_set_quality(&out, quality, TRUE);
        if (density.x > 0 && density.y > 0) {
            out.density_unit = 1;
            out.X_density = UINT16(density.x);
            out.Y_density = UINT16(density.y);
        }
        out.dct_method = JDCT_ISLOW;
        jpeg_start_compress(&out, TRUE);
    });
    if (!iccProfile.isEmpty()) {
        const auto* icc = reinterpret_cast<const JOCTET*>(iccProfile.constData());
        const auto length = unsigned(iccProfile.size());
        e.guard([&] { jpeg_write_icc_profile(&out, icc, length); });
    }
    for (int y = 0; y < height; ++y) {
        JSAMPROW line = const_cast<JSAMPROW>(row(y));
        e.guard([&] { jpeg_write_scanlines(&out, &line, 1); });
    }
    e.guard([&] { jpeg_finish_compress(&out); });
    if (std::fflush(target) != 0 || std::ferror(target)) throw std::runtime_error("write failed");
}

}  // namespace marigal::jpeg
