#pragma once
// Decoding a picture file, the format told by its content.

#include <QImage>
#include <QSize>
#include <QString>

namespace marigal {

// Decodes a picture file, upright (a camera's orientation applied). Opened
// without blocking: a named pipe, a device or a socket is no picture, and
// neither is anything but a regular file. With `fitInto`, only as many
// pixels are decoded as a picture of that size needs (a JPEG of 200
// megapixels for a thumbnail costs a fraction of its full size); a picture of
// another format too large to decode whole is checked by its header only, and
// a plain stand-in of the fitting size is returned.
// Raises AppError: "File not found" when it is missing, "Permission denied"
// when it cannot be read, "Invalid picture" when it is no picture or a
// damaged one.
QImage LoadPicture(const QString& path, QSize fitInto = QSize());

}  // namespace marigal
