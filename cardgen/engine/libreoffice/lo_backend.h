#pragma once
// The word processor on Linux: LibreOffice, run headless in a private process
// per application object and driven over UNO. This header stays free of UNO
// so that the rest of the program builds without the office's SDK settings.

#include "backend.h"

#include <QSize>
#include <QString>
#include <QStringList>

#include <chrono>
#include <memory>
#include <utility>
#include <vector>

namespace marigal::engine {

struct LibreOfficeOptions {
    // The office launcher; empty: `soffice` on PATH, else the Debian location.
    QString sofficePath;
    // Where the reusable office profiles live; empty:
    // ($XDG_CACHE_HOME or ~/.cache)/marigal/office-profiles.
    QString profileRoot;
    // Range.CopyAsPicture draws the pages no finer than fits them into this
    // many pixels (and no finer than 300 dpi): the program asks for what its
    // preview keeps. Empty: 300 dpi.
    QSize pictureFit;
    // When no profile can be made under profileRoot: a second place for them.
    QString fallbackProfileRoot;
    // Start the launcher script even where the office binary could be started
    // directly (slower; for tests of that path).
    bool throughLauncher = false;
    // From launch until the office answers over its pipe, on a profile it
    // has used before (about half a second is usual) ...
    std::chrono::milliseconds startTimeout{std::chrono::seconds(15)};
    // ... and on a new one, which it first sets up (a few seconds, once).
    std::chrono::milliseconds firstStartTimeout{std::chrono::seconds(60)};
    // A single call into the office longer than this is taken for a hang: the
    // office is killed. The few calls that need longer say so where they are
    // made.
    std::chrono::milliseconds callTimeout{std::chrono::seconds(20)};
    // How long Quit waits for the office to end by itself before killing it.
    std::chrono::milliseconds quitTimeout{std::chrono::seconds(5)};
};

// Returns once every office that was asked to quit has ended and is cleaned
// up: an office that agreed to quit is left to write its profile while the
// program goes on.
void WaitForQuittingOffices();

// Kills every office of this program at once, their process groups whole:
// safe in a signal's handler, for a program that ends without waiting.
void KillAllOfficesNow() noexcept;

// The rows of a spreadsheet's sheet (the first when `sheet` is empty), each
// numbered as the spreadsheet numbers it and its cells as they show, read in
// an office of their own that has ended when this returns. Rows of empty
// cells are left out. Raises std::runtime_error with the reason.
std::vector<std::pair<int, QStringList>> ReadSpreadsheet(const LibreOfficeOptions& options, const QString& path,
                                                         const QString& sheet);

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
