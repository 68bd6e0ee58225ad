#include "cardgen/photo_prep.h"

#include "common/errors.h"
#include "common/jpeg.h"
#include "common/picture.h"
#include "common/timing.h"
#include "engine/engine_error.h"
#include "engine/value.h"

#include <QFile>
#include <QImageReader>
#include <QElapsedTimer>
#include <QImageWriter>

#include <atomic>
#include <cerrno>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace marigal {

namespace {

// Decoded pixels are written at this quality; a JPEG turned by its pixels
// keeps its own quantization where that is finer, and is never coarser.
constexpr int kPhotoQuality = 92;
// The lossless turn holds the photo's blocks twice over: above this, the
// turn goes by pixels, which hold each one once.
constexpr double kLosslessBudgetBytes = 200e6;
// Far beyond any camera's photo; a larger file is not taken for one.
constexpr qint64 kMaxPhotoBytes = qint64(1) << 30;
// Beyond this, a picture that cannot be decoded in part is not decoded to
// check it: its header's word is taken, as the word processor takes it.
constexpr double kCheckPixels = 50e6;

QString EngineText(std::u16string_view text)
{
    return engine::Q(text);
}

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

// Decoded pixels as a file the word processor takes.
QString WriteConverted(QImage image, const QByteArray& iccProfile, const QString& folder)
{
    if (Transparent(image)) {
        NewFile out(folder, "png");
        QFile device;
        if (!device.open(::fileno(out.stream()), QIODevice::WriteOnly, QFileDevice::DontCloseHandle))
            throw AppError(apperr::kDeviceIo);
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
        jpeg::WriteRgb(out.stream(), image.width(), image.height(), row, kPhotoQuality, iccProfile);
    } catch (const std::runtime_error&) {
        throw AppError(apperr::kDiskFull);
    }
    return out.keep();
}

QString PrepareJpeg(PictureFile& file, const QString& folder, QString& how)
{
    try {
        const jpeg::Header header = jpeg::ReadHeader(file.stream());
        how = QStringLiteral("checked");
        if (header.orientation == 1) {
            // Read whole at an eighth of its size: as quick as reading gets,
            // and every byte of the stream is decoded.
            jpeg::Decode(file.stream(), 8);
            return file.path();
        }
        if (jpeg::LosslessTurnCost(header, file.size()) <= kLosslessBudgetBytes) {
            NewFile out(folder, "jpg");
            out.closeStream();
            how = QStringLiteral("turned without loss");
            if (jpeg::TurnLosslessly(file.readAll(), header.orientation, out.path())) return out.keepAsWritten();
        }
        how = QStringLiteral("turned by pixels");
        NewFile out(folder, "jpg");
        jpeg::TurnByPixels(file.stream(), out.stream(), header.orientation, kPhotoQuality);
        return out.keep();
    } catch (const jpeg::Damaged&) {
        throw AppError(DamagedPictureText(file.path()));
    } catch (const std::runtime_error& e) {
        if (dynamic_cast<const AppError*>(&e)) throw;
        throw AppError(apperr::kDiskFull);
    }
}

// Read whole by Qt's decoders, as the word processor will read it.
QImage DecodeWithQt(PictureFile& file)
{
    QFile device;
    if (!device.open(file.descriptor(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        throw AppError(EngineText(engine::errtext::kNotAPicture));
    QImageReader reader(&device);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);
    if (!reader.canRead()) throw AppError(EngineText(engine::errtext::kNotAPicture));
    QImage image = reader.read();
    if (image.isNull()) {
        if (reader.error() == QImageReader::InvalidDataError || reader.error() == QImageReader::UnknownError)
            throw AppError(DamagedPictureText(file.path()));
        throw AppError(EngineText(reader.error() == QImageReader::UnsupportedFormatError
                                      ? engine::errtext::kNotAPicture
                                      : engine::errtext::kPictureTooLarge));
    }
    return image;
}

QString Prepare(const QString& path, const QString& folder, QString& how)
{
    std::unique_ptr<PictureFile> opened;
    try {
        opened = std::make_unique<PictureFile>(path);
    } catch (const AppError& e) {
        const QString why = e.description();
        if (why == apperr::kFileNotFound) throw AppError(EngineText(engine::errtext::kPictureNotFound));
        if (why == apperr::kPermissionDenied) throw AppError(EngineText(engine::errtext::kPictureUnreadable));
        throw AppError(EngineText(engine::errtext::kNotAPicture));
    }
    PictureFile& file = *opened;
    if (file.size() > kMaxPhotoBytes) throw AppError(EngineText(engine::errtext::kPictureTooLarge));
    switch (file.kind()) {
    case PictureKind::None: throw AppError(EngineText(engine::errtext::kNotAPicture));
    case PictureKind::Unreadable: throw AppError(UnreadableKindText(file.kindName(), path));
    case PictureKind::Jpeg: return PrepareJpeg(file, folder, how);
    case PictureKind::Png:
    case PictureKind::Bmp:
    case PictureKind::Gif: {
        QFile device;
        device.open(file.descriptor(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle);
        const QSize size = QImageReader(&device).size();
        device.close();
        how = QStringLiteral("checked");
        if (!size.isValid() || double(size.width()) * size.height() <= kCheckPixels) DecodeWithQt(file);
        return path;
    }
    case PictureKind::Tiff:
    case PictureKind::WebP:
        how = QStringLiteral("converted from %1").arg(file.kindName());
        return WriteConverted(DecodeWithQt(file), QByteArray(), folder);
    case PictureKind::Heif:
    case PictureKind::Avif: {
        QByteArray icc;
        how = QStringLiteral("converted from %1").arg(file.kindName());
        const YCbCrPicture planes = DecodeHeifYCbCr(file, &icc);
        if (planes.width > 0) {
            // JPEG's own colours and sampling: written as they are, with no conversion.
            NewFile out(folder, "jpg");
            try {
                jpeg::WriteYCbCr420(out.stream(), planes.width, planes.height, planes.planes, planes.strides,
                                    kPhotoQuality, icc);
            } catch (const std::runtime_error&) {
                throw AppError(apperr::kDiskFull);
            }
            return out.keep();
        }
        QImage image = DecodeHeif(file, QSize(), &icc);
        return WriteConverted(std::move(image), icc, folder);
    }
    }
    throw AppError(EngineText(engine::errtext::kNotAPicture));
}

}  // namespace

QString PreparePhoto(const QString& path, const QString& folder)
{
    QElapsedTimer clock;
    clock.start();
    QString how;
    const QString prepared = Prepare(path, folder, how);
    qCDebug(lcTiming).noquote() << QStringLiteral("photo %1 in %2 ms").arg(how).arg(clock.elapsed());
    return prepared;
}

}  // namespace marigal
