#include "photo/prepare.h"

#include "common/errors.h"
#include "common/timing.h"
#include "photo/jpeg.h"
#include "photo/subject.h"

#include <QElapsedTimer>
#include <QFile>
#include <QImageWriter>
#include <QPainter>

#include <atomic>
#include <cerrno>
#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace marigal {

namespace {

// Decoded pixels are written at this quality; a JPEG cut by its pixels
// keeps its own quantization where that is finer, and is never coarser.
constexpr int kPhotoQuality = 92;
// The lossless cut holds the photo's blocks twice over: above this, the cut
// goes by pixels, which hold each one once.
constexpr double kLosslessBudgetBytes = 200e6;
// The subject is looked for on a copy about this large: faces of a group
// photo are still a few dozen pixels there.
constexpr int kLookSide = 1000;
// No card needs more of a photo than this: even in the largest frame it
// prints at well over a thousand pixels an inch. A larger copy is made
// smaller, so that no card carries a picture of hundreds of megapixels.
constexpr double kMostCopyPixels = 50e6;

// A new file of its own in `folder`; closed and removed again unless kept.
class NewFile {
public:
    NewFile(const QString& folder, const char* extension)
    {
        static std::atomic<unsigned> counter{0};
        for (int attempt = 0; attempt < 100 && !stream_; ++attempt) {
            path_ = QStringLiteral("%1/photo-%2-%3.%4")
                        .arg(folder)
                        .arg(::getpid())
                        .arg(counter++)
                        .arg(QLatin1String(extension));
            const int fd = ::open(QFile::encodeName(path_).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            if (fd < 0 && errno == EEXIST) continue;
            if (fd < 0) throw AppError(apperr::kPathNotFound);
            stream_ = ::fdopen(fd, "wb");
            if (!stream_) ::close(fd);
        }
        if (!stream_) throw AppError(apperr::kDeviceIo);
    }
    ~NewFile()
    {
        if (stream_) std::fclose(stream_);
        if (!kept_) QFile::remove(path_);
    }
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;

    std::FILE* stream() { return stream_; }
    const QString& path() const { return path_; }
    // For a writer that opens the file by its name.
    void closeStream()
    {
        std::fclose(stream_);
        stream_ = nullptr;
    }
    QString keepAsWritten()
    {
        kept_ = true;
        return path_;
    }
    // Closes the file whole; raises AppError when the disk would not take it.
    QString keep()
    {
        const bool failed = std::fflush(stream_) != 0 || std::ferror(stream_);
        const int error = errno;
        const bool closeFailed = std::fclose(stream_) != 0;
        stream_ = nullptr;
        if (failed || closeFailed) throw AppError(error == ENOSPC || error == EDQUOT ? apperr::kDiskFull : apperr::kDeviceIo);
        kept_ = true;
        return path_;
    }

private:
    QString path_;
    std::FILE* stream_ = nullptr;
    bool kept_ = false;
};

// What one place takes of the photo: a window of its upright pixels and the
// size that window takes on the page.
struct Cut {
    jpeg::Window window;
    QSize size;  // 1/100 mm
    jpeg::Density density;
    double ppi = 0;
    // Transparency shows the frame's mat behind it anyway: laid on it, the
    // copy is a JPEG, not a PNG of a hundred megabytes.
    bool onMat = false;
};

Cut CutFor(QSize photo, const PhotoPlace& place, PhotoFit fit, const Subject& subject)
{
    Cut cut;
    cut.size = place.room;
    cut.onMat = place.mat.isValid();
    if (place.mat.isValid()) cut.window.mat = place.mat;
    if (fit == PhotoFit::Fill) {
        cut.window.rect = FillWindow(photo, place.room, subject);
    } else if (place.mat.isValid()) {
        cut.window.rect = WholeWindow(photo, place.room);
        cut.window.mat = place.mat;
    } else {
        cut.window.rect = QRect(QPoint(0, 0), photo);
        cut.size = photo.scaled(place.room, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
    }
    const double all = double(cut.window.rect.width()) * cut.window.rect.height();
    cut.window.shrink = all > kMostCopyPixels ? int(std::ceil(std::sqrt(all / kMostCopyPixels))) : 1;
    // As many pixels to the inch as make the window at least as large as its
    // size on the page: the word processor then fits it to its room exactly.
    const QSize pixels = cut.window.rect.size() / cut.window.shrink;
    const auto perInch = [](int pixels, int hundredthsMm) {
        return std::clamp(int(std::floor(pixels * 2540.0 / std::max(1, hundredthsMm))), 1, 65535);
    };
    cut.density = {perInch(pixels.width(), cut.size.width()), perInch(pixels.height(), cut.size.height())};
    cut.ppi = pixels.width() * 2540.0 / std::max(1, cut.size.width());
    return cut;
}

bool Transparent(const QImage& image)
{
    if (!image.hasAlphaChannel()) return false;
    const QImage argb = image.format() == QImage::Format_ARGB32 ? image : image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x)
            if (qAlpha(line[x]) != 255) return true;
    }
    return false;
}

// A copy about kLookSide pixels across, to look for the subject on.
QImage LookingCopy(const QImage& image)
{
    if (std::max(image.width(), image.height()) <= kLookSide * 3 / 2) return image;
    return image.scaled(kLookSide, kLookSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

// Decoded pixels, cut to the window, as a file the word processor takes.
QString WriteConverted(const QImage& photo, const QByteArray& iccProfile, const Cut& cut, bool transparent,
                       const QString& folder)
{
    const QRect& r = cut.window.rect;
    const bool clear = transparent && !cut.onMat;
    QImage image;
    if (QRect(QPoint(0, 0), photo.size()).contains(r) && !(transparent && cut.onMat)) {
        image = photo.copy(r);
    } else {
        image = QImage(r.size(), clear ? QImage::Format_ARGB32 : QImage::Format_RGB32);
        image.fill(cut.window.mat);
        QPainter p(&image);
        p.drawImage(-r.topLeft(), photo);
    }
    if (clear) {
        NewFile out(folder, "png");
        QFile device;
        if (!device.open(::fileno(out.stream()), QIODevice::WriteOnly, QFileDevice::DontCloseHandle))
            throw AppError(apperr::kDeviceIo);
        image.setDotsPerMeterX(int(std::lround(cut.density.x / 0.0254)));
        image.setDotsPerMeterY(int(std::lround(cut.density.y / 0.0254)));
        QImageWriter writer(&device, "png");
        writer.setCompression(1);  // a photo's pixels hardly deflate; time is better spent elsewhere
        if (!writer.write(image)) throw AppError(apperr::kDiskFull);
        device.close();
        return out.keep();
    }
    const QImage::Format format = image.format();
    if (format != QImage::Format_RGB888 && format != QImage::Format_RGB32 && format != QImage::Format_ARGB32 &&
        format != QImage::Format_RGBA8888 && format != QImage::Format_Grayscale8)
        image = image.convertToFormat(QImage::Format_RGB32);
    std::vector<unsigned char> rgb(size_t(image.width()) * 3);
    const auto row = [&](int y) -> const unsigned char* {
        const uchar* line = image.constScanLine(y);
        switch (image.format()) {
        case QImage::Format_RGB888: return line;
        case QImage::Format_RGBA8888:
            for (int x = 0; x < image.width(); ++x) std::copy_n(line + 4 * x, 3, &rgb[size_t(3 * x)]);
            break;
        case QImage::Format_Grayscale8:
            for (int x = 0; x < image.width(); ++x) rgb[size_t(3 * x)] = rgb[size_t(3 * x + 1)] = rgb[size_t(3 * x + 2)] = line[x];
            break;
        default:
            for (int x = 0; x < image.width(); ++x) {
                const QRgb p = reinterpret_cast<const QRgb*>(line)[x];
                rgb[size_t(3 * x)] = uchar(qRed(p));
                rgb[size_t(3 * x + 1)] = uchar(qGreen(p));
                rgb[size_t(3 * x + 2)] = uchar(qBlue(p));
            }
        }
        return rgb.data();
    };
    NewFile out(folder, "jpg");
    try {
        jpeg::WriteRgb(out.stream(), image.width(), image.height(), row, cut.density, kPhotoQuality, iccProfile);
    } catch (const std::runtime_error&) {
        throw AppError(apperr::kDiskFull);
    }
    return out.keep();
}

// A small RGB copy of YCbCr planes (chroma at half size), each pixel the
// mean of the luma it stands for.
QImage LookingCopy(const YCbCrPicture& planes)
{
    const int step = std::max(1, (std::max(planes.width, planes.height) + kLookSide - 1) / kLookSide);
    const int w = std::max(1, planes.width / step), h = std::max(1, planes.height / step);
    QImage small(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(small.scanLine(y));
        for (int x = 0; x < w; ++x) {
            int sum = 0;
            for (int dy = 0; dy < step; ++dy)
                for (int dx = 0; dx < step; ++dx)
                    sum += planes.planes[0][std::ptrdiff_t(y * step + dy) * planes.strides[0] + x * step + dx];
            const double luma = double(sum) / (step * step);
            const int cx = x * step / 2, cy = y * step / 2;
            const double cb = planes.planes[1][std::ptrdiff_t(cy) * planes.strides[1] + cx] - 128.0;
            const double cr = planes.planes[2][std::ptrdiff_t(cy) * planes.strides[2] + cx] - 128.0;
            const auto c = [](double v) { return std::clamp(int(std::lround(v)), 0, 255); };
            line[x] = qRgb(c(luma + 1.402 * cr), c(luma - 0.344136 * cb - 0.714136 * cr), c(luma + 1.772 * cb));
        }
    }
    return small;
}

// How the copies of one photo are written, once its pixels (or blocks) are at hand.
struct Source {
    QSize upright;
    Subject subject;
    std::function<QString(const Cut&)> write;
    QString how;
};

Source FromJpeg(PictureFile& file, const QString& folder, PhotoFit fit)
{
    Source source;
    try {
        const jpeg::Header header = jpeg::ReadHeader(file.stream());
        source.upright = header.orientation >= 5 ? header.size.transposed() : header.size;
        // Read whole at a fraction of its size: every byte of the stream is
        // decoded (a photo cut short is found), and the copy shows its subject.
        int scale = 1;
        while (scale < 8 && std::max(header.size.width(), header.size.height()) / (scale * 2) >= kLookSide) scale *= 2;
        source.subject = FindSubject(LookingCopy(Upright(jpeg::Decode(file.stream(), scale), header.orientation)));
        const bool lossless = fit == PhotoFit::Fill && jpeg::LosslessCost(header, file.size()) <= kLosslessBudgetBytes &&
                              double(header.size.width()) * header.size.height() <= kMostCopyPixels;
        source.how = lossless ? QStringLiteral("cut without loss") : QStringLiteral("cut by pixels");
        auto whole = std::make_shared<QByteArray>();
        source.write = [&file, folder, header, lossless, whole](const Cut& cut) {
            try {
                if (lossless) {
                    if (whole->isEmpty()) *whole = file.readAll();
                    NewFile out(folder, "jpg");
                    out.closeStream();
                    if (jpeg::CropLosslessly(*whole, header.orientation, cut.window.rect, cut.density, out.path()))
                        return out.keepAsWritten();
                }
                NewFile out(folder, "jpg");
                jpeg::Reframe(file.stream(), out.stream(), header.orientation, cut.window, cut.density, kPhotoQuality);
                return out.keep();
            } catch (const jpeg::Damaged&) {
                throw AppError(DamagedPictureText(file.path()));
            } catch (const AppError&) {
                throw;
            } catch (const std::runtime_error&) {
                throw AppError(apperr::kDiskFull);
            }
        };
    } catch (const jpeg::Damaged&) {
        throw AppError(DamagedPictureText(file.path()));
    }
    return source;
}

Source FromPixels(QImage image, const QByteArray& icc, const QString& folder)
{
    Source source;
    source.upright = image.size();
    source.subject = FindSubject(LookingCopy(image));
    const bool clear = Transparent(image);
    auto pixels = std::make_shared<QImage>(std::move(image));
    source.write = [pixels, icc, clear, folder](const Cut& cut) { return WriteConverted(*pixels, icc, cut, clear, folder); };
    return source;
}

Source FromHeif(PictureFile& file, const QString& folder)
{
    QByteArray icc;
    auto planes = std::make_shared<YCbCrPicture>(DecodeHeifYCbCr(file, &icc));
    if (planes->width <= 0) {
        Source source = FromPixels(DecodeHeif(file, QSize(), &icc), icc, folder);
        source.how = QStringLiteral("converted from %1").arg(file.kindName());
        return source;
    }
    // JPEG's own colours and sampling: written as they are, with no conversion.
    Source source;
    source.upright = QSize(planes->width, planes->height);
    source.subject = FindSubject(LookingCopy(*planes));
    source.how = QStringLiteral("converted from %1").arg(file.kindName());
    source.write = [planes, icc, folder](const Cut& cut) {
        NewFile out(folder, "jpg");
        try {
            jpeg::WriteYCbCr420(out.stream(), planes->width, planes->height, planes->planes, planes->strides,
                                cut.window, cut.density, kPhotoQuality, icc);
        } catch (const std::runtime_error&) {
            throw AppError(apperr::kDiskFull);
        }
        return out.keep();
    };
    return source;
}

}  // namespace

bool PhotoFitNamed(const QString& name, PhotoFit* fit)
{
    const QString n = name.trimmed().toLower();
    if (n == QLatin1String("fill")) *fit = PhotoFit::Fill;
    else if (n == QLatin1String("whole")) *fit = PhotoFit::Whole;
    else return false;
    return true;
}

QString PhotoFitName(PhotoFit fit)
{
    return fit == PhotoFit::Whole ? QStringLiteral("whole") : QStringLiteral("fill");
}

std::vector<PreparedPhoto> PreparePhoto(const QString& path, const QString& folder,
                                        const std::vector<PhotoPlace>& places, PhotoFit fit)
{
    QElapsedTimer clock;
    clock.start();
    PictureFile file(path);
    if (file.size() > kMaxPhotoBytes) throw PhotoError(PhotoProblem::TooLarge);
    const QSize stored = CheckedSize(file);
    Source source;
    switch (file.kind()) {
    case PictureKind::None: throw PhotoError(PhotoProblem::NotAPicture);
    case PictureKind::Unreadable: throw AppError(UnreadableKindText(file.kindName(), path));
    case PictureKind::Jpeg: source = FromJpeg(file, folder, fit); break;
    case PictureKind::Heif:
    case PictureKind::Avif: source = FromHeif(file, folder); break;
    default: {
        // Read at no more pixels than a copy may have: a photo of 200
        // megapixels would take most of a gigabyte decoded whole.
        QImage pixels;
        if (file.kind() == PictureKind::Png && double(stored.width()) * stored.height() > kMostCopyPixels)
            pixels = ReadPngShrunk(file, qint64(kMostCopyPixels));
        if (pixels.isNull()) pixels = DecodeWithQt(file, QSize(), qint64(kMostCopyPixels));
        source = FromPixels(std::move(pixels), QByteArray(), folder);
        source.how = QStringLiteral("converted from %1").arg(file.kindName());
        break;
    }
    }
    const qint64 read = clock.elapsed();

    std::vector<PreparedPhoto> made;
    // Places of one size take one copy.
    std::map<std::pair<int, int>, size_t> sameRoom;
    try {
        for (const PhotoPlace& place : places) {
            const auto key = std::make_pair(place.room.width(), place.room.height());
            if (const auto it = sameRoom.find(key); it != sameRoom.end()) {
                made.push_back(made[it->second]);
                continue;
            }
            const Cut cut = CutFor(source.upright, place, fit, source.subject);
            made.push_back({source.write(cut), cut.size, cut.ppi});
            sameRoom[key] = made.size() - 1;
        }
    } catch (...) {
        for (const PreparedPhoto& p : made) QFile::remove(p.path);
        throw;
    }
    qCDebug(lcTiming).noquote() << QStringLiteral("photo read in %1 ms, %2 for %3 place(s) in %4 ms (%5 face(s))")
                                       .arg(read)
                                       .arg(source.how)
                                       .arg(places.size())
                                       .arg(clock.elapsed() - read)
                                       .arg(source.subject.faces);
    return made;
}

}  // namespace marigal
