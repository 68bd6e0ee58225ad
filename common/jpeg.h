#pragma once
// JPEG files through libjpeg: what a file's header says, a strict reading
// that tells a damaged file from a whole one, turning a photo's pixels
// upright, and writing pixels out as a JPEG. libjpeg's errors and warnings
// never reach the terminal: a damaged stream is an exception.

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

#include <cstdio>
#include <functional>
#include <stdexcept>

namespace marigal::jpeg {

// The stream is cut short or corrupt; what() is libjpeg's own reason.
class Damaged : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The orientation an Exif block (an APP1 segment's data, "Exif\0\0" first)
// asks for: 1 to 8 as the Exif standard numbers them, 1 when it names none.
int ExifOrientation(const QByteArray& app1);

// The same block, telling orientation 1: for pixels that have been turned.
QByteArray WithUprightOrientation(QByteArray app1);

// Every Exif block of a whole JPEG file in memory set to orientation 1.
void MarkUpright(unsigned char* file, size_t size);

struct Header {
    QSize size;  // as stored, before any turn
    int orientation = 1;
    int components = 0;
    bool progressive = false;
};

// The header of the JPEG stream in `file` (read from its start). Raises
// Damaged when it is no JPEG header.
Header ReadHeader(std::FILE* file);

// Reads the whole stream of `file`, so that a cut or a corrupt stretch is
// found, and returns the picture at 1/`scale` of its size (1, 2, 4 or 8;
// at 8 hardly more than the stream's decoding is done), as stored, not
// turned. Raises Damaged.
QImage Decode(std::FILE* file, int scale);

// Writes `source` (read from its start) to `target` with its pixels turned
// as Exif orientation `orientation` asks, as a JPEG of the same components
// and sampling, quantized as finely as `source` was but never more coarsely
// than `quality` asks; its other segments (the colour profile, the
// Exif block, now telling orientation 1) go along. Decoded a band at a time
// into the components' own planes: about 1.5 bytes a pixel for a camera's
// photo. Raises Damaged, or std::runtime_error when the target cannot be
// written.
void TurnByPixels(std::FILE* source, std::FILE* target, int orientation, int quality);

// The turn without any loss (libjpeg-turbo's transform of the stored
// blocks), when the picture's size allows it: false, with nothing written,
// when its edges do not fall on whole blocks. `file` is the whole JPEG.
// Raises Damaged, or std::runtime_error when the target cannot be written.
bool TurnLosslessly(const QByteArray& file, int orientation, const QString& target);

// Memory the lossless turn of a picture of this header takes, in bytes.
double LosslessTurnCost(const Header& header, qint64 fileBytes);

// Writes a picture of `width` x `height` given as the three planes of
// 8-bit YCbCr with chroma at half size both ways (JPEG's own colours and
// sampling: nothing to convert), with `iccProfile` if any. Raises
// std::runtime_error when it cannot be written.
void WriteYCbCr420(std::FILE* target, int width, int height, const unsigned char* const planes[3],
                   const int strides[3], int quality, const QByteArray& iccProfile);

// Writes `height` rows of 8-bit RGB (`row(y)` gives row y, `width` * 3
// bytes) to `target` as a JPEG of `quality`, with `iccProfile` if any.
// Raises std::runtime_error when it cannot be written.
void WriteRgb(std::FILE* target, int width, int height, const std::function<const unsigned char*(int)>& row,
              int quality, const QByteArray& iccProfile);

}  // namespace marigal::jpeg
