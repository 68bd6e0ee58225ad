// Runs every test inside a QApplication on Qt's offscreen platform, so widget
// tests need no screen and no test ever waits on a real dialog. Each test
// program has a folder of its own for HOME, the XDG folders and TMPDIR, so
// that neither it nor a program it starts touches the user's settings,
// caches or office profiles; the folder goes when the program ends.
//   test_binary --print-run-folder   is a program of the tests' own: it
//   prints its run folder and ends without removing it, as a killed one would.

#include "cardgen/catalogue.h"
#include "common/files.h"
#include "engine/libreoffice/lo_backend.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include <unistd.h>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc == 2 && std::strcmp(argv[1], "--print-run-folder") == 0) {
        QCoreApplication app(argc, argv);
        std::printf("run folder: %s\n", qPrintable(marigal::RunFolder()));
        std::fflush(stdout);
        ::_exit(0);
    }

    // In the build's folder for tests, which the suite's final check watches;
    // run as another user, who cannot write there, in TMPDIR.
    QString root = QStringLiteral(MARIGAL_TEST_TMP);
    QDir().mkpath(root);
    if (!QFileInfo(root).isWritable()) root = QDir::tempPath();
    QTemporaryDir own(root + QStringLiteral("/%1-XXXXXX").arg(QFileInfo(QString::fromLocal8Bit(argv[0])).fileName()));
    if (!own.isValid()) {
        std::fprintf(stderr, "no folder for the test in %s\n", qPrintable(root));
        return 1;
    }
    // Others may pass through (not list it), for a test that runs a program
    // as another user in a folder of that user's in here.
    QFile::setPermissions(own.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther);
    const QString home = own.filePath(QStringLiteral("home"));
    const QString tmp = own.filePath(QStringLiteral("tmp"));
    QDir().mkpath(home);
    QDir().mkpath(tmp);
    QFile::setPermissions(tmp, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther);
    qputenv("HOME", QFile::encodeName(home));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home + QStringLiteral("/.config")));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(home + QStringLiteral("/.cache")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home + QStringLiteral("/.local/share")));
    qputenv("XDG_STATE_HOME", QFile::encodeName(home + QStringLiteral("/.local/state")));
    qputenv("TMPDIR", QFile::encodeName(tmp));

    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    // The build's designs, beside its programs.
    marigal::SetDesignFolder(QStringLiteral(MARIGAL_APP_DIR "/designs"));
    const int result = RUN_ALL_TESTS();
    // An office that agreed to quit may still be writing its profile in here.
    marigal::engine::WaitForQuittingOffices();
    return result;
}
