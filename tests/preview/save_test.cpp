// "Save Results To Word File": the dialog, the overwrite question, and a copy
// that never costs the user an old file or the card itself.

#include "common/files.h"
#include "common/steps.h"
#include "common/widgets/qt_modal.h"
#include "preview/form2.h"
#include "tests/support/scripted_modal.h"
#include "tests/support/temp_env.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPainter>
#include <QPdfWriter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

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
    EXPECT_EQ(texts(), QStringList{"Done.\n" + target});  // where it went, below the word
    EXPECT_EQ(modal.messages[0].caption, "Marigal");
    EXPECT_EQ(modal.messages[0].icon, MsgIcon::None);
    EXPECT_TRUE(QFile::exists(card));  // the card stays for further saves
}

namespace {
// Waits for the next dialog the program shows and does to it what a user does.
void WhenShown(std::function<void(QWidget*)> act)
{
    auto poll = std::make_shared<std::function<void()>>();
    *poll = [act, poll] {
        QWidget* shown = QApplication::activeModalWidget();
        if (shown && shown->isVisible()) act(shown);
        else QTimer::singleShot(20, *poll);
    };
    QTimer::singleShot(20, *poll);
}

// Answers "Done." and keeps what it said.
void AnswerDone(QString* said)
{
    WhenShown([said](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_TRUE(box);
        *said = box->text();
        QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    });
}
}  // namespace

// The PDF entry picked in the desktop's own dialog, once by keys and once by
// mouse, saves the card's PDF; the Word entry, the card itself.
TEST_F(SaveTest, TheEntryPickedInTheRealDialogDecidesWhatIsSaved)
{
    {
        QPdfWriter pdf(CardPdfPath(card));
        QPainter(&pdf).drawText(100, 100, QStringLiteral("the card"));
    }
    const QByteArray cardPdf = test::ReadFile(CardPdfPath(card));
    ASSERT_TRUE(cardPdf.startsWith("%PDF"));
    QtModal real;
    Form2Services svc;
    svc.modal = &real;
    svc.appFolder = dir.filePath("app");
    svc.showMainWindow = [] {};
    svc.endApplication = [] {};
    Form2 shown(svc);
    shown.mWordFile = card;
    QString said;

    WhenShown([&](QWidget* w) {
        auto* combo = w->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        auto* name = w->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_TRUE(combo && name);
        combo->setFocus();
        QTest::keyClick(combo, Qt::Key_Down);
        name->setFocus();
        QTest::keyClicks(name, dir.filePath("by keys.pdf"));
        AnswerDone(&said);
        QTest::keyClick(name, Qt::Key_Return);
    });
    shown.PushButton6_Click();
    EXPECT_EQ(test::ReadFile(dir.filePath("by keys.pdf")), cardPdf);
    EXPECT_EQ(said, "Done.\n" + dir.filePath("by keys.pdf"));

    for (const int entry : {1, 0}) {
        const QString target = dir.filePath(QStringLiteral("by mouse %1").arg(entry));
        WhenShown([&, entry](QWidget* w) {
            auto* combo = w->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
            auto* name = w->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            auto* buttons = w->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
            ASSERT_TRUE(combo && name && buttons);
            QTest::mouseClick(combo, Qt::LeftButton);
            QAbstractItemView* list = combo->view();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(list->window()));
            QTest::qWait(QApplication::doubleClickInterval() + 50);  // a quick release only closes the list
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                              list->visualRect(list->model()->index(entry, 0)).center());
            ASSERT_EQ(combo->currentIndex(), entry);
            QTest::mouseClick(name, Qt::LeftButton);
            QTest::keyClicks(name, target);
            AnswerDone(&said);
            QTest::mouseClick(buttons->button(QDialogButtonBox::Save), Qt::LeftButton);
        });
        shown.PushButton6_Click();
        EXPECT_EQ(test::ReadFile(target), entry == 1 ? cardPdf : QByteArray("the card's bytes")) << entry;
    }
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
    EXPECT_EQ(texts(), (QStringList{"Are you sure you wish to overwrite " + target + " ?", "Done.\n" + target}));
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
