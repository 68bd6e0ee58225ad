#pragma once
// A Writer document as one picture: the office exports it to a PDF file in
// its own temporary folder, poppler draws the PDF's pages. One PDF export takes a fraction of the time
// the office's own picture export needs for a single page, and it keeps
// photos at their full resolution.

#include "engine/libreoffice/office_session.h"

#include <QString>
#include <QImage>
#include <QSize>

#include <com/sun/star/lang/XComponent.hpp>

namespace marigal::engine::lo {

// Renders every page of a loaded Writer document into one picture, pages side
// by side left to right on white, at `dpi` dots per inch, or at the lower
// resolution that makes the picture fit `fit` pixels when one is given; the
// picture records its resolution (dotsPerMeterX/Y) so a loader can tell its
// natural size.
// Leaves the document as it was (not even marked modified). Office failures
// raise as described at OfficeSession::call; a PDF the renderer cannot read,
// or a picture too large for memory, raises "Automation error".
// `dpi` must be positive and finite. With `keptPdf`, the PDF the picture was
// drawn from stays, in the office's temporary folder, and its path is set
// there; without, it is removed.
QImage RenderDocument(OfficeSession& session, const css::uno::Reference<css::lang::XComponent>& document,
                      double dpi, QSize fit = QSize(), QString* keptPdf = nullptr);

// The two steps of RenderDocument, apart for tests and measurements.
// The document as a PDF file at `path`: read by the renderer from the file,
// a large photo's bytes need not all be held in this program's memory.
void ExportPdf(OfficeSession& session, const css::uno::Reference<css::lang::XComponent>& document,
              const QString& path);

}  // namespace marigal::engine::lo
