// Working files never land in a folder that someone else can write to.

#include "common/files.h"
#include "tests/support/temp_env.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace marigal;
using test::ScopedEnv;

namespace {
mode_t ModeOf(const QString& path)
{
    struct stat st {};
    ::lstat(QFile::encodeName(path).constData(), &st);
    return st.st_mode & 07777;
}

bool Owned(const QString& path)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && st.st_uid == ::geteuid();
}
}  // namespace

TEST(WorkingFolder, UsesAPrivateTempVerbatim)
{
    QTemporaryDir dir;
    ::chmod(QFile::encodeName(dir.path()).constData(), 0700);
    ScopedEnv temp("TEMP", dir.path().toLocal8Bit());
    EXPECT_EQ(WorkingFolder(), dir.path());
    EXPECT_TRUE(RunFolder().startsWith(dir.path() + "/marigal-run-")) << RunFolder().toStdString();
    EXPECT_EQ(WorkPath("template.dot"), RunFolder() + "/template.dot");
}

TEST(WorkingFolder, MakesAPrivateFolderInsideASharedTemp)
{
    QTemporaryDir shared;
    ::chmod(QFile::encodeName(shared.path()).constData(), 01777);  // as /tmp
    ScopedEnv temp("TEMP", shared.path().toLocal8Bit());
    const QString folder = WorkingFolder();
    EXPECT_NE(folder, shared.path());
    EXPECT_TRUE(folder.startsWith(shared.path() + "/"));
    EXPECT_EQ(ModeOf(folder), 0700u);
    EXPECT_TRUE(Owned(folder));
    EXPECT_EQ(WorkingFolder(), folder);  // stable for the whole process
}

TEST(WorkingFolder, FallsBackToTheSystemTempWhenTempIsUnsetOrBogus)
{
    QTemporaryDir sys;
    ::chmod(QFile::encodeName(sys.path()).constData(), 01777);
    ScopedEnv tmpdir("TMPDIR", sys.path().toLocal8Bit());
    {
        ScopedEnv temp("TEMP", std::nullopt);
        const QString folder = WorkingFolder();
        EXPECT_TRUE(folder.startsWith(sys.path() + "/")) << folder.toStdString();
        EXPECT_EQ(ModeOf(folder), 0700u);
    }
    {
        ScopedEnv temp("TEMP", QByteArray("/no/such/folder"));
        EXPECT_TRUE(WorkingFolder().startsWith(sys.path() + "/"));
    }
}

TEST(WorkingFolder, NeverUsesAPlantedFolderOrLink)
{
    QTemporaryDir shared, elsewhere;
    ::chmod(QFile::encodeName(shared.path()).constData(), 01777);
    const QString fixed = shared.path() + "/marigal-" + QString::number(::geteuid());
    // Someone made the fixed name a link to a folder of their choosing.
    ASSERT_TRUE(QFile::link(elsewhere.path(), fixed));
    ScopedEnv temp("TEMP", shared.path().toLocal8Bit());
    const QString folder = WorkingFolder();
    EXPECT_NE(folder, fixed);
    EXPECT_FALSE(folder.startsWith(elsewhere.path()));
    EXPECT_EQ(ModeOf(folder), 0700u);
    QFile::remove(fixed);
}

TEST(WorkingFolder, GroupWritableTempIsNotPrivate)
{
    QTemporaryDir dir;
    ::chmod(QFile::encodeName(dir.path()).constData(), 0770);
    ScopedEnv temp("TEMP", dir.path().toLocal8Bit());
    EXPECT_NE(WorkingFolder(), dir.path());
}

TEST(WorkingFolder, AReadOnlyTempOfTheUsersOwnIsNotUsed)
{
    if (::geteuid() == 0) {
        // Root writes into a read-only folder all the same: the test runs
        // again as an ordinary user, in a folder of that user's.
        QTemporaryDir dir;
        ASSERT_EQ(::chown(QFile::encodeName(dir.path()).constData(), 65534, 65534), 0);
        QProcess user;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TMPDIR", dir.path());
        user.setProcessEnvironment(env);
        user.start("setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups", QCoreApplication::applicationFilePath(),
                               "--gtest_filter=WorkingFolder.AReadOnlyTempOfTheUsersOwnIsNotUsed"});
        ASSERT_TRUE(user.waitForFinished(30000));
        const QByteArray out = user.readAllStandardOutput() + user.readAllStandardError();
        EXPECT_EQ(user.exitCode(), 0) << out.toStdString();
        EXPECT_TRUE(out.contains("[  PASSED  ] 1 test")) << out.toStdString();
        return;
    }
    QTemporaryDir dir;
    ::chmod(QFile::encodeName(dir.path()).constData(), 0500);
    ScopedEnv temp("TEMP", dir.path().toLocal8Bit());
    const QString folder = WorkingFolder();
    EXPECT_NE(folder, dir.path());
    EXPECT_EQ(ModeOf(folder), 0700u);
    WriteBytesToFile("card", WorkPath("template.dot"));  // and it can be written
    ::chmod(QFile::encodeName(dir.path()).constData(), 0700);
}

TEST(RunFolder, EachProgramHasItsOwnAndOnlyAbandonedOnesAreRemoved)
{
    QTemporaryDir dir;
    ::chmod(QFile::encodeName(dir.path()).constData(), 0700);
    ScopedEnv temp("TEMP", dir.path().toLocal8Bit());
    // Left by a program that was killed (its lock went with it), one of a
    // program still running (locked), and what is not ours at all.
    const QString abandoned = dir.path() + "/marigal-run-Abc123";
    const QString running = dir.path() + "/marigal-run-Def456";
    QDir().mkpath(abandoned + "/deep");
    test::WriteFile(abandoned + "/deep/tamlor12345678.doc", "card");
    QDir().mkpath(running);
    const int held = ::open(QFile::encodeName(running).constData(), O_RDONLY | O_DIRECTORY);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
    QDir().mkpath(dir.path() + "/marigal-runner");
    test::WriteFile(dir.path() + "/marigal-run-notes.txt", "mine");

    const QString mine = RunFolder();
    EXPECT_TRUE(mine.startsWith(dir.path() + "/marigal-run-"));
    EXPECT_EQ(ModeOf(mine), 0700u);
    EXPECT_FALSE(QFileInfo::exists(abandoned));
    EXPECT_TRUE(QFileInfo::exists(running));
    EXPECT_TRUE(QFileInfo::exists(dir.path() + "/marigal-runner"));
    EXPECT_TRUE(QFileInfo::exists(dir.path() + "/marigal-run-notes.txt"));

    // A second program beside this one gets a folder of its own, and its
    // folder outlives it only until the next program makes one.
    QProcess other;
    other.start(QCoreApplication::applicationFilePath(), {"--print-run-folder"});
    ASSERT_TRUE(other.waitForFinished(30000));
    const QString out = QString::fromLocal8Bit(other.readAllStandardOutput());
    const QString theirs = out.section("run folder: ", 1).section('\n', 0, 0);
    EXPECT_TRUE(theirs.startsWith(dir.path() + "/marigal-run-")) << out.toStdString();
    EXPECT_NE(theirs, mine);
    EXPECT_TRUE(QFileInfo::exists(theirs));

    test::WriteFile(WorkPath("temp.bmp"), "picture");
    RemoveRunFolders();  // this program's end
    EXPECT_FALSE(QFileInfo::exists(mine));
    const QString next = RunFolder();  // the next program's start
    EXPECT_FALSE(QFileInfo::exists(theirs));
    EXPECT_TRUE(QFileInfo::exists(running));
    ::close(held);
    RemoveRunFolders();
    EXPECT_FALSE(QFileInfo::exists(next));
}
