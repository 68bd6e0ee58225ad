#pragma once
// The word processor on Linux: LibreOffice, run headless in a private process
// per application object and driven over UNO. This header stays free of UNO
// so that the rest of the program builds without the office's SDK settings.

#include "engine/backend.h"
#include "engine/libreoffice/lo_options.h"

#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>

#include <memory>
#include <utility>
#include <vector>

namespace marigal::engine {

// Returns once every office that was asked to quit has ended and is cleaned
// up: an office that agreed to quit is left to write its profile while the
// program goes on.
void WaitForQuittingOffices();

// Kills every office of this program at once, their process groups whole:
// safe in a signal's handler, for a program that ends without waiting.
void KillAllOfficesNow() noexcept;

// A sheet larger than this is not read: no list of guests is, and its cells
// would take the office gigabytes.
inline constexpr int kMostSheetRows = 100000;
inline constexpr int kMostSheetColumns = 256;

// The rows of a spreadsheet's sheet (the first when `sheet` is empty), each
// numbered as the spreadsheet numbers it and its cells as they show (only
// the columns whose header is one of `columns`, when given), read in an
// office of their own, with a network of its own where the system allows
// one, that has ended when this returns. Rows of empty cells are left out.
// Raises std::runtime_error with the reason ("the sheet is too large (…)",
// "the office stopped while reading it", …).
std::vector<std::pair<int, QStringList>> ReadSpreadsheet(const LibreOfficeOptions& options, const QString& path,
                                                         const QString& sheet, const QStringList& columns = {});

// A PDF's pages drawn into one picture in this program (poppler), free of the
// office: the pages side by side, left to right, tops aligned, on white. The
// card's page picture and the command's PNG both come from here.
// At `dpi` dots per inch, or at the lower resolution that makes the picture
// fit `fit` pixels when one is given; the picture records its resolution.
// Raises EngineError("Automation error") for a PDF it cannot read or a
// picture too large for memory; `dpi` must be positive and finite.
QImage RenderPdf(const QString& path, double dpi, QSize fit = QSize());

class LibreOfficeBackend : public Backend {
public:
    explicit LibreOfficeBackend(LibreOfficeOptions options = {});
    // Waits for the offices still on their way out (their profiles written).
    ~LibreOfficeBackend() override;

    // "Word.Application" starts an office and returns its application object;
    // anything else, or an office that does not start, raises
    // "ActiveX component can't create object".
    Object create(const std::u16string& progId) override;

    const LibreOfficeOptions& options() const { return options_; }

    // What Range.CopyAsPicture of this backend's offices drew last.
    CopiedPicture takeCopiedPicture() override;

    // Kills every office this backend started that still runs, or is still
    // starting, and starts none any more: a call blocked in one returns at
    // once with an error. Safe from any thread (a signal's handling, while
    // other threads drive the offices).
    void abortAll();

private:
    struct Started;
    LibreOfficeOptions options_;
    std::shared_ptr<Started> started_;
};

}  // namespace marigal::engine
