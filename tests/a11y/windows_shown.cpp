// The test's own program: the main window and the preview, as a user meets
// them once a card is made, on the screen and buses its environment names.
// The card is made by the start button's real run with the fake office; the
// main window is shown again beside the preview so both can be read. Prints
// "shown" when both are up, and ends when its standard input closes.
//   windows_shown DESIGN_FOLDER

#include "cardgen/catalogue.h"
#include "engine/fake/recording_fake.h"
#include "preview/form2.h"
#include "shell/form1.h"
#include "tests/support/scripted_modal.h"
#include "tests/support/temp_env.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QImage>
#include <QSocketNotifier>

#include <cstdio>
#include <unistd.h>

using namespace marigal;

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: windows_shown DESIGN_FOLDER\n");
        return 2;
    }
    SetDesignFolder(QString::fromLocal8Bit(argv[1]));
    const QDir home(QDir::homePath());
    const QString appFolder = home.filePath(QStringLiteral("app"));
    QDir().mkpath(appFolder);

    SettingsStore settings(home.filePath(QStringLiteral("Marigal.conf")));
    settings.SaveSetting(QStringLiteral("OptTemplate"), QStringLiteral("1"));  // Clouds
    settings.SaveSetting(QStringLiteral("Text1"), QStringLiteral("Happy birthday"));
    // A photo, so the main window's picture holder holds one.
    settings.SaveSetting(QStringLiteral("txtSubjectPic"), test::WriteJpeg(home.filePath(QStringLiteral("photo.jpg"))));

    // The office's part: SaveAs writes the card, CopyAsPicture gives its page.
    engine::RecordingFake engine;
    engine.onCall = [](const QString& line, const engine::Args& args) {
        if (line.contains(QStringLiteral(".SaveAs("))) test::WriteFile(args[0].value.toQString(), "card");
        if (line.endsWith(QStringLiteral(".Range.CopyAsPicture()"))) {
            QImage page(300, 420, QImage::Format_RGB32);
            page.fill(QColor(250, 240, 220));
            QGuiApplication::clipboard()->setImage(page);
        }
    };
    test::ScriptedModal modal;
    Form1Services svc;
    svc.modal = &modal;
    svc.settings = &settings;
    svc.engine = &engine;
    svc.appFolder = appFolder;
    svc.drawMakerSite = [] { return 50; };
    svc.openUrl = [](const QString&) {};
    svc.endApplication = [] {};
    Form1 main(svc);
    main.Form_Load();
    main.ShowCentred();
    main.PushButton6_Click();
    if (!main.PreviewLoaded() || !main.Preview().isVisible()) {
        std::fprintf(stderr, "no card in the preview\n");
        for (const QString& box : modal.errorBoxes()) std::fprintf(stderr, "%s\n", qPrintable(box));
        return 1;
    }
    main.show();

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char c;
        if (::read(STDIN_FILENO, &c, 1) <= 0) app.quit();
    });
    std::printf("shown\n");
    std::fflush(stdout);
    return app.exec();
}
