// Marigal: photo greeting cards as Word documents.

#include "files.h"
#include "form1.h"
#include "lo_backend.h"
#include "modal.h"
#include "settings.h"
#include "startup.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Marigal"));

    marigal::QtModal modal;
    marigal::SettingsStore settings;
    marigal::engine::LibreOfficeBackend engine;

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
