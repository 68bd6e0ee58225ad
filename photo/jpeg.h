#pragma once
// JPEG files through libjpeg: what a file's header says, a strict reading
// that tells a damaged file from a whole one, turning a photo's pixels
// upright, and writing pixels out as a JPEG. libjpeg's errors and warnings
// never reach the terminal: a damaged stream is an exception.

#include <QByteArray>
#include <QColor>
#include <QRect>
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

// The print resolution a file records, in pixels per inch across and
// down: what gives a picture its size on the page.
struct Density {
    int x = 0, y = 0;
};

// The same block for a copy whose pixels stand upright: orientation 1, and
// `density` where it records a resolution.
QByteArray ExifForCopy(QByteArray app1, Density density);

// A whole JPEG file made a copy's: each Exif block as ExifForCopy makes it,
// and a JFIF header (added where there is none) telling `density`.
QByteArray Restamped(const QByteArray& file, Density density);

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

// The part of a photo a card takes, in its upright pixels: a crop inside
// it, or a larger area with the photo in it and a mat of `mat` around it.
// Its corner falls on whole blocks (multiples of 16) and, with the sampling
// of every JPEG, keeps the colours' samples in step.
struct Window {
    QRect rect;
    QColor mat = Qt::white;
    // Written at 1/shrink of its size, each pixel the mean of the ones it
    // stands for: a photo far larger than any print needs.
    int shrink = 1;
};

// Writes `source` (read from its start) to `target`: the window of its
// pixels turned upright as Exif orientation `orientation` asks, as a JPEG
// of the same components and sampling, quantized as finely as `source` was
// but never more coarsely than `quality` asks; its other segments (the
// colour profile, the Exif block, now telling orientation 1 and
// `density`) go along. Decoded a band at a time into the components' own
// planes: about 1.5 bytes a pixel for a camera's photo. Raises Damaged, or
// std::runtime_error when the target cannot be written.
void Reframe(std::FILE* source, std::FILE* target, int orientation, const Window& window, Density density,
             int quality);

// The window cut out of the stored blocks without decoding them (libjpeg-
// turbo's lossless transform, turned as `orientation` asks), with
// `density` recorded: false, with nothing written, when the window's
// corner does not fall on whole blocks or reaches beyond the photo, or a
// turn would bring blocks cut at the photo's edge into the window.
// `file` is the whole JPEG. Raises Damaged, or std::runtime_error when the
// target cannot be written.
bool CropLosslessly(const QByteArray& file, int orientation, const QRect& window, Density density,
                    const QString& target);

// Memory the lossless cut of a picture of this header takes, in bytes.
double LosslessCost(const Header& header, qint64 fileBytes);

// Writes a picture of `width` x `height` given as the three planes of
// 8-bit YCbCr with chroma at half size both ways (JPEG's own colours and
// sampling: nothing to convert), its window, with `iccProfile` if any.
// Raises std::runtime_error when it cannot be written.
void WriteYCbCr420(std::FILE* target, int width, int height, const unsigned char* const planes[3],
                   const int strides[3], const Window& window, Density density, int quality,
                   const QByteArray& iccProfile);

// Writes `height` rows of 8-bit RGB (`row(y)` gives row y, `width` * 3
// bytes) to `target` as a JPEG of `quality`, with `iccProfile` if any.
// Raises std::runtime_error when it cannot be written.
void WriteRgb(std::FILE* target, int width, int height, const std::function<const unsigned char*(int)>& row,
              Density density, int quality, const QByteArray& iccProfile);

}  // namespace marigal::jpeg
