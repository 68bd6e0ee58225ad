// Marigal: photo greeting cards as Word documents.

#include "app/screen_scale.h"
#include "common/files.h"
#include "common/modal.h"
#include "common/settings.h"
#include "common/startup.h"
#include "common/widgets/qt_modal.h"
#include "engine/libreoffice/lo_backend.h"
#include "shell/form1.h"

#include <QApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <string>
#include <memory>

#include <fcntl.h>
#include <unistd.h>

namespace {

// The end of the desktop session (SIGTERM, SIGHUP) and Ctrl+C reach the
// program as a byte on this pipe, so that it ends as closing its window
// does: its offices quit and its working files go.
int endRequests[2] = {-1, -1};

void RequestEnd(int)
{
    const char byte = 1;
    (void)!::write(endRequests[1], &byte, 1);
}

const char kHelp[] =
    "Usage: marigal [--help | --version]\n"
    "\n"
    "Makes photo greeting cards as Word documents: pick one of six designs, a\n"
    "photo and a message, see the card in a preview, and save it as a Word\n"
    "97-2003 document (.doc). LibreOffice does the document work, in private\n"
    "offices of its own that Marigal starts and ends.\n"
    "\n"
    "Options:\n"
    "  -h, --help     show this help and exit\n"
    "      --version  show the version and exit\n"
    "\n"
    "Files:\n"
    "  ~/.config/Quenlow/Marigal.conf   the last inputs, kept at every change\n"
    "  ~/.cache/marigal/                the offices' profiles\n"
    "  $TEMP or the system's temporary folder: working files, removed at the end\n"
    "\n"
    "Warnings go to standard error; for more, run with\n"
    "  QT_LOGGING_RULES=\"marigal.*.info=true\"\n"
    "See marigal(1).\n";

// Read before the window system is touched: help and version need no
// display and start no office. Returns the exit status when the program is
// to end here, -1 to go on.
int ReadCommandLine(int argc, char* argv[])
{
    bool help = false, version = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            help = true;
        } else if (arg == "--version") {
            version = true;
        } else {
            std::fprintf(stderr, "marigal: %s '%s' (see marigal --help)\n",
                         arg.size() > 1 && arg[0] == '-' ? "unknown option" : "unexpected argument", arg.c_str());
            return 2;
        }
    }
    if (help) std::fputs(kHelp, stdout);
    else if (version) std::printf("marigal %s\n", MARIGAL_VERSION);
    return help || version ? 0 : -1;
}

}  // namespace

int main(int argc, char* argv[])
{
    if (const int status = ReadCommandLine(argc, argv); status >= 0) return status;
    // A write past the file-size limit then fails with an error the program
    // reports ("Disk full"), instead of ending the program.
    std::signal(SIGXFSZ, SIG_IGN);
    marigal::ScaleForUndeclaredHighResolution();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Marigal"));
    QApplication::setApplicationVersion(QStringLiteral(MARIGAL_VERSION));
    // The desktop entry's name: a running window shows the menu's icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(MARIGAL_APP_ID));

    marigal::QtModal modal;
    marigal::SettingsStore settings;
    marigal::engine::LibreOfficeOptions office;
    try {
        // Made now, which clears what killed programs left there.
        marigal::RunFolder();
        // Where office profiles go when the cache folder cannot take them;
        // beside this program's run folder, so the next program reuses them.
        office.fallbackProfileRoot = marigal::WorkingFolder() + QStringLiteral("/marigal-office-profiles");
    } catch (const std::exception&) {
        // No working folder: each step that needs one reports it.
    }
    // The office draws the card's picture as finely as the preview keeps it.
    office.pictureFit = marigal::PicturePixels(marigal::Form1::PreviewFit());
    marigal::engine::LibreOfficeBackend engine(office);
    // Whatever working file is left when the program ends goes with it.
    struct RunFolderRemover {
        ~RunFolderRemover() { marigal::RemoveRunFolders(); }
    } removeRunFolders;

    bool ended = false;
    marigal::Form1Services services;
    services.modal = &modal;
    services.settings = &settings;
    services.engine = &engine;
    services.appFolder = marigal::ApplicationFolder();
    services.drawMakerSite = marigal::DrawOneToHundred;
    services.openUrl = marigal::OpenInBrowser;
    // Ending the application takes every window with it, hidden ones included.
    services.endApplication = [&ended] {
        ended = true;
        QCoreApplication::exit(0);
    };

    std::unique_ptr<QSocketNotifier> ending;
    if (::pipe2(endRequests, O_CLOEXEC | O_NONBLOCK) == 0) {
        ending = std::make_unique<QSocketNotifier>(endRequests[0], QSocketNotifier::Read);
        QObject::connect(ending.get(), &QSocketNotifier::activated, [&] {
            char bytes[16];
            while (::read(endRequests[0], bytes, sizeof bytes) > 0) {
            }
            services.endApplication();
        });
        struct sigaction request {};
        request.sa_handler = RequestEnd;
        for (int sig : {SIGTERM, SIGHUP, SIGINT}) ::sigaction(sig, &request, nullptr);
    }

    marigal::Form1 form(services);
    form.Form_Load();
    if (ended) return 0;  // ended during start-up: no window is ever shown
    form.ShowCentred();
    return app.exec();
}
