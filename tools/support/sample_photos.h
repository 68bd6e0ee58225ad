#pragma once
// Photos as cameras and phones make them, for the benchmarks and the tests:
// a camera's orientation tag, HEIC and AVIF through libheif's encoders, and
// a fine pattern that shows any loss of sharpness.

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

namespace marigal::samples {

// A JPEG file with an Exif block telling `orientation` (1..8) put first.
QByteArray WithOrientation(const QByteArray& jpeg, int orientation);

// The pixels a camera stores for a scene seen upright, for `orientation`:
// the inverse of the turn a reader applies.
QImage StoredFor(const QImage& upright, int orientation);

// A checkerboard of `cell`-pixel squares in changing colours over a gradient.
QImage FinePattern(QSize size, int cell = 4);

enum class HeifCodec { Hevc, Av1 };
// Writes `image` as HEIC (HEVC) or AVIF (AV1), with a thumbnail as phones
// write one; false when libheif cannot.
bool WriteHeif(const QImage& image, const QString& path, HeifCodec codec, int quality = 90);

// Writes `image` as a phone writes a large HEIC: a grid of `tile` x `tile`
// HEVC tiles composed by a 'grid' item, with a thumbnail; false when libheif cannot.
bool WriteHeifGrid(const QImage& image, const QString& path, int tile = 512, int quality = 50);

// A photo `size` pixels large of a person in a park, seen from the front,
// the background out of focus; the face's oval (hairline to chin, cheek to
// cheek) fills `face`, which is about 1.3 times as high as wide in life. An
// empty `face` draws the park alone. A face detector finds the face from
// 80 pixels across.
QImage Portrait(QSize size, QRect face);

// The mean absolute difference of two pictures of one size, 0..1.
double MeanDifference(const QImage& a, const QImage& b);

}  // namespace marigal::samples
