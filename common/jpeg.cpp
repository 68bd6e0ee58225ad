#include "common/jpeg.h"

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

struct OrientationField {
    size_t offset = 0;  // of the value, from the block's start
    bool littleEndian = false;
};

std::optional<OrientationField> FindOrientation(const unsigned char* d, size_t n)
{
    if (n < kExifLength + 8 || std::memcmp(d, kExif, kExifLength) != 0) return {};
    const unsigned char* t = d + kExifLength;
    const size_t size = n - kExifLength;
    const bool le = t[0] == 'I' && t[1] == 'I';
    if (!le && !(t[0] == 'M' && t[1] == 'M')) return {};
    const auto u16 = [&](size_t o) { return le ? t[o] | t[o + 1] << 8 : t[o] << 8 | t[o + 1]; };
    const auto u32 = [&](size_t o) {
        return le ? quint32(t[o]) | quint32(t[o + 1]) << 8 | quint32(t[o + 2]) << 16 | quint32(t[o + 3]) << 24
                  : quint32(t[o]) << 24 | quint32(t[o + 1]) << 16 | quint32(t[o + 2]) << 8 | quint32(t[o + 3]);
    };
    if (u16(2) != 42) return {};
    const size_t ifd = u32(4);
    if (ifd + 2 > size) return {};
    const int count = u16(ifd);
    for (int i = 0; i < count; ++i) {
        const size_t entry = ifd + 2 + 12 * size_t(i);
        if (entry + 12 > size) break;
        if (u16(entry) == 0x0112 && u16(entry + 2) == 3) return OrientationField{kExifLength + entry + 8, le};
    }
    return {};
}

int OrientationAt(const unsigned char* d, const OrientationField& f)
{
    const int v = f.littleEndian ? d[f.offset] | d[f.offset + 1] << 8 : d[f.offset] << 8 | d[f.offset + 1];
    return v >= 1 && v <= 8 ? v : 1;
}

void SetUpright(unsigned char* d, const OrientationField& f)
{
    d[f.offset] = f.littleEndian ? 1 : 0;
    d[f.offset + 1] = f.littleEndian ? 0 : 1;
}

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
        if (m->marker == JPEG_APP0 + 1)
            if (const auto f = FindOrientation(m->data, m->data_length)) return OrientationAt(m->data, *f);
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
    const auto* d = reinterpret_cast<const unsigned char*>(app1.constData());
    const auto f = FindOrientation(d, size_t(app1.size()));
    return f ? OrientationAt(d, *f) : 1;
}

QByteArray WithUprightOrientation(QByteArray app1)
{
    auto* d = reinterpret_cast<unsigned char*>(app1.data());
    if (const auto f = FindOrientation(d, size_t(app1.size()))) SetUpright(d, *f);
    return app1;
}

void MarkUpright(unsigned char* file, size_t size)
{
    size_t pos = 2;
    while (pos + 4 <= size && file[pos] == 0xFF) {
        const unsigned char marker = file[pos + 1];
        if (marker == 0xFF) {  // fill byte
            ++pos;
            continue;
        }
        if (marker == 0xDA || marker == 0xD9) break;  // the pixels start, or the file ends
        const size_t length = size_t(file[pos + 2]) << 8 | file[pos + 3];
        if (length < 2 || pos + 2 + length > size) break;
        if (marker == JPEG_APP0 + 1)
            if (const auto f = FindOrientation(file + pos + 4, length - 2)) SetUpright(file + pos + 4, *f);
        pos += 2 + length;
    }
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
    UINT8 densityUnit = 0;
    UINT16 xDensity = 1, yDensity = 1;
};

// Writes the planes turned as Exif orientation `orientation` asks, a band
// of the turned picture at a time, gathered from the planes with its edges
// repeated out to whole blocks: no colour conversion, no resampling.
void WritePlanes(std::FILE* target, const PlaneSet& in, int orientation, int quality)
{
    const bool transposes = orientation >= 5;
    const int count = int(in.components.size());
    Compressor e(target);
    auto& out = e.info;
    e.guard([&] {
        out.image_width = transposes ? in.height : in.width;
        out.image_height = transposes ? in.width : in.height;
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
        out.density_unit = in.densityUnit;
        out.X_density = transposes ? in.yDensity : in.xDensity;
        out.Y_density = transposes ? in.xDensity : in.yDensity;
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

    struct Turned {
        std::vector<unsigned char> samples;
        std::vector<JSAMPROW> rows;
        std::ptrdiff_t stride, width, height;
        int bandRows;
        PlaneMap map;
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
        t.bandRows = ci.v_samp_factor * DCTSIZE;
        t.samples.resize(size_t(t.stride) * size_t(t.bandRows));
        t.rows.resize(size_t(t.bandRows));
        for (int r = 0; r < t.bandRows; ++r) t.rows[size_t(r)] = t.samples.data() + r * t.stride;
        t.map = MapFor(orientation, k.width, k.height, k.stride);
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
            if (transposes) {
                // Down the band's rows for each column: the source runs along its own rows.
                for (std::ptrdiff_t x = 0; x < t.stride; ++x) {
                    const std::ptrdiff_t cx = std::min(x, t.width - 1);
                    for (int r = 0; r < t.bandRows; ++r) {
                        const std::ptrdiff_t cy = std::min(y0 + r, t.height - 1);
                        t.rows[size_t(r)][x] = src[t.map.a * cx + t.map.b * cy];
                    }
                }
            } else {
                for (int r = 0; r < t.bandRows; ++r) {
                    const std::ptrdiff_t cy = std::min(y0 + r, t.height - 1);
                    unsigned char* row = t.rows[size_t(r)];
                    for (std::ptrdiff_t x = 0; x < t.stride; ++x)
                        row[x] = src[t.map.a * std::min(x, t.width - 1) + t.map.b * cy];
                }
            }
        }
        e.guard([&] { jpeg_write_raw_data(&out, bandData, JDIMENSION(maxV * DCTSIZE)); });
    }
    e.guard([&] { jpeg_finish_compress(&out); });
    if (std::fflush(target) != 0 || std::ferror(target)) throw std::runtime_error("write failed");
}

}  // namespace

void TurnByPixels(std::FILE* source, std::FILE* target, int orientation, int quality)
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
        jpeg_finish_decompress(&in);
    });

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
    if (in.saw_JFIF_marker) {
        set.densityUnit = in.density_unit;
        set.xDensity = in.X_density;
        set.yDensity = in.Y_density;
    }
    for (jpeg_saved_marker_ptr m = in.marker_list; m; m = m->next) {
        if (m->marker == JPEG_APP0 && m->data_length >= 5 && std::memcmp(m->data, "JFIF", 5) == 0) continue;
        QByteArray data(reinterpret_cast<const char*>(m->data), int(m->data_length));
        if (m->marker == JPEG_APP0 + 1) data = WithUprightOrientation(data);
        set.segments.emplace_back(m->marker, data);
    }
    WritePlanes(target, set, orientation, quality);
}

void WriteYCbCr420(std::FILE* target, int width, int height, const unsigned char* const planes[3],
                   const int strides[3], int quality, const QByteArray& iccProfile)
{
    PlaneSet set;
    set.width = JDIMENSION(width);
    set.height = JDIMENSION(height);
    const std::ptrdiff_t cw = (width + 1) / 2, ch = (height + 1) / 2;
    set.components = {{planes[0], strides[0], width, height, 2, 2, 1},
                      {planes[1], strides[1], cw, ch, 1, 1, 2},
                      {planes[2], strides[2], cw, ch, 1, 1, 3}};
    set.iccProfile = iccProfile;
    WritePlanes(target, set, 1, quality);
}

double LosslessTurnCost(const Header& header, qint64 fileBytes)
{
    // The stored blocks at two bytes a coefficient, once as read and once
    // turned, for a colour photo's usual sampling; the file in and out.
    const double pixels = double(header.size.width()) * header.size.height();
    const double perPixel = header.components == 1 ? 2.0 : header.components == 3 ? 3.0 : 4.0;
    return 2 * pixels * perPixel + 2.0 * double(fileBytes);
}

bool TurnLosslessly(const QByteArray& file, int orientation, const QString& target)
{
    static constexpr int kOps[9] = {TJXOP_NONE, TJXOP_NONE,   TJXOP_HFLIP,     TJXOP_ROT180, TJXOP_VFLIP,
                                    TJXOP_TRANSPOSE, TJXOP_ROT90, TJXOP_TRANSVERSE, TJXOP_ROT270};
    if (orientation < 2 || orientation > 8) return false;
    std::unique_ptr<void, int (*)(tjhandle)> handle(tjInitTransform(), tjDestroy);
    if (!handle) return false;
    auto* bytes = reinterpret_cast<const unsigned char*>(file.constData());
    const auto size = static_cast<unsigned long>(file.size());
    int w = 0, h = 0, sampling = 0, colours = 0;
    if (tjDecompressHeader3(handle.get(), bytes, size, &w, &h, &sampling, &colours) != 0 || sampling < 0 ||
        sampling >= TJ_NUMSAMP)
        return false;
    // Only whole blocks can move: the edges that a turn brings to the top or
    // the left must fall on them.
    const bool rightWhole = w % tjMCUWidth[sampling] == 0, bottomWhole = h % tjMCUHeight[sampling] == 0;
    const int op = kOps[orientation];
    const bool perfect = op == TJXOP_TRANSPOSE || ((op == TJXOP_HFLIP || op == TJXOP_ROT270) && rightWhole) ||
                         ((op == TJXOP_VFLIP || op == TJXOP_ROT90) && bottomWhole) || (rightWhole && bottomWhole);
    if (!perfect) return false;
    tjtransform transform{};
    transform.op = op;
    transform.options = TJXOPT_PERFECT;
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    const int failed = tjTransform(handle.get(), bytes, size, 1, &out, &outSize, &transform, TJFLAG_STOPONWARNING);
    std::unique_ptr<unsigned char, void (*)(unsigned char*)> held(out, tjFree);
    if (failed) throw Damaged(tjGetErrorStr2(handle.get()));
    MarkUpright(out, outSize);
    QFile f(target);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(reinterpret_cast<const char*>(out), qint64(outSize)) != qint64(outSize) ||
        !f.flush())
        throw std::runtime_error("write failed");
    return true;
}

void WriteRgb(std::FILE* target, int width, int height, const std::function<const unsigned char*(int)>& row,
              int quality, const QByteArray& iccProfile)
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
