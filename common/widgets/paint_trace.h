#pragma once
// The trace's moment a window is first seen.

#include <QString>

class QWidget;

namespace marigal {

// While the trace is on, logs "<name> painted" the first time `widget`
// paints after each time it is shown: when the user first sees it.
void TracePaintAfterShow(QWidget& widget, const QString& name);

}  // namespace marigal
