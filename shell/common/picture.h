#pragma once
// Decoding a picture file, the format told by its content.

#include <QImage>
#include <QString>

namespace marigal {

// Decodes the whole file, upright (a camera's orientation applied).
// Raises AppError: "File not found" when it is missing, "Invalid picture"
// when it is no picture or a damaged one.
QImage LoadPicture(const QString& path);

}  // namespace marigal
