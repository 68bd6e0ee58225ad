#include "picture.h"

#include "errors.h"

#include <QFile>
#include <QImageReader>

#include <cerrno>
#include <fcntl.h>
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
}  // namespace

QImage LoadPicture(const QString& path, QSize fitInto)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (path.isEmpty() || fd < 0) {
        const bool missing = path.isEmpty() || errno == ENOENT || errno == ENOTDIR;
        throw AppError(missing ? apperr::kFileNotFound : errno == EACCES || errno == EPERM
                                                             ? apperr::kPermissionDenied
                                                             : apperr::kInvalidPicture);
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        throw AppError(apperr::kInvalidPicture);
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) throw AppError(apperr::kInvalidPicture);

    QImageReader::setAllocationLimit(kDecodeLimitMb);
    QImageReader reader(&file);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    if (fitInto.isValid() && size.isValid() && (size.width() > fitInto.width() || size.height() > fitInto.height())) {
        // Only a JPEG is decoded at a fraction of its size; another format
        // too large to decode in full is taken on its header's word.
        if (reader.format() != "jpeg" && double(size.width()) * size.height() > kFullDecodePixels) {
            if (!reader.canRead()) throw AppError(apperr::kInvalidPicture);
            QImage stand(size.scaled(fitInto, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)), QImage::Format_RGB32);
            stand.fill(Qt::lightGray);
            return stand;
        }
        // The stored size, before any turn: fit whichever way it stands.
        QSize target = size.scaled(fitInto, Qt::KeepAspectRatio);
        if (reader.transformation() & QImageIOHandler::TransformationRotate90)
            target = size.scaled(fitInto.transposed(), Qt::KeepAspectRatio);
        reader.setScaledSize(target.expandedTo(QSize(1, 1)));
    }
    QImage image = reader.read();
    if (image.isNull()) throw AppError(apperr::kInvalidPicture);
    return image;
}

}  // namespace marigal
