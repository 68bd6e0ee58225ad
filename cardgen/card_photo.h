#pragma once
// The photo as a design takes it: the places of each design's recipe, a
// copy of the photo made for each (photo/ makes them), and what the window
// and the command say of a photo that cannot be used or is small.

#include "photo/prepare.h"

#include <QString>

#include <vector>

namespace marigal {

// A design's photo places, in the order its recipe fills them: the rooms
// of its picture frames (a frame less Word's inner margins of a text box),
// or "Yellow Flower"'s room between its message and its meadow. Raises
// AppError for an index outside 0..5.
std::vector<PhotoPlace> PhotoPlaces(int designIndex);

// The copies of the photo at `path` for design `designIndex`'s places, made
// in `folder`. Raises AppError with the word processor's own texts for a
// file that is missing, unreadable, no picture or too large, and texts
// naming the file for one that is damaged or of a kind not read here.
std::vector<PreparedPhoto> PrepareCardPhoto(const QString& path, const QString& folder, int designIndex, PhotoFit fit);

// How much lower than its room (points) "Yellow Flower"'s photo is, kept at
// its own proportions; 0 for every other design and a photo that fills.
double PhotoShortfall(int designIndex, const std::vector<PreparedPhoto>& copies);

// The lowest resolution the photo prints at among its copies.
double LowestPpi(const std::vector<PreparedPhoto>& copies);

// What is said of a photo that prints below kSharpPpi.
QString SmallPhotoText(double ppi);

}  // namespace marigal
