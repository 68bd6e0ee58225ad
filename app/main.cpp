// Marigal: photo greeting cards as Word documents.

#include "files.h"
#include "form1.h"
#include "lo_backend.h"
#include "modal.h"
#include "settings.h"
#include "startup.h"

#include <QApplication>

#include <csignal>

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
        // Where office profiles go when the cache folder cannot take them;
        // beside this program's run folder, so the next program reuses them.
        office.fallbackProfileRoot = marigal::WorkingFolder() + QStringLiteral("/marigal-office-profiles");
    } catch (const std::exception&) {
        // No working folder either: the profile message says so.
    }
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

    marigal::Form1 form(services);
    form.Form_Load();
    if (ended) return 0;  // ended during start-up: no window is ever shown
    form.ShowCentred();
    return app.exec();
}
