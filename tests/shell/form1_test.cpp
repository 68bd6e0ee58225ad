// The main window: its layout, its start-up and what it keeps between runs.

#include "cardgen/availability.h"
#include "common/config.h"
#include "common/errors.h"
#include "common/steps.h"
#include "common/widgets/look.h"
#include "tests/shell/form1_fixture.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <sys/stat.h>

using namespace marigal;
using marigal::test::Form1Test;

namespace {
QString Box(const QString& description, int line)
{
    return ErrorBoxText(description, "Form1", "Form_Load", line);
}
}  // namespace

TEST_F(Form1Test, LayoutFollowsTheTwipTable)
{
    Form1& f = make();
    const auto px = [](int twips) { return Px(twips); };
    EXPECT_EQ(f.size(), QSize(px(8040), px(4395)));
    EXPECT_EQ(f.minimumSize(), f.maximumSize());  // fixed border
    EXPECT_FALSE(f.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(f.PushButton6->geometry(), QRect(px(120), px(120), px(7800), px(405)));
    EXPECT_EQ(f.PushButton3->geometry(), QRect(px(4080), px(630), px(3840), px(405)));
    EXPECT_EQ(f.txtSubjectPic->parentWidget(), f.Frame2);
    EXPECT_EQ(f.txtSubjectPic->geometry(), QRect(px(1800), px(300), px(5055), px(345)));
    EXPECT_EQ(f.Option1[5]->geometry(), QRect(px(240), px(650), px(2175), px(255)));
    EXPECT_GE(f.Image1->y(), f.height());  // below the visible area

    EXPECT_EQ(f.PushButton6->text(), "Start Creating Template");
    EXPECT_EQ(f.PushButton2->text(), "Clear/Reset Data");
    EXPECT_EQ(f.PushButton3->text(), "Load Sample/Example Data");
    EXPECT_EQ(f.Label3->text(), "User-specificed:");
    EXPECT_EQ(f.Check1->text(), "Use default picture included with card instead of user-specified");
    EXPECT_EQ(f.Frame1->title(), "Select Template");
    const QStringList captions{"Photo Greeting Card", "Clouds", "Hearts", "Meadow", "Flowers", " Yellow Flower"};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(f.Option1[i]->text(), captions[i]);

    EXPECT_EQ(f.font().family(), "Arial");
    EXPECT_TRUE(f.Text1->font().bold());
    EXPECT_DOUBLE_EQ(f.PushButton6->font().pointSizeF(), 11.25);
    EXPECT_EQ(BackColor(f), QColor(Qt::white));

    // Tab order: photo path, browse, box, message, designs, then the buttons.
    const std::vector<QWidget*> chain{f.txtSubjectPic, f.PushButton1, f.Check1,     f.Text1,
                                      f.Option1[0],    f.Option1[1],  f.Option1[2], f.Option1[3],
                                      f.Option1[5],    f.Option1[4],  f.PushButton6, f.PushButton2,
                                      f.PushButton3};
    const auto nextStop = [](QWidget* w) {
        do w = w->nextInFocusChain();
        while (!(w->focusPolicy() & Qt::TabFocus));
        return w;
    };
    for (size_t i = 0; i + 1 < chain.size(); ++i)
        EXPECT_EQ(nextStop(chain[i]), chain[i + 1]) << i;
}

TEST_F(Form1Test, FirstStartWithAnEmptyStore)
{
    Form1& f = load();
    EXPECT_EQ(f.Text1->text(), "");
    EXPECT_EQ(f.txtSubjectPic->text(), "");
    EXPECT_FALSE(f.Check1->isChecked());
    EXPECT_TRUE(f.Option1[0]->isChecked());
    EXPECT_TRUE(f.PushButton1->isEnabled());
    EXPECT_EQ(stored("OptTemplate"), "0");
    EXPECT_TRUE(modal.messages.empty());
    EXPECT_EQ(f.windowTitle(), "Marigal");
    EXPECT_EQ(f.applicationTitle(), "Marigal");
    // The availability check started an instance and quit it.
    EXPECT_EQ(engine.calls(), (QStringList{"CreateObject(\"Word.Application\")", "Quit()"}));
    EXPECT_EQ(engine.running(), 0);
    EXPECT_EQ(ended, 0);
    EXPECT_TRUE(opened.isEmpty());
}

TEST_F(Form1Test, RestoresEveryStoredInput)
{
    const QString jpeg = photo();
    store("Text1", "Happy birthday, Grandma!");
    store("txtSubjectPic", jpeg);
    store("UseDefPic", "0");
    store("OptTemplate", "3");
    Form1& f = load();
    EXPECT_EQ(f.Text1->text(), "Happy birthday, Grandma!");
    EXPECT_EQ(f.txtSubjectPic->text(), jpeg);
    EXPECT_FALSE(f.Check1->isChecked());
    EXPECT_TRUE(f.Option1[3]->isChecked());
    EXPECT_EQ(f.DesignIndex(), 3);
    EXPECT_FALSE(f.Image1->pixmap().isNull());  // decoded
    EXPECT_TRUE(modal.messages.empty());
    EXPECT_EQ(stored("Text1"), "Happy birthday, Grandma!");
    EXPECT_EQ(stored("OptTemplate"), "3");
}

TEST_F(Form1Test, ALongStoredMessageIsNeitherCutNorSavedBackCut)
{
    // Far past a text box's usual 32,767 characters.
    const QString longMessage = QString("Dear all, ").repeated(99999);
    store("Text1", longMessage);
    Form1& f = load();
    EXPECT_EQ(f.Text1->text().size(), longMessage.size());
    EXPECT_TRUE(stored("Text1") == longMessage);
    f.Text1->setFocus();
    f.Text1->end(false);
    QTest::keyClick(f.Text1, Qt::Key_Exclam, Qt::ShiftModifier);
    EXPECT_EQ(stored("Text1").size(), longMessage.size() + 1);
    EXPECT_TRUE(stored("Text1").endsWith("Dear all, !"));
}

TEST_F(Form1Test, EveryKeystrokeIsOnDiskAtOnce)
{
    Form1& f = load();
    f.Text1->setFocus();
    QTest::keyClicks(f.Text1, "Hi Bob");
    // Another store on the same file, as the next start would read it.
    EXPECT_EQ(stored("Text1"), "Hi Bob");
    QTest::keyClick(f.Text1, Qt::Key_Backspace);
    EXPECT_EQ(stored("Text1"), "Hi Bo");
    f.txtSubjectPic->setText("/home/me/x.jpg");
    EXPECT_EQ(stored("txtSubjectPic"), "/home/me/x.jpg");
    f.Option1[4]->setChecked(true);
    EXPECT_EQ(stored("OptTemplate"), "4");

    form.reset();
    modal.messages.clear();
    Form1& next = load();
    EXPECT_EQ(next.Text1->text(), "Hi Bo");
    EXPECT_TRUE(next.Option1[4]->isChecked());
}

TEST_F(Form1Test, StoredPhotoThatIsGoneIsReportedOnceAndKept)
{
    const QString gone = dir.filePath("gone.jpg");
    store("txtSubjectPic", gone);
    Form1& f = load();
    ASSERT_EQ(modal.messages.size(), 1u);
    EXPECT_EQ(modal.messages[0].text, "Photo file does not exist.");
    EXPECT_EQ(modal.messages[0].caption, "Marigal");
    EXPECT_EQ(modal.messages[0].icon, MsgIcon::None);
    EXPECT_EQ(modal.messages[0].buttons, MsgButtons::Ok);
    EXPECT_EQ(f.txtSubjectPic->text(), gone);
    EXPECT_EQ(stored("txtSubjectPic"), gone);
}

TEST_F(Form1Test, TickedBoxEmptiesTheStoredPath)
{
    store("txtSubjectPic", dir.filePath("gone.jpg"));
    store("UseDefPic", "1");
    Form1& f = load();
    // Restoring the ticked box runs its click handling, which empties the
    // path before it is tested: nothing to report about a path that goes.
    EXPECT_TRUE(modal.messages.empty());
    EXPECT_TRUE(f.Check1->isChecked());
    EXPECT_EQ(f.txtSubjectPic->text(), "");
    EXPECT_EQ(stored("txtSubjectPic"), "");
    EXPECT_EQ(stored("UseDefPic"), "1");
    EXPECT_TRUE(f.Image1->pixmap().isNull());
}

TEST_F(Form1Test, BadStoredValuesAreReportedAtTheirStep)
{
    struct Case {
        QString useDefPic, optTemplate;
        std::vector<QString> boxes;
        int selected;  // -1: none
    };
    const std::vector<Case> cases{
        {"x", "2", {Box(apperr::kTypeMismatch, 132)}, 2},
        {"5", "2", {Box(apperr::kInvalidPropertyValue, 132)}, 2},
        {"0", "x", {Box(apperr::kTypeMismatch, 134)}, 0},
        {"0", "7", {Box("Control array element '7' doesn't exist", 138)}, -1},
        {"0", "-1", {}, -1},
        {"0", "99999", {Box(apperr::kOverflow, 134)}, 0},
    };
    for (const Case& c : cases) {
        QFile::remove(ini);
        modal.messages.clear();
        store("UseDefPic", c.useDefPic);
        store("OptTemplate", c.optTemplate);
        Form1& f = load();
        EXPECT_EQ(modal.errorBoxes(), c.boxes) << c.useDefPic.toStdString() << "/" << c.optTemplate.toStdString();
        EXPECT_FALSE(f.Check1->isChecked());
        for (int i = 0; i < 6; ++i) EXPECT_EQ(f.Option1[i]->isChecked(), i == c.selected) << i;
        EXPECT_EQ(f.DesignIndex(), c.selected < 0 ? 0 : c.selected);
    }
}

TEST_F(Form1Test, StoredPhotoThatIsNoPictureIsReportedAt144)
{
    // Text, a named pipe nobody writes to, a device that never ends: each is
    // reported, and none may keep the program from starting.
    const QString fifo = dir.filePath("pipe.jpg");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString& path : {test::WriteFile(dir.filePath("notes.jpg"), "this is not a picture"), fifo,
                                QStringLiteral("/dev/zero")}) {
        SCOPED_TRACE(path.toStdString());
        modal.messages.clear();
        store("txtSubjectPic", path);
        Form1& f = load();
        EXPECT_EQ(modal.errorBoxes(), std::vector<QString>{Box(apperr::kInvalidPicture, 144)});
        EXPECT_EQ(f.txtSubjectPic->text(), path);
    }
}

TEST_F(Form1Test, StoredPhotoOfAPhonesFullSizeIsTaken)
{
    // 8000 x 6000, as phones take them: past the picture library's default
    // decoding limit, which refused it.
    QImage big(8000, 6000, QImage::Format_RGB888);
    big.fill(QColor(200, 120, 40));
    const QString path = dir.filePath("phone.jpg");
    ASSERT_TRUE(big.save(path, "JPG", 80));
    big = QImage();
    store("txtSubjectPic", path);
    Form1& f = load();
    EXPECT_TRUE(modal.errorBoxes().empty()) << modal.errorBoxes().front().toStdString();
    EXPECT_FALSE(f.Image1->pixmap().isNull());
}

TEST_F(Form1Test, HandPointerFromTheApplicationFolder)
{
    {
        Form1& f = load();  // no cursor file: no error, the platform's hand stands in
        EXPECT_FALSE(f.handCursor().has_value());
        EXPECT_TRUE(modal.messages.empty());
    }
    QImage hand(32, 32, QImage::Format_ARGB32);
    hand.fill(QColor(240, 200, 160));
    test::WriteFile(appFolder + "/HAND-M.CUR", EncodeCursorFile(hand, QPoint(5, 1)));
    {
        Form1& f = load();
        ASSERT_TRUE(f.handCursor().has_value());
        EXPECT_EQ(f.handCursor()->hotSpot(), QPoint(5, 1));
    }
    test::WriteFile(appFolder + "/HAND-M.CUR", "garbage");
    {
        Form1& f = load();
        EXPECT_EQ(modal.errorBoxes(), std::vector<QString>{Box(apperr::kInvalidPicture, 124)});
        EXPECT_FALSE(f.handCursor().has_value());
    }
}

TEST_F(Form1Test, MakerSiteOpensOnTheLuckyDraw)
{
    draw = 7;
    load();
    EXPECT_EQ(opened, QStringList{config::kMakerSite});
}

TEST_F(Form1Test, NoOfficeMeansTheMessageAndTheEnd)
{
    engine.failCreate = true;
    load();
    ASSERT_EQ(modal.messages.size(), 1u);
    EXPECT_EQ(modal.messages[0].text, WordUnavailableMessage());
    EXPECT_EQ(modal.messages[0].caption, "Marigal");
    EXPECT_EQ(modal.messages[0].icon, MsgIcon::None);
    EXPECT_EQ(modal.messages[0].buttons, MsgButtons::Ok);
    EXPECT_EQ(ended, 1);
    EXPECT_EQ(WordUnavailableMessage().count("\n\n"), 4);
    EXPECT_TRUE(WordUnavailableMessage().startsWith(
        "Error 842001. A normal instance of Word could not be created.\n\n1. Please make sure"));
}

TEST_F(Form1Test, ClosingTheWindowEndsTheApplication)
{
    Form1& f = load();
    f.show();
    f.close();
    EXPECT_EQ(ended, 1);
}
