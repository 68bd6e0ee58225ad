#pragma once
// A photo made ready for a card. A Word 97 document holds JPEG, PNG, BMP and
// GIF pictures as they are, and keeps no turn of an inline picture; so a
// photo of another kind (HEIC, AVIF, WebP, TIFF), or one whose camera
// recorded it turned (a phone's portrait shot, stored across with an
// orientation tag), is converted once, at its full resolution and upright.

#include <QString>

namespace marigal {

// The file to hand the word processor for the photo at `path`: the user's
// own file where it can go as it is, otherwise a converted copy made in
// `folder` (the caller's working folder, which removes it with its other
// files): a JPEG for a photo (quality 92), a PNG for a picture with
// transparency. A JPEG is turned without loss where its size allows it,
// otherwise by its pixels with its own quantization, capped at quality 92.
// Every photo is read whole first, so a damaged one is never put on a card.
// Raises AppError with the word processor's texts for a file that is no
// picture, cannot be read or is too large, and texts naming the file for
// one that is damaged or of a kind not read here.
QString PreparePhoto(const QString& path, const QString& folder);

}  // namespace marigal
