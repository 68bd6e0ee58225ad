// The start-up availability check against a real office, and without one.

#include "cardgen/availability.h"
#include "engine/libreoffice/lo_backend.h"
#include "tests/support/scripted_modal.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace marigal;

namespace {
// Offices this test started still running, by their private pipe, which
// carries the id of the program that started it.
int OfficesRunning()
{
    const QByteArray pipe = QStringLiteral("pipe,name=marigal-%1-").arg(::getpid()).toUtf8();
    int count = 0;
    for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (pid.toInt() > 0 && cmdline.open(QIODevice::ReadOnly) && cmdline.readAll().contains(pipe)) ++count;
    }
    return count;
}
}  // namespace

TEST(CheckWordInstance, WithTheOfficePresentLeavesNothingRunning)
{
    const int before = OfficesRunning();
    engine::LibreOfficeBackend backend;
    test::ScriptedModal modal;
    int ended = 0;
    CheckWordInstance(backend, modal, "Marigal", [&] { ++ended; });
    EXPECT_EQ(ended, 0);
    EXPECT_TRUE(modal.messages.empty());
    engine::WaitForQuittingOffices();
    EXPECT_EQ(OfficesRunning(), before);
}

TEST(CheckWordInstance, WithoutAnOfficeShowsTheMessageAndEnds)
{
    QTemporaryDir dir;
    engine::LibreOfficeOptions options;
    options.sofficePath = dir.filePath("no-office/soffice");
    engine::LibreOfficeBackend backend(options);
    test::ScriptedModal modal;
    int ended = 0;
    QElapsedTimer clock;
    clock.start();
    CheckWordInstance(backend, modal, "Marigal", [&] { ++ended; });
    EXPECT_LT(clock.elapsed(), 10000);  // a missing office is known at once, not after a time-out
    EXPECT_EQ(ended, 1);
    ASSERT_EQ(modal.messages.size(), 1u);
    EXPECT_EQ(modal.messages[0].text, WordUnavailableMessage());
    EXPECT_EQ(modal.messages[0].caption, "Marigal");
    EXPECT_EQ(modal.messages[0].icon, MsgIcon::None);
}

TEST(CheckWordInstance, ProfilesGoToTheWorkingFolderOrTheMessageSaysWhyNot)
{
    // A path below a plain file can be made by no one, root included.
    QTemporaryDir dir;
    QFile(dir.filePath("plain")).open(QIODevice::WriteOnly);
    engine::LibreOfficeOptions options;
    options.profileRoot = dir.filePath("plain/profiles");
    options.fallbackProfileRoot = dir.filePath("work/office-profiles");
    {
        engine::LibreOfficeBackend backend(options);
        test::ScriptedModal modal;
        int ended = 0;
        CheckWordInstance(backend, modal, "Marigal", [&] { ++ended; });
        EXPECT_EQ(ended, 0);
        EXPECT_TRUE(modal.messages.empty());
        EXPECT_TRUE(QFileInfo::exists(dir.filePath("work/office-profiles/p0/user/registrymodifications.xcu")));
    }
    options.fallbackProfileRoot = dir.filePath("plain/too");
    engine::LibreOfficeBackend backend(options);
    test::ScriptedModal modal;
    int ended = 0;
    CheckWordInstance(backend, modal, "Marigal", [&] { ++ended; });
    EXPECT_EQ(ended, 1);
    ASSERT_EQ(modal.messages.size(), 1u);
    const QString text = modal.messages[0].text;
    EXPECT_NE(text, WordUnavailableMessage());
    EXPECT_TRUE(text.contains(dir.filePath("plain/profiles") + ": Not a directory")) << text.toStdString();
    EXPECT_TRUE(text.contains(dir.filePath("plain/too") + ": Not a directory")) << text.toStdString();
    EXPECT_EQ(OfficesRunning(), 0);
}
