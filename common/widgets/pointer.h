#pragma once
// The cursors behind the pointer settings, and the hand's cursor file.

#include "common/pointer_rule.h"

#include <QByteArray>
#include <QCursor>
#include <QImage>
#include <QPoint>
#include <QString>

#include <optional>

namespace marigal {

// The cursor shown for a pointer setting; the custom one is the loaded hand
// image, or the platform's pointing hand when none was loaded.
QCursor CursorFor(MousePointer pointer, const std::optional<QCursor>& hand);

// Reads a pointer image in the Windows cursor format (.cur), hot spot
// included. Raises AppError "Invalid picture" for anything else.
QCursor LoadCursorFile(const QString& path);

// A Windows cursor file holding `image` (32-bit, up to 256 px) with its hot spot.
QByteArray EncodeCursorFile(const QImage& image, QPoint hotSpot);

}  // namespace marigal
