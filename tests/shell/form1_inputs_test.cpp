// Choosing the photo, the default-picture box, sample data and reset.

#include "common/files.h"
#include "common/steps.h"
#include "tests/shell/form1_fixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QUrl>

using namespace marigal;
using marigal::test::Form1Test;

TEST_F(Form1Test, BrowseCancelledChangesNothing)
{
    store("txtSubjectPic", "/keep/me.jpg");
    store("UseDefPic", "0");
    Form1& f = load();
    modal.messages.clear();
    QTest::mouseClick(f.PushButton1, Qt::LeftButton);
    ASSERT_EQ(modal.dialogs.size(), 1u);
    EXPECT_FALSE(modal.dialogs[0].save);
    EXPECT_EQ(modal.dialogs[0].fileName, "");
    EXPECT_EQ(modal.dialogs[0].title, "Choose a photo");
    // The first entry as it always was, and chosen; the second one names every kind read.
    const QStringList entries = DialogNameFilters(modal.dialogs[0].filter);
    ASSERT_EQ(entries.size(), 2);
    EXPECT_TRUE(modal.dialogs[0].filter.startsWith("Supported Pictures (*.jpg;*.bmp;*.jpeg)|*.jpg;*.bmp;*.jpeg|"));
    EXPECT_TRUE(entries[1].startsWith("All Pictures (")) << entries[1].toStdString();
    for (const char* kind : {"*.heic", "*.avif", "*.webp", "*.tif", "*.png", "*.gif"})
        EXPECT_TRUE(entries[1].contains(kind)) << kind;
    EXPECT_EQ(f.txtSubjectPic->text(), "/keep/me.jpg");
    EXPECT_EQ(stored("txtSubjectPic"), "/keep/me.jpg");
    EXPECT_TRUE(modal.messages.empty());
}

TEST_F(Form1Test, BrowseChoosesAPhotoEvenWithTheBoxTicked)
{
    store("UseDefPic", "1");
    Form1& f = load();
    const QString jpeg = photo("IMG_0001.JPG");
    modal.fileAnswers.push_back(jpeg);
    f.PushButton1_Click();
    EXPECT_EQ(f.txtSubjectPic->text(), jpeg);
    EXPECT_EQ(stored("txtSubjectPic"), jpeg);
    EXPECT_TRUE(f.Check1->isChecked());
    EXPECT_FALSE(f.Image1->pixmap().isNull());
    EXPECT_TRUE(modal.errorBoxes().empty());

    // The next start empties it again, as the box says.
    form.reset();
    Form1& next = load();
    EXPECT_EQ(next.txtSubjectPic->text(), "");
}

TEST_F(Form1Test, BrowseToSomethingThatIsNoPictureKeepsThePath)
{
    Form1& f = load();
    const QString fake = test::WriteFile(dir.filePath("holiday.jpg"), QByteArray(300, 'z'));
    modal.fileAnswers.push_back(fake);
    f.PushButton1_Click();
    EXPECT_EQ(modal.errorBoxes(), std::vector<QString>{ErrorBoxText("Invalid picture", "Form1",
                                                                    "PushButton1_Click", 112)});
    EXPECT_EQ(f.txtSubjectPic->text(), fake);
    EXPECT_EQ(stored("txtSubjectPic"), fake);
}

TEST_F(Form1Test, TickingEmptiesThePathAndUntickingDoesNotBringItBack)
{
    const QString jpeg = photo();
    store("txtSubjectPic", jpeg);
    Form1& f = load();
    ASSERT_FALSE(f.Image1->pixmap().isNull());
    QTest::mouseClick(f.Check1, Qt::LeftButton, {}, QPoint(5, f.Check1->height() / 2));
    EXPECT_TRUE(f.Check1->isChecked());
    EXPECT_EQ(f.txtSubjectPic->text(), "");
    EXPECT_TRUE(f.Image1->pixmap().isNull());
    EXPECT_EQ(stored("UseDefPic"), "1");
    EXPECT_EQ(stored("txtSubjectPic"), "");
    EXPECT_TRUE(f.PushButton1->isEnabled());
    f.Check1->setChecked(false);
    EXPECT_EQ(f.txtSubjectPic->text(), "");
    EXPECT_EQ(stored("UseDefPic"), "0");
}

TEST_F(Form1Test, SampleDataKeepsTheBoxAndTheDesign)
{
    store("UseDefPic", "1");
    store("OptTemplate", "2");
    Form1& f = load();
    QTest::mouseClick(f.PushButton3, Qt::LeftButton);
    EXPECT_EQ(f.txtSubjectPic->text(), appFolder + "/Samples/sample1.jpg");
    EXPECT_EQ(f.Text1->text(), "Dude!");
    EXPECT_TRUE(f.Check1->isChecked());
    EXPECT_TRUE(f.Option1[2]->isChecked());
    EXPECT_EQ(stored("txtSubjectPic"), appFolder + "/Samples/sample1.jpg");
    EXPECT_EQ(stored("Text1"), "Dude!");
    EXPECT_TRUE(modal.messages.empty());  // the file is not tested here
}

TEST_F(Form1Test, ResetEmptiesTicksAndKeepsTheDesign)
{
    store("Text1", "Hello");
    store("txtSubjectPic", photo());
    store("OptTemplate", "5");
    Form1& f = load();
    QTest::mouseClick(f.PushButton2, Qt::LeftButton);
    EXPECT_EQ(f.txtSubjectPic->text(), "");
    EXPECT_EQ(f.Text1->text(), "");
    EXPECT_TRUE(f.Check1->isChecked());
    EXPECT_TRUE(f.Option1[5]->isChecked());
    EXPECT_EQ(stored("UseDefPic"), "1");
    // Pressed again with the box already ticked: the same end state.
    QTest::mouseClick(f.PushButton2, Qt::LeftButton);
    EXPECT_TRUE(f.Check1->isChecked());

    form.reset();
    Form1& next = load();
    EXPECT_EQ(next.Text1->text(), "");
    EXPECT_EQ(next.txtSubjectPic->text(), "");
    EXPECT_TRUE(next.Check1->isChecked());
    EXPECT_EQ(next.DesignIndex(), 5);
}

TEST_F(Form1Test, FocusOnThePhotoPathSelectsAllOfIt)
{
    store("txtSubjectPic", "/home/me/pictures/cat.jpg");
    store("UseDefPic", "0");
    Form1& f = load();
    f.ShowCentred();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
    EXPECT_EQ(f.focusWidget(), f.txtSubjectPic);
    EXPECT_EQ(f.txtSubjectPic->selectedText(), "/home/me/pictures/cat.jpg");
    // Leave and come back with the keyboard.
    f.Text1->setFocus();
    f.txtSubjectPic->deselect();
    f.txtSubjectPic->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(f.txtSubjectPic->selectedText(), "/home/me/pictures/cat.jpg");
    QTest::keyClicks(f.txtSubjectPic, "/tmp/dog.jpg");
    EXPECT_EQ(f.txtSubjectPic->text(), "/tmp/dog.jpg");
}

// A photo dropped on the window or on a field, a link to one pasted, and a
// copied picture pasted: each goes into the photo field, through its change
// handler, so it is remembered; none puts a link's text in a field.
TEST_F(Form1Test, DroppedAndPastedPhotosFillThePhotoField)
{
    Form1& f = load();
    f.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
    const QString jpeg = photo("holiday 1.jpg");
    const auto drop = [&](QWidget* on, QMimeData* data) {
        const QPoint at = on->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(on, &enter);
        EXPECT_TRUE(enter.isAccepted()) << on->objectName().toStdString();
        QDropEvent dropped(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(on, &dropped);
    };
    for (QWidget* on : std::initializer_list<QWidget*>{&f, f.txtSubjectPic, f.Text1}) {
        f.txtSubjectPic->clear();
        QMimeData file;
        file.setUrls({QUrl::fromLocalFile(jpeg)});
        drop(on, &file);
        EXPECT_EQ(f.txtSubjectPic->text(), jpeg) << on->objectName().toStdString();
        EXPECT_EQ(f.Text1->text(), "");
    }
    EXPECT_EQ(stored("txtSubjectPic"), jpeg);
    EXPECT_FALSE(f.Image1->pixmap().isNull());

    // A link pasted into the field, as a browser or file manager copies it.
    const QString other = photo("IMG 2.jpg");
    QGuiApplication::clipboard()->setText(QUrl::fromLocalFile(other).toString());
    f.txtSubjectPic->setFocus();
    QTest::keyClick(f.txtSubjectPic, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(f.txtSubjectPic->text(), other);
    EXPECT_EQ(stored("txtSubjectPic"), other);

    // A picture's data, pasted with the focus on a button, then again.
    const QString pasted = QDir::homePath() + "/.local/share/marigal/pasted";
    QStringList kept;
    for (const QColor& colour : {QColor(Qt::red), QColor(Qt::blue)}) {
        QImage copied(64, 48, QImage::Format_RGB32);
        copied.fill(colour);
        QGuiApplication::clipboard()->setImage(copied);
        f.PushButton6->setFocus();
        QTest::keyClick(f.PushButton6, Qt::Key_V, Qt::ControlModifier);
        kept = QDir(pasted).entryList(QDir::Files);
        ASSERT_EQ(kept.size(), 1);  // the one pasted before is replaced
        EXPECT_EQ(f.txtSubjectPic->text(), pasted + "/" + kept[0]);
        EXPECT_EQ(QImage(f.txtSubjectPic->text()).pixel(1, 1), colour.rgb());
    }
    EXPECT_EQ(stored("txtSubjectPic"), pasted + "/" + kept[0]);

    // Plain text is still pasted as text.
    QGuiApplication::clipboard()->setText("Dear Ann");
    f.Text1->setFocus();
    QTest::keyClick(f.Text1, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(f.Text1->text(), "Dear Ann");
    EXPECT_TRUE(modal.errorBoxes().empty());
}
