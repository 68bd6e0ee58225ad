#pragma once
// A photo made ready for its places on a card: for each place a copy of its
// proportions, cut around the photo's subject (or, when asked, the whole
// photo on a mat), upright, at full resolution, and recording the print
// resolution that makes it exactly as large as the place, so that the word
// processor sets it there as it is. A JPEG is cut without loss where its
// blocks allow; other pixels are written as a JPEG of quality 92 at least
// (a PNG where the photo has transparency).

#include "photo/picture.h"

#include <QColor>
#include <QSize>
#include <QString>

#include <vector>

namespace marigal {

enum class PhotoFit {
    Fill,   // the photo covers its place, cut around its subject
    Whole,  // the whole photo, in the middle of its place
};

// "fill" or "whole", as the command line and a list's column give it;
// false for anything else.
bool PhotoFitNamed(const QString& name, PhotoFit* fit);
QString PhotoFitName(PhotoFit fit);

// A place on a card for the photo: the room the word processor fits a
// picture into, and the mat that shows around a whole photo there (none:
// the whole photo keeps its own proportions, fitted into the room).
struct PhotoPlace {
    QSize room;  // 1/100 mm
    QColor mat = Qt::white;
};

// What was made for one place.
struct PreparedPhoto {
    QString path;     // a copy in the folder, for the caller to remove
    QSize size;       // the size it takes on the page, 1/100 mm
    double ppi = 0;   // the photo's own pixels per inch there
};

// A photo that prints below this many pixels per inch looks blurred.
inline constexpr double kSharpPpi = 150;

// One copy of the photo at `path` for each place, in `folder` (the
// caller's working folder). The photo is read whole first, so a damaged one
// is never put on a card. Raises PhotoError for a file that is missing,
// unreadable, no picture or too large; AppError with a text naming the file
// for one that is damaged or of a kind not read here, or "Disk full".
// Nothing it made is left when it raises.
std::vector<PreparedPhoto> PreparePhoto(const QString& path, const QString& folder,
                                        const std::vector<PhotoPlace>& places, PhotoFit fit);

}  // namespace marigal
