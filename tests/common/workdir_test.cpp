// Working files never land in a folder that someone else can write to.

#include "files.h"
#include "support/temp_env.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>
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
    EXPECT_EQ(WorkPath("template.dot"), dir.path() + "/template.dot");
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
