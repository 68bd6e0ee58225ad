#pragma once
// The cursors behind the pointer settings, and the hand's cursor file.

#include "common/pointer_rule.h"

#include <QByteArray>
#include <QCursor>
#include <QImage>
#include <QPoint>
#include <QString>

#include <initializer_list>
#include <optional>

class QEvent;
class QObject;

namespace marigal {

// The cursor shown for a pointer setting; the custom one is the loaded hand
// image, or the platform's pointing hand when none was loaded.
QCursor CursorFor(MousePointer pointer, const std::optional<QCursor>& hand);

// The pointer a mouse move over `watched` asks for under the windows' rule:
// the hand over one of `buttons`, the default where the move is on the
// widget's own background (not on a child); nothing otherwise.
std::optional<MousePointer> PointerForMove(QObject* watched, QEvent* event,
                                           std::initializer_list<const QObject*> buttons, MousePointer current);

// Reads a pointer image in the Windows cursor format (.cur), hot spot
// included. Raises AppError "Invalid picture" for anything else.
QCursor LoadCursorFile(const QString& path);

// A Windows cursor file holding `image` (32-bit, up to 256 px) with its hot spot.
QByteArray EncodeCursorFile(const QImage& image, QPoint hotSpot);

}  // namespace marigal
