#pragma once
// How the LibreOffice backend starts and drives its offices: apart from the
// backend's façade, so that the office's own session sees the options
// without the class above it.

#include <QSize>
#include <QString>

#include <chrono>

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
    // The address space an office may take: its own libraries take some
    // 700 MB, a card some hundreds more; a runaway document is stopped here
    // (0: no limit).
    unsigned long long memoryLimit = 2560ull << 20;
    // A network of its own, with nothing in it, where the system allows: for
    // an office that reads somebody else's file.
    bool ownNetwork = false;
};

}  // namespace marigal::engine
