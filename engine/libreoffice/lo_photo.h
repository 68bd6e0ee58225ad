#pragma once
// A photo for a card, as Word's AddPicture takes it: the file itself, read
// by the office, and shown upright. Nothing here decodes the photo's pixels
// in this program: a phone's photo of 50 or 200 megapixels is the office's
// to decode.

#include "engine/libreoffice/office_session.h"

#include <QImageIOHandler>
#include <QString>

#include <com/sun/star/awt/Size.hpp>
#include <com/sun/star/graphic/XGraphic.hpp>

namespace marigal::engine::lo {

struct PhotoFile {
    QString path;
    // What turns the stored pixels upright (a camera's orientation tag).
    QImageIOHandler::Transformations turn = QImageIOHandler::TransformationNone;
};

// Looks at a photo file without blocking (a named pipe or a device would
// block or never end) and without decoding it: only a regular file whose
// header is a picture's is taken. Raises EngineError: "The picture file
// could not be found.", a permission text, "...not a picture.", "...too
// large.".
PhotoFile InspectPhoto(const QString& path);

struct LoadedPhoto {
    css::uno::Reference<css::graphic::XGraphic> graphic;
    // Upright, in 1/100 mm: by its recorded resolution, or 96 dpi when it
    // records none.
    css::awt::Size naturalSize;
};

// The photo as the office reads it, turned upright where its orientation
// tag asks (the office makes the upright copy: a Word document keeps no turn
// of an inline picture). Runs inside a session call.
LoadedPhoto LoadPhoto(OfficeSession& session, const PhotoFile& photo);

}  // namespace marigal::engine::lo
