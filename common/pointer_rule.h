#pragma once
// The window pointer: default, hourglass or custom (the hand). Both windows
// follow one rule: the hand over push buttons, the default elsewhere, and no
// change while the hourglass is up.

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

}  // namespace marigal
