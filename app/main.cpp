// Marigal: photo greeting cards as Word documents.

#include "files.h"
#include "form1.h"
#include "lo_backend.h"
#include "modal.h"
#include "settings.h"
#include "startup.h"

#include <QApplication>
#include <QSocketNotifier>

#include <csignal>
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

}  // namespace

int main(int argc, char* argv[])
{
    // A write past the file-size limit then fails with an error the program
    // reports ("Disk full"), instead of ending the program.
    std::signal(SIGXFSZ, SIG_IGN);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Marigal"));

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
