#include "common/errors.h"
#include "common/files.h"
#include "common/settings.h"
#include "tests/support/temp_env.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

using namespace marigal;
using test::ReadFile;
using test::WriteFile;

namespace {
QString ErrorOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const AppError& e) {
        return e.description();
    }
    return QStringLiteral("(none)");
}
}  // namespace

TEST(FileExists, TellsFilesFromNothing)
{
    QTemporaryDir dir;
    const QString file = WriteFile(dir.filePath("a.txt"), "x");
    EXPECT_TRUE(FileExists(file));
    EXPECT_FALSE(FileExists(QString()));
    EXPECT_FALSE(FileExists(dir.filePath("missing.txt")));
    EXPECT_FALSE(FileExists(dir.filePath("no/such/folder/a.txt")));
    EXPECT_FALSE(FileExists(QString::fromLatin1("bad\0name", 8)));
}

TEST(RemoveFile, RemovesReadOnlyFilesAndIsSilentOtherwise)
{
    QTemporaryDir dir;
    const QString file = WriteFile(dir.filePath("ro.doc"), "x");
    QFile::setPermissions(file, QFile::ReadOwner);
    RemoveFile(file);
    EXPECT_FALSE(FileExists(file));

    RemoveFile(dir.filePath("missing.doc"));  // no exception, nothing to report
    RemoveFile(QString());

    // A folder is never removed as a file.
    QDir(dir.path()).mkdir("sub");
    RemoveFile(dir.filePath("sub"));
    EXPECT_TRUE(QFileInfo(dir.filePath("sub")).isDir());

    // It runs no pending event: a window's close or a quit waiting in the
    // queue would otherwise end the application in the middle of a run.
    bool ran = false;
    QTimer::singleShot(0, [&] { ran = true; });
    RemoveFile(file);
    EXPECT_FALSE(ran);
    QCoreApplication::processEvents();
    EXPECT_TRUE(ran);
}

TEST(RemoveFileByFso, RemovesTheLinkNeverWhatItNamesAndRaisesForTheRest)
{
    // The second method reports what it cannot remove (RemoveFile swallows
    // it) and, working on names, never follows a link to what it names.
    QTemporaryDir dir;
    const QString target = WriteFile(dir.filePath("card.doc"), "card");
    const QString link = dir.filePath("link.doc");
    ASSERT_TRUE(QFile::link(target, link));
    RemoveFileByFso(link);
    EXPECT_FALSE(QFileInfo(link).isSymLink());
    EXPECT_EQ(ReadFile(target), "card");
    EXPECT_EQ(ErrorOf([&] { RemoveFileByFso(link); }), apperr::kFileNotFound);
    EXPECT_EQ(ErrorOf([&] { RemoveFileByFso(dir.path()); }), apperr::kFileNotFound);
    EXPECT_TRUE(QFileInfo(dir.path()).isDir());
}

TEST(WriteBytesToFile, WritesExactlyTheBytes)
{
    QTemporaryDir dir;
    QByteArray bytes(25600, '\0');
    for (int i = 0; i < bytes.size(); ++i) bytes[i] = char(i * 7 + 3);
    const QString path = dir.filePath("template.dot");
    WriteBytesToFile(bytes, path);
    EXPECT_EQ(ReadFile(path), bytes);
}

TEST(WriteBytesToFile, ReplacesALongerFileWhole)
{
    QTemporaryDir dir;
    const QString path = WriteFile(dir.filePath("template.dot"), QByteArray(4000, 'O'));
    const QByteArray shorter(1000, 'N');
    WriteBytesToFile(shorter, path);
    EXPECT_EQ(ReadFile(path), shorter);  // no stale bytes past the new end
}

TEST(WriteBytesToFile, ReportsBadTargetsAndKeepsTheOldFile)
{
    QTemporaryDir dir;
    EXPECT_EQ(ErrorOf([&] { WriteBytesToFile("x", dir.filePath("none/t.dot")); }), apperr::kPathNotFound);
    EXPECT_EQ(ErrorOf([&] { WriteBytesToFile("x", dir.path()); }), apperr::kPermissionDenied);
    EXPECT_EQ(ErrorOf([&] { WriteBytesToFile("x", QString()); }), apperr::kFileNotFound);

    // A write that fails part way (the file-size limit standing in for a
    // full disk) leaves the old file whole and no part of the new one.
    const QString old = WriteFile(dir.filePath("card.doc"), "the old card");
    {
        test::FileSizeLimit full(4096);
        EXPECT_EQ(ErrorOf([&] { WriteBytesToFile(QByteArray(100000, 'n'), old); }), apperr::kDiskFull);
    }
    EXPECT_EQ(ReadFile(old), "the old card");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"card.doc"});
}

TEST(WriteBytesToFile, TakesANameAsLongAsTheFileSystemAllowsAndRefusesALongerOneByName)
{
    // 255 bytes is the limit of ext4 and most others; 'ü' is two of them.
    QTemporaryDir dir;
    const QString longest = QString(125, QChar(u'ü')) + QStringLiteral(".doc");  // 254 bytes
    WriteBytesToFile("card", dir.filePath(longest));
    EXPECT_EQ(ReadFile(dir.filePath(longest)), "card");
    WriteNewFile("card", dir.filePath(longest + "x"));  // 255
    const QString tooLong = longest + "xy";
    EXPECT_EQ(ErrorOf([&] { WriteBytesToFile("card", dir.filePath(tooLong)); }), "File name too long: " + tooLong);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);  // nothing on its way left
}

TEST(JoinPath, UsesThePlatformSeparator)
{
    EXPECT_EQ(JoinPath("/opt/marigal", "Samples\\sample1.jpg"), "/opt/marigal/Samples/sample1.jpg");
    EXPECT_EQ(JoinPath("/opt/marigal", "HAND-M.CUR"), "/opt/marigal/HAND-M.CUR");
}

TEST(SettingsStore, ValuesSurviveTheFileAsTyped)
{
    QTemporaryDir dir;
    const QString ini = dir.filePath("Marigal.conf");
    {
        SettingsStore store(ini);
        store.SaveSetting("Text1", "Hi, Ann; see you \"soon\" = 100%");
        store.SaveSetting("txtSubjectPic", "");
    }
    SettingsStore again(ini);
    EXPECT_EQ(again.GetSetting("Text1"), "Hi, Ann; see you \"soon\" = 100%");
    EXPECT_EQ(again.GetSetting("txtSubjectPic", "x"), "");  // stored empty is not absent
    EXPECT_EQ(again.GetSetting("UseDefPic", "0"), "0");
    // A hand-edited line with an unquoted comma still reads as the text it shows.
    test::WriteFile(dir.filePath("hand.conf"), "[General]\nText1=Hi, Ann\n");
    EXPECT_EQ(SettingsStore(dir.filePath("hand.conf")).GetSetting("Text1"), "Hi, Ann");
}
