#pragma once
// The card laid out on the printer's paper before it is sent: each page of the
// card's PDF on a sheet of its own, at its true size, so that no printing
// system fits it to the paper (and a Letter card on A4 neither grows nor
// shrinks). Lengths are in points, from a page's top left corner.

#include <QRectF>
#include <QSizeF>
#include <QString>

namespace marigal {

// Where a card's page goes on its sheet.
struct SheetPlacement {
    QSizeF sheet;          // the paper, turned the way the card fits it
    double scale = 1;      // 1: the card's true size
    QPointF origin;        // the card page's top left corner on the sheet
    bool cropMarks = false;
};

// The sheet for a card page of `page` size on `paper` (either way round).
// `content` is what the card's pages draw (all of them together); it decides
// where a page larger than the paper goes, and is not looked at otherwise.
SheetPlacement PlaceOnSheet(QSizeF page, QRectF content, QSizeF paper);

// True when a page of `page` size fits `paper` one way round or the other.
bool FitsOnPaper(QSizeF page, QSizeF paper);

// The paper a printing system names `media` ("A4", "Letter",
// "iso_a4_210x297mm"); empty when the name is not known.
QSizeF MediaSize(const QString& media);

// What every page of the PDF at `pdf` draws, together: the smallest box
// holding all that is not white. The whole page where nothing is drawn.
QRectF DrawnContent(const QString& pdf);

// Writes to `target` the card at `pdf` on sheets of `paper`, one for each of
// its pages, placed as PlaceOnSheet says, with crop marks where it says so.
// An empty `paper`: sheets of the card's own size. Raises AppError.
void ComposeSheets(const QString& pdf, QSizeF paper, const QString& target);

}  // namespace marigal
