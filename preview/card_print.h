#pragma once
// Printing the card: its PDF, as the office drew it, laid out at its true size
// on the chosen paper and handed to the desktop's printing system (CUPS) with
// what the print dialog chose, so that the print is as sharp as the printer
// allows, never a picture of the screen.

#include <QString>

namespace marigal {

struct PrintChoice {
    QString printer;       // the queue's name
    int copies = 1;
    int fromPage = 0;      // 0: every page
    int toPage = 0;
    QString media;         // the paper, as CUPS names it ("A4", "Letter"); empty: the printer's own
    QString title;         // the job's name in the queue
};

// The printers the printing system offers; none where it has none or cannot
// be reached.
bool AnyPrinter();

// Sends `pdf` as one job, each page on a sheet of the chosen paper (the
// printer's own when none is chosen); returns its job id. Raises AppError
// when the sheets cannot be made, and with the printing system's reason when
// the job is refused.
int PrintPdf(const QString& pdf, const PrintChoice& choice);

}  // namespace marigal
