#include "picture.h"

#include "errors.h"
#include "files.h"

#include <QImageReader>

namespace marigal {

QImage LoadPicture(const QString& path)
{
    if (!FileExists(path)) throw AppError(apperr::kFileNotFound);
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);
    QImage image = reader.read();
    if (image.isNull()) throw AppError(apperr::kInvalidPicture);
    return image;
}

}  // namespace marigal
