// The program's command line: help and version without a display and
// without an office, anything else refused in one line.

#include "app/screen_scale.h"

#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

namespace {

struct Ran {
    int status;
    QString out, err;
};

// The real program, where no window could be made: a display it cannot
// reach, so making the GUI application would end it at once.
Ran RunProgram(const QStringList& args)
{
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.insert("QT_QPA_PLATFORM", "xcb");
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(MARIGAL_APP_DIR "/marigal"), args);
    program.waitForFinished(20000);
    return {program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1,
            QString::fromUtf8(program.readAllStandardOutput()), QString::fromUtf8(program.readAllStandardError())};
}

}  // namespace

TEST(CommandLine, HelpAndVersionNeedNoDisplayOthersAreRefused)
{
    for (const char* help : {"--help", "-h"}) {
        const Ran r = RunProgram({help});
        EXPECT_EQ(r.status, 0) << r.err.toStdString();
        EXPECT_TRUE(r.out.startsWith("Usage: marigal")) << r.out.toStdString();
    }
    const Ran version = RunProgram({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_TRUE(version.out.startsWith("marigal " MARIGAL_VERSION)) << version.out.toStdString();

    for (const QStringList& args : {QStringList{"--bogus"}, QStringList{"photo.jpg"}, QStringList{"--help", "-x"}}) {
        const Ran r = RunProgram(args);
        EXPECT_EQ(r.status, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(r.out.isEmpty());
        EXPECT_EQ(r.err.count('\n'), 1) << r.err.toStdString();
        EXPECT_TRUE(r.err.startsWith("marigal: ")) << r.err.toStdString();
    }
}

// A 192-dpi X screen that declares no Xft.dpi shows the windows at twice the
// pixels; a declared resolution, an ordinary screen and an unknown size
// leave Qt's own scale.
TEST(ScreenScale, AnUndeclaredHighResolutionScreenIsScaledInWholeSteps)
{
    EXPECT_EQ(marigal::UndeclaredScreenScale("", 1920, 254), 2);          // 192 dpi
    EXPECT_EQ(marigal::UndeclaredScreenScale("", 3840, 344), 3);          // 284 dpi
    EXPECT_EQ(marigal::UndeclaredScreenScale("Xcursor.size: 24\nXft.dpi:\t192\n", 1920, 254), 1);
    EXPECT_EQ(marigal::UndeclaredScreenScale("", 1920, 508), 1);          // 96 dpi
    EXPECT_EQ(marigal::UndeclaredScreenScale("", 2560, 471), 1);          // 138 dpi: no blurring fraction
    EXPECT_EQ(marigal::UndeclaredScreenScale("", 1920, 0), 1);
}
