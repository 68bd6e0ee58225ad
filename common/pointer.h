#pragma once
// The window pointer: default, hourglass or custom (the hand). Both windows
// follow one rule: the hand over push buttons, the default elsewhere, and no
// change while the hourglass is up.

#include <QByteArray>
#include <QCursor>
#include <QImage>
#include <QPoint>
#include <QString>

#include <optional>

namespace marigal {

enum class MousePointer { Default = 0, Hourglass = 11, Custom = 99 };

inline MousePointer PointerOverButton(MousePointer current)
{
    return current == MousePointer::Hourglass ? current : MousePointer::Custom;
}

inline MousePointer PointerOverBackground(MousePointer current)
{
    return current == MousePointer::Hourglass ? current : MousePointer::Default;
}

// The cursor shown for a pointer setting; the custom one is the loaded hand
// image, or the platform's pointing hand when none was loaded.
QCursor CursorFor(MousePointer pointer, const std::optional<QCursor>& hand);

// Reads a pointer image in the Windows cursor format (.cur), hot spot
// included. Raises AppError "Invalid picture" for anything else.
QCursor LoadCursorFile(const QString& path);

// A Windows cursor file holding `image` (32-bit, up to 256 px) with its hot spot.
QByteArray EncodeCursorFile(const QImage& image, QPoint hotSpot);

}  // namespace marigal
