#pragma once
// Looking at a card's picture as its receiver would: where a photo of two
// known colours lies on it, how much of each place it covers, and whether
// its checkerboard's squares are still square.

#include <QImage>
#include <QRect>

#include <functional>
#include <vector>

namespace marigal::test {

// A photo made of squares of two colours not found on any design.
inline const QColor kPhotoInk[2] = {QColor(230, 20, 200), QColor(30, 30, 210)};
// Such a photo, `size` pixels, squares `cell` pixels across.
QImage CheckerPhoto(QSize size, int cell);
// True for a pixel of that photo, as a card shows it.
bool IsPhotoInk(QRgb pixel);

struct InkArea {
    QRect box;            // in the picture's pixels
    double filled = 0;    // how much of the box the photo covers
    double squareness = 0;  // its squares' width over their height
};

// The photo's areas on `picture` of at least `minPixels` pixels, largest first.
std::vector<InkArea> PhotoAreas(const QImage& picture, int minPixels);

}  // namespace marigal::test
