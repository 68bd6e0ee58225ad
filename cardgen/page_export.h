#pragma once
// The card's picture for the preview: a fresh word processor instance opens
// the saved card, copies it as a picture to the clipboard, and the picture is
// written to the working folder's "temp.bmp".

#include "common/modal.h"
#include "engine/backend.h"

#include <QImage>
#include <QSize>
#include <QString>

#include <functional>

namespace marigal {

// Where the preview shows the picture: the viewport's inner size in twips,
// and the screen's resolution. The picture's natural size is made to fit it
// at zoom 1.0, and its pixels are kept at up to four times that size so the
// card stays sharp when zoomed in or on a high-resolution screen.
struct PictureFit {
    QSize twips;
    double screenDpi = 96;
};

// The picture's pixels: four times the viewport's, at the screen's resolution.
QSize PicturePixels(const PictureFit& fit);

QString PagePicturePath();  // the working folder's "temp.bmp"

// The picture the backend's application copied; where it copies to the
// clipboard, the clipboard's, tried up to 1000 times for about two seconds at
// most. A null image when there is none.
QImage GetClipboardPicture(engine::Backend& backend, int format);

// The picture ready for the file: scaled down to four times its natural size
// if larger, with the resolution recorded that gives that natural size.
QImage FitPicture(const QImage& picture, const PictureFit& fit);

// Steps 116–126 of the main window's "SaveDocAsJPG"; every failure is
// reported in the common error box and the next step runs.
void SaveDocAsJPG(engine::Backend& backend, Modal& modal, const QString& inFile, const PictureFit& fit);

}  // namespace marigal
