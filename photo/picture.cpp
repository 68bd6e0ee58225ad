#include "photo/picture.h"

#include "photo/jpeg.h"

#include <QFile>
#include <QImageReader>

#include <algorithm>
#include <cmath>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <libheif/heif.h>
#include <sys/stat.h>
#include <unistd.h>

namespace marigal {

namespace {
// A decoded picture may take this much memory, in megabytes: a full-size
// decode of a 200-megapixel photo (800 MB) is refused, a thumbnail of one is
// small. Qt's own limit (128 MB) refused everyday 48-megapixel phone photos.
constexpr int kDecodeLimitMb = 512;
// Beyond this, a picture that cannot be decoded at a fraction of its size is
// not decoded for a small copy (it would cost 4 bytes a pixel).
constexpr double kFullDecodePixels = 50e6;

bool Starts(const QByteArray& head, const char* bytes, int length, int at = 0)
{
    return head.size() >= at + length && std::memcmp(head.constData() + at, bytes, size_t(length)) == 0;
}

// An ISO media file's kind by the brands of its "ftyp" box: HEIF and AVIF
// pictures, and what else wears the same box.
PictureKind FromBrands(const QByteArray& head, QString* name)
{
    const auto set = [&](PictureKind kind, const char* n) {
        if (name) *name = QString::fromLatin1(n);
        return kind;
    };
    const int boxEnd = std::min<int>(head.size(), int(quint8(head[2]) << 8 | quint8(head[3])));
    std::vector<QByteArray> brands{head.mid(8, 4)};
    for (int at = 16; at + 4 <= boxEnd; at += 4) brands.push_back(head.mid(at, 4));
    const auto has = [&](std::initializer_list<const char*> wanted) {
        for (const QByteArray& b : brands)
            for (const char* w : wanted)
                if (b == w) return true;
        return false;
    };
    const QByteArray major = brands.front();
    if (major == "avif" || major == "avis") return set(PictureKind::Avif, "AVIF");
    if (has({"heic", "heix", "hevc", "hevx", "heim", "heis"})) return set(PictureKind::Heif, "HEIC");
    if (has({"avif", "avis"})) return set(PictureKind::Avif, "AVIF");
    if (major == "crx ") return set(PictureKind::Unreadable, "Canon raw (CR3)");
    if (has({"mif1", "msf1"})) return set(PictureKind::Heif, "HEIF");
    if (has({"qt  ", "isom", "mp41", "mp42", "M4V ", "3gp4", "3gp5"})) return set(PictureKind::Unreadable, "video");
    return PictureKind::None;
}

QImage ReadJpeg(PictureFile& file, QSize fitInto)
{
    try {
        const jpeg::Header header = jpeg::ReadHeader(file.stream());
        int scale = 1;
        if (fitInto.isValid() && !header.size.isEmpty()) {
            // The stored size, before any turn: fit whichever way it stands.
            const QSize fit = header.orientation >= 5 ? fitInto.transposed() : fitInto;
            const double k = std::min(double(fit.width()) / header.size.width(), double(fit.height()) / header.size.height());
            while (scale < 8 && k * scale * 2 <= 1.0) scale *= 2;
        }
        return Upright(jpeg::Decode(file.stream(), scale), header.orientation);
    } catch (const jpeg::Damaged&) {
        throw AppError(DamagedPictureText(file.path()));
    }
}

struct HeifDeleter {
    void operator()(heif_context* c) const { heif_context_free(c); }
    void operator()(const heif_image_handle* h) const { heif_image_handle_release(h); }
    void operator()(heif_decoding_options* o) const { heif_decoding_options_free(o); }
};

}  // namespace

PhotoError::PhotoError(PhotoProblem problem)
    : AppError(problem == PhotoProblem::NotFound      ? apperr::kFileNotFound
               : problem == PhotoProblem::Unreadable ? apperr::kPermissionDenied
                                                     : apperr::kInvalidPicture),
      problem_(problem)
{
}

QImage DecodeWithQt(PictureFile& file, QSize fitInto, qint64 mostPixels)
{
    QFile device;
    if (!device.open(file.descriptor(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        throw PhotoError(PhotoProblem::NotAPicture);
    QImageReader::setAllocationLimit(kDecodeLimitMb);
    QImageReader reader(&device);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);
    if (!reader.canRead()) throw PhotoError(PhotoProblem::NotAPicture);
    const QSize size = reader.size();
    if (fitInto.isValid() && size.isValid() && (size.width() > fitInto.width() || size.height() > fitInto.height()) &&
        double(size.width()) * size.height() > kFullDecodePixels) {
        // Too large to decode in full for a small copy: taken on its header's word.
        QImage stand(size.scaled(fitInto, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)), QImage::Format_RGB32);
        stand.fill(Qt::lightGray);
        return stand;
    }
    if (mostPixels > 0 && size.isValid() && double(size.width()) * size.height() > double(mostPixels)) {
        const double k = std::sqrt(double(mostPixels) / (double(size.width()) * size.height()));
        reader.setScaledSize(QSize(std::max(1, int(size.width() * k)), std::max(1, int(size.height() * k))));
    }
    QImage image = reader.read();
    // It has a picture's header, so what will not decode is damaged.
    if (image.isNull()) {
        if (reader.error() == QImageReader::InvalidDataError || reader.error() == QImageReader::UnknownError)
            throw AppError(DamagedPictureText(file.path()));
        throw PhotoError(reader.error() == QImageReader::UnsupportedFormatError ? PhotoProblem::NotAPicture
                                                                                : PhotoProblem::TooLarge);
    }
    return image;
}

PictureKind SniffPicture(const QByteArray& head, QString* name)
{
    const auto set = [&](PictureKind kind, const char* n) {
        if (name) *name = QString::fromLatin1(n);
        return kind;
    };
    if (Starts(head, "\xFF\xD8\xFF", 3)) return set(PictureKind::Jpeg, "JPEG");
    if (Starts(head, "\x89PNG\r\n\x1A\n", 8)) return set(PictureKind::Png, "PNG");
    if (Starts(head, "GIF87a", 6) || Starts(head, "GIF89a", 6)) return set(PictureKind::Gif, "GIF");
    if (Starts(head, "BM", 2) && head.size() >= 18) {
        const int info = quint8(head[14]) | quint8(head[15]) << 8;
        if (info == 12 || info == 40 || info == 52 || info == 56 || info == 64 || info == 108 || info == 124)
            return set(PictureKind::Bmp, "BMP");
    }
    if (Starts(head, "II*\0", 4) || Starts(head, "MM\0*", 4) || Starts(head, "II+\0", 4) || Starts(head, "MM\0+", 4)) {
        if (Starts(head, "CR", 2, 8)) return set(PictureKind::Unreadable, "Canon raw (CR2)");
        return set(PictureKind::Tiff, "TIFF");
    }
    if (Starts(head, "RIFF", 4) && Starts(head, "WEBP", 4, 8)) return set(PictureKind::WebP, "WebP");
    if (Starts(head, "ftyp", 4, 4)) return FromBrands(head, name);
    if (Starts(head, "\xFF\x0A", 2) || Starts(head, "\0\0\0\x0CJXL \r\n\x87\n", 12))
        return set(PictureKind::Unreadable, "JPEG XL");
    if (Starts(head, "\0\0\0\x0CjP  \r\n\x87\n", 12) || Starts(head, "\xFF\x4F\xFF\x51", 4))
        return set(PictureKind::Unreadable, "JPEG 2000");
    if (Starts(head, "8BPS", 4)) return set(PictureKind::Unreadable, "Photoshop (PSD)");
    if (Starts(head, "%PDF", 4)) return set(PictureKind::Unreadable, "PDF");
    if (Starts(head, "%!PS", 4)) return set(PictureKind::Unreadable, "PostScript");
    if (Starts(head, "<svg", 4) || (Starts(head, "<?xml", 5) && head.contains("<svg")))
        return set(PictureKind::Unreadable, "SVG");
    if (Starts(head, "FUJIFILMCCD-RAW", 15)) return set(PictureKind::Unreadable, "Fujifilm raw (RAF)");
    if (Starts(head, "\0\0\1\0", 4) && head.size() >= 6 && head[4] != 0) return set(PictureKind::Unreadable, "icon");
    return PictureKind::None;
}

QString PicturePatterns()
{
    return QStringLiteral("*.jpg;*.jpeg;*.jpe;*.jfif;*.png;*.bmp;*.dib;*.gif;*.tif;*.tiff;*.webp;*.heic;*.heif;"
                          "*.hif;*.avif");
}

PictureFile::PictureFile(const QString& path) : path_(path)
{
    fd_ = path.isEmpty() ? -1 : ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd_ < 0) {
        const bool missing = path.isEmpty() || errno == ENOENT || errno == ENOTDIR;
        throw PhotoError(missing ? PhotoProblem::NotFound
                                 : errno == EACCES || errno == EPERM ? PhotoProblem::Unreadable
                                                                     : PhotoProblem::NotAPicture);
    }
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd_);
        throw PhotoError(PhotoProblem::NotAPicture);
    }
    size_ = st.st_size;
    QByteArray head(64, '\0');
    const ssize_t n = ::pread(fd_, head.data(), size_t(head.size()), 0);
    head.truncate(n > 0 ? int(n) : 0);
    kind_ = SniffPicture(head, &kindName_);
}

PictureFile::~PictureFile()
{
    if (stream_) std::fclose(stream_);
    if (fd_ >= 0) ::close(fd_);
}

int PictureFile::descriptor()
{
    ::lseek(fd_, 0, SEEK_SET);
    return fd_;
}

std::FILE* PictureFile::stream()
{
    if (!stream_) {
        const int copy = ::fcntl(fd_, F_DUPFD_CLOEXEC, 0);
        stream_ = copy >= 0 ? ::fdopen(copy, "rb") : nullptr;
        if (!stream_) {
            if (copy >= 0) ::close(copy);
            throw AppError(apperr::kDeviceIo);
        }
    }
    std::rewind(stream_);
    return stream_;
}

QByteArray PictureFile::readAll()
{
    QByteArray bytes;
    bytes.resize(qsizetype(size_));
    qint64 done = 0;
    while (done < size_) {
        const ssize_t n = ::pread(fd_, bytes.data() + done, size_t(size_ - done), off_t(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += n;
    }
    bytes.truncate(qsizetype(done));
    return bytes;
}

QSize CheckedSize(PictureFile& file)
{
    QSize size;
    switch (file.kind()) {
    case PictureKind::Jpeg:
        try {
            size = jpeg::ReadHeader(file.stream()).size;
        } catch (const jpeg::Damaged&) {
            throw AppError(DamagedPictureText(file.path()));
        }
        break;
    case PictureKind::Heif:
    case PictureKind::Avif: {
        heif_context* context = heif_context_alloc();
        if (!context) throw std::bad_alloc();
        const QByteArray bytes = file.readAll();
        heif_image_handle* primary = nullptr;
        if (heif_context_read_from_memory_without_copy(context, bytes.constData(), size_t(bytes.size()), nullptr).code ==
                heif_error_Ok &&
            heif_context_get_primary_image_handle(context, &primary).code == heif_error_Ok) {
            size = QSize(heif_image_handle_get_width(primary), heif_image_handle_get_height(primary));
            heif_image_handle_release(primary);
        }
        heif_context_free(context);
        break;
    }
    default: {
        QFile device;
        if (device.open(file.descriptor(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
            size = QImageReader(&device).size();
        break;
    }
    }
    if (size.isValid() && (double(size.width()) * size.height() > double(kMostPhotoPixels) ||
                           std::max(size.width(), size.height()) > kMostPhotoSide))
        throw AppError(QStringLiteral("The photo is too large (%1 × %2 pixels; Marigal takes up to %3 megapixels): %4")
                           .arg(size.width())
                           .arg(size.height())
                           .arg(kMostPhotoPixels / 1'000'000)  // 200
                           .arg(file.path()));
    return size;
}

PictureHeader InspectPicture(const QString& path)
{
    PictureFile file(path);
    if (file.size() > kMaxPhotoBytes) throw PhotoError(PhotoProblem::TooLarge);
    QFile device;
    if (!device.open(file.descriptor(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        throw PhotoError(PhotoProblem::NotAPicture);
    QImageReader reader(&device);
    reader.setAutoTransform(true);
    if (!reader.canRead() || !reader.size().isValid()) throw PhotoError(PhotoProblem::NotAPicture);
    return {file.kind(), reader.size(), reader.transformation()};
}

QString DamagedPictureText(const QString& path)
{
    return QStringLiteral("The picture is damaged (cut short or corrupt): %1").arg(path);
}

QString UnreadableKindText(const QString& kindName, const QString& path)
{
    return QStringLiteral("Marigal cannot read %1 pictures: %2").arg(kindName, path);
}

namespace {

// A HEIF or AVIF file opened by libheif, its failures as the program's errors.
class HeifFile {
public:
    explicit HeifFile(PictureFile& file) : file_(file), bytes_(file.readAll()), context_(heif_context_alloc())
    {
        if (!context_) throw std::bad_alloc();
        // libheif's own bound, beside the header's check: no side beyond it is decoded.
        heif_context_set_maximum_image_size_limit(context_.get(), kMostPhotoSide);
        check(heif_context_read_from_memory_without_copy(context_.get(), bytes_.constData(), size_t(bytes_.size()), nullptr));
        heif_image_handle* primary = nullptr;
        check(heif_context_get_primary_image_handle(context_.get(), &primary));
        primary_.reset(primary);
    }

    const heif_image_handle* primary() const { return primary_.get(); }

    // The smallest thumbnail at least as large as `fit`, or none.
    std::unique_ptr<const heif_image_handle, HeifDeleter> thumbnail(QSize fit) const
    {
        std::unique_ptr<const heif_image_handle, HeifDeleter> best;
        const int count = heif_image_handle_get_number_of_thumbnails(primary());
        std::vector<heif_item_id> ids(size_t(std::max(count, 0)));
        heif_image_handle_get_list_of_thumbnail_IDs(primary(), ids.data(), count);
        for (const heif_item_id id : ids) {
            heif_image_handle* thumb = nullptr;
            if (heif_image_handle_get_thumbnail(primary(), id, &thumb).code != heif_error_Ok) continue;
            std::unique_ptr<const heif_image_handle, HeifDeleter> held(thumb);
            const int w = heif_image_handle_get_width(thumb), h = heif_image_handle_get_height(thumb);
            const bool enough = std::max(w, h) >= std::max(fit.width(), fit.height());
            if (enough && (!best || w < heif_image_handle_get_width(best.get()))) best = std::move(held);
        }
        return best;
    }

    static QByteArray iccProfile(const heif_image_handle* handle)
    {
        QByteArray icc;
        const heif_color_profile_type type = heif_image_handle_get_color_profile_type(handle);
        if (type == heif_color_profile_type_prof || type == heif_color_profile_type_rICC) {
            icc.resize(qsizetype(heif_image_handle_get_raw_color_profile_size(handle)));
            if (heif_image_handle_get_raw_color_profile(handle, icc.data()).code != heif_error_Ok) icc.clear();
        }
        return icc;
    }

    // Decoded, upright, at 8 bits; the caller releases it.
    heif_image* decode(const heif_image_handle* handle, heif_colorspace colours, heif_chroma chroma) const
    {
        std::unique_ptr<heif_decoding_options, HeifDeleter> options(heif_decoding_options_alloc());
        options->convert_hdr_to_8bit = 1;
        options->strict_decoding = 1;
        heif_image* decoded = nullptr;
        const heif_error e = heif_decode_image(handle, &decoded, colours, chroma, options.get());
        if (e.code != heif_error_Ok) {
            if (decoded) heif_image_release(decoded);
            check(e);
        }
        if (heif_image_get_primary_width(decoded) <= 0 || heif_image_get_primary_height(decoded) <= 0) {
            heif_image_release(decoded);
            throw AppError(DamagedPictureText(file_.path()));
        }
        return decoded;
    }

private:
    void check(const heif_error& e) const
    {
        if (e.code == heif_error_Ok) return;
        if (e.code == heif_error_Unsupported_filetype || e.code == heif_error_Unsupported_feature)
            throw AppError(UnreadableKindText(file_.kindName(), file_.path()));
        if (e.code == heif_error_Memory_allocation_error) throw std::bad_alloc();
        throw AppError(DamagedPictureText(file_.path()));
    }

    PictureFile& file_;
    const QByteArray bytes_;  // read by libheif in place: it outlives the context
    std::unique_ptr<heif_context, HeifDeleter> context_;
    std::unique_ptr<const heif_image_handle, HeifDeleter> primary_;
};

}  // namespace

QImage DecodeHeif(PictureFile& file, QSize fitInto, QByteArray* iccProfile)
{
    const HeifFile heif(file);
    const auto thumbnail = fitInto.isValid() ? heif.thumbnail(fitInto) : nullptr;
    if (fitInto.isValid() && !thumbnail) {
        // No thumbnail to read: the whole picture would take seconds to
        // decode for a small copy, so its header's word is taken.
        const QSize size(heif_image_handle_get_width(heif.primary()), heif_image_handle_get_height(heif.primary()));
        QImage stand(size.scaled(fitInto, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)), QImage::Format_RGB32);
        stand.fill(Qt::lightGray);
        return stand;
    }
    const heif_image_handle* const chosen = thumbnail ? thumbnail.get() : heif.primary();
    if (iccProfile) *iccProfile = HeifFile::iccProfile(chosen);
    const bool alpha = heif_image_handle_has_alpha_channel(chosen);
    heif_image* decoded =
        heif.decode(chosen, heif_colorspace_RGB, alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB);
    int stride = 0;
    const uint8_t* pixels = heif_image_get_plane_readonly(decoded, heif_channel_interleaved, &stride);
    // The decoder's own pixels, freed with the last copy of the picture.
    return QImage(
        pixels, heif_image_get_primary_width(decoded), heif_image_get_primary_height(decoded), stride,
        alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888,
        [](void* image) { heif_image_release(static_cast<heif_image*>(image)); }, decoded);
}

YCbCrPicture DecodeHeifYCbCr(PictureFile& file, QByteArray* iccProfile)
{
    const HeifFile heif(file);
    if (heif_image_handle_has_alpha_channel(heif.primary())) return {};
    // JPEG's colours are BT.601's, at full range; libheif takes the same
    // when the file names none.
    heif_color_profile_nclx* nclx = nullptr;
    if (heif_image_handle_get_nclx_color_profile(heif.primary(), &nclx).code == heif_error_Ok) {
        const bool jpegs = (nclx->matrix_coefficients == heif_matrix_coefficients_ITU_R_BT_601_6 ||
                            nclx->matrix_coefficients == heif_matrix_coefficients_ITU_R_BT_470_6_System_B_G) &&
                           nclx->full_range_flag;
        heif_nclx_color_profile_free(nclx);
        if (!jpegs) return {};
    }
    if (iccProfile) *iccProfile = HeifFile::iccProfile(heif.primary());
    heif_image* decoded = heif.decode(heif.primary(), heif_colorspace_YCbCr, heif_chroma_420);
    YCbCrPicture picture;
    picture.holder = std::shared_ptr<const void>(decoded, [](const void* image) {
        heif_image_release(static_cast<const heif_image*>(image));
    });
    picture.width = heif_image_get_primary_width(decoded);
    picture.height = heif_image_get_primary_height(decoded);
    const heif_channel channels[3] = {heif_channel_Y, heif_channel_Cb, heif_channel_Cr};
    for (int i = 0; i < 3; ++i) {
        picture.planes[i] = heif_image_get_plane_readonly(decoded, channels[i], &picture.strides[i]);
        if (!picture.planes[i]) throw AppError(DamagedPictureText(file.path()));
    }
    return picture;
}

QImage LoadPicture(const QString& path, QSize fitInto)
{
    PictureFile file(path);
    switch (file.kind()) {
    case PictureKind::None: throw PhotoError(PhotoProblem::NotAPicture);
    case PictureKind::Unreadable: throw AppError(UnreadableKindText(file.kindName(), path));
    case PictureKind::Jpeg: return ReadJpeg(file, fitInto);
    case PictureKind::Heif:
    case PictureKind::Avif: return DecodeHeif(file, fitInto);
    default: return DecodeWithQt(file, fitInto);
    }
}

QImage Upright(const QImage& stored, int orientation)
{
    const QTransform quarter = QTransform().rotate(90);
    switch (orientation) {
    case 2: return stored.mirrored(true, false);
    case 3: return stored.mirrored(true, true);
    case 4: return stored.mirrored(false, true);
    case 5: return stored.transformed(quarter).mirrored(true, false);
    case 6: return stored.transformed(quarter);
    case 7: return stored.transformed(quarter).mirrored(false, true);
    case 8: return stored.transformed(QTransform().rotate(270));
    default: return stored;
    }
}

}  // namespace marigal
