// "Save Results To Word File": the dialog, the overwrite question, and a copy
// that never costs the user an old file or the card itself.

#include "common/files.h"
#include "common/steps.h"
#include "preview/form2.h"
#include "tests/support/scripted_modal.h"
#include "tests/support/temp_env.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace marigal;

namespace {
class SaveTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    test::ScriptedModal modal;
    std::unique_ptr<Form2> form;
    QString card;

    void SetUp() override
    {
        Form2Services svc;
        svc.modal = &modal;
        svc.appFolder = dir.filePath("app");
        svc.showMainWindow = [] {};
        svc.endApplication = [] {};
        form = std::make_unique<Form2>(svc);
        card = test::WriteFile(dir.filePath("tamlor12345678.doc"), "the card's bytes");
        form->mWordFile = card;
    }

    void save(const QString& chosen, std::optional<MsgResult> overwrite = std::nullopt)
    {
        modal.messages.clear();
        modal.dialogs.clear();
        modal.fileAnswers.push_back(chosen);
        if (overwrite) modal.messageAnswers.push_back(*overwrite);
        form->PushButton6_Click();
    }

    QStringList texts() const
    {
        QStringList t;
        for (const auto& m : modal.messages) t << m.text;
        return t;
    }
};
}  // namespace

TEST_F(SaveTest, SavesACopyUnderTheNameAsTyped)
{
    const QString target = dir.filePath("For Ann");  // no extension added
    save(target);
    ASSERT_EQ(modal.dialogs.size(), 1u);
    EXPECT_TRUE(modal.dialogs[0].save);
    EXPECT_EQ(modal.dialogs[0].fileName, "");
    EXPECT_EQ(modal.dialogs[0].title, "Save File");
    EXPECT_EQ(modal.dialogs[0].filter, "Word Files (*.doc)|*.doc|PDF Files (*.pdf)|*.pdf");
    EXPECT_EQ(test::ReadFile(target), "the card's bytes");
    EXPECT_EQ(texts(), QStringList{"Done."});
    EXPECT_EQ(modal.messages[0].caption, "Marigal");
    EXPECT_EQ(modal.messages[0].icon, MsgIcon::None);
    EXPECT_TRUE(QFile::exists(card));  // the card stays for further saves

    // The second entry saves the card's PDF, under the same rules.
    test::WriteFile(CardPdfPath(card), "%PDF the card's pages");
    modal.filterAnswers.push_back(2);
    save(target, MsgResult::Yes);
    EXPECT_EQ(texts(), (QStringList{"Are you sure you wish to overwrite " + target + " ?", "Done."}));
    EXPECT_EQ(test::ReadFile(target), "%PDF the card's pages");
    // Back removes the PDF with the card document.
    form->PushButton8_Click();
    EXPECT_FALSE(QFile::exists(card));
    EXPECT_FALSE(QFile::exists(CardPdfPath(card)));
}

TEST_F(SaveTest, CancelAndDeclineWriteNothingButSayDone)
{
    save(QString());
    EXPECT_EQ(texts(), QStringList{"Done."});
    const QString old = test::WriteFile(dir.filePath("old.doc"), "old");
    save(old, MsgResult::No);
    EXPECT_EQ(texts(), (QStringList{"Are you sure you wish to overwrite " + old + " ?", "Done."}));
    EXPECT_EQ(modal.messages[0].buttons, MsgButtons::YesNo);
    EXPECT_EQ(modal.messages[0].icon, MsgIcon::None);
    EXPECT_EQ(test::ReadFile(old), "old");
}

TEST_F(SaveTest, SavingTwiceAsksTheSecondTimeAndReplaces)
{
    const QString target = dir.filePath("card.doc");
    save(target);
    test::WriteFile(card, "a newer card");
    save(target, MsgResult::Yes);
    EXPECT_EQ(texts(), (QStringList{"Are you sure you wish to overwrite " + target + " ?", "Done."}));
    EXPECT_EQ(test::ReadFile(target), "a newer card");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);  // no stray temporary file
}

TEST_F(SaveTest, TheCardItselfIsNeverTheTarget)
{
    const QString link = dir.filePath("link.doc");
    ASSERT_TRUE(QFile::link(card, link));
    for (const QString& target : {card, link}) {
        save(target, MsgResult::Yes);
        ASSERT_EQ(modal.errorBoxes().size(), 1u) << target.toStdString();
        EXPECT_EQ(modal.errorBoxes()[0],
                  ErrorBoxText("Path/File access error", "Form2", "PushButton6_Click", 124));
        EXPECT_FALSE(texts().contains("Done."));
        EXPECT_EQ(test::ReadFile(card), "the card's bytes");
    }
}

TEST_F(SaveTest, AFailedCopyKeepsTheOldFileAndSaysNoDone)
{
    // A folder that cannot take the copy: its "parent" is a file.
    const QString blocked = test::WriteFile(dir.filePath("blocker"), "x") + "/card.doc";
    save(blocked);
    ASSERT_EQ(modal.errorBoxes().size(), 1u);
    EXPECT_TRUE(modal.errorBoxes()[0].contains("at line 130"));
    EXPECT_FALSE(texts().contains("Done."));

    // The disk fills up in the middle of the copy over an old card (the
    // file-size limit stands in for it): the old card stays whole.
    const QString old = test::WriteFile(dir.filePath("old.doc"), "old card");
    test::WriteFile(card, QByteArray(100000, 'c'));
    {
        test::FileSizeLimit full(4096);
        save(old, MsgResult::Yes);
    }
    EXPECT_EQ(modal.errorBoxes(),
              std::vector<QString>{ErrorBoxText("Disk full", "Form2", "PushButton6_Click", 130)});
    EXPECT_EQ(test::ReadFile(old), "old card");
    EXPECT_FALSE(texts().contains("Done."));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
              (QStringList{"blocker", "old.doc", "tamlor12345678.doc"}));
}
