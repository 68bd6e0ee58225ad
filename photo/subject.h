#pragma once
// Where a photo's subject is, so that a frame of other proportions cuts
// around it rather than through it: the faces a detector finds (with room
// for hair and chin), or else where the eye goes (detail, colour, skin).

#include <QImage>
#include <QRectF>
#include <QSize>

#include <vector>

namespace marigal {

struct Subject {
    QRectF area;  // in fractions of the picture's width and height
    int faces = 0;
};

// The faces on a small upright copy of a photo, in its pixels. Thread-safe.
std::vector<QRect> FindFaces(const QImage& picture);

// The subject of a small upright copy of a photo (about a thousand pixels
// across is plenty): its faces, or else the most eye-catching stretch.
Subject FindSubject(const QImage& picture);

// The largest window of `photo` with the proportions of `room`, placed so
// that it keeps as much of the subject as it can, centred on it, its corner
// on whole blocks (multiples of 16) where that keeps it inside.
QRect FillWindow(QSize photo, QSize room, const Subject& subject);

// The smallest window with the proportions of `room` that holds the whole
// of `photo`, with the photo in its middle (its corner on whole blocks).
QRect WholeWindow(QSize photo, QSize room);

}  // namespace marigal
