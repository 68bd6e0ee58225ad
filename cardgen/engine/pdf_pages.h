#pragma once
// A PDF's pages drawn into one picture in this program (poppler): the pages
// side by side, left to right, tops aligned, on white. Free of the office:
// the card's page picture and the command's PNG both come from here.

#include <QImage>
#include <QSize>
#include <QString>

namespace marigal::engine {

// At `dpi` dots per inch, or at the lower resolution that makes the picture
// fit `fit` pixels when one is given; the picture records its resolution.
// Raises EngineError("Automation error") for a PDF it cannot read or a
// picture too large for memory; `dpi` must be positive and finite.
QImage RenderPdf(const QString& path, double dpi, QSize fit = QSize());

}  // namespace marigal::engine
