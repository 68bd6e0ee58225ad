#pragma once
// A WordArt title in its own proportions: a WordArt's letters are stretched
// to fill its shape, so the shape is made the shape of the text, its lines
// as the message has them, a long one wrapped, each centred.

#include <QSizeF>
#include <QString>
#include <QStringList>

namespace marigal {

struct WordArtLayout {
    QStringList lines;
    QSizeF size;  // within the box, in the box's units, in the text's own proportions
};

// The lines of `message` (its own line breaks kept, a long line wrapped at
// its blanks into as many lines as give the largest letters) and the
// largest size of their natural proportions, in `face`, that fits `box`.
// Needs a QGuiApplication; safe on any thread.
WordArtLayout LayOutWordArt(const QString& message, const QString& face, bool bold, QSizeF box);

}  // namespace marigal
