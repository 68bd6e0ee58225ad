// The start button in the main window: the hand-over to the preview window,
// the hourglass, and the guard against a second card.

#include "common/files.h"
#include "preview/form2.h"
#include "tests/shell/form1_fixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWindow>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <sys/stat.h>

using namespace marigal;
using marigal::test::Form1Test;

namespace {
class RunFromForm1 : public Form1Test {
protected:
    QTemporaryDir work;
    std::optional<test::ScopedEnv> env;

    void SetUp() override
    {
        ::chmod(QFile::encodeName(work.path()).constData(), 0700);
        env.emplace("TEMP", work.path().toLocal8Bit());
        // The office's part: SaveAs writes the card, CopyAsPicture fills the clipboard.
        engine.onCall = [](const QString& line, const engine::Args& args) {
            if (line.contains(".SaveAs(")) test::WriteFile(args[0].value.toQString(), "card");
            if (line.endsWith(".Range.CopyAsPicture()")) {
                QImage page(300, 420, QImage::Format_RGB32);
                page.fill(QColor(250, 240, 220));
                QGuiApplication::clipboard()->setImage(page);
            }
        };
    }
};
}  // namespace

TEST_F(RunFromForm1, StartMakesACardAndShowsItInThePreview)
{
    store("OptTemplate", "2");
    Form1& f = load();
    f.ShowCentred();
    engine.clear();
    QTest::mouseClick(f.PushButton6, Qt::LeftButton);
    EXPECT_TRUE(modal.errorBoxes().empty()) << modal.errorBoxes().front().toStdString();
    ASSERT_TRUE(f.PreviewLoaded());
    Form2& preview = f.Preview();
    EXPECT_TRUE(preview.isVisible());
    EXPECT_FALSE(f.isVisible());
    EXPECT_TRUE(FileExists(preview.mWordFile));
    EXPECT_TRUE(QFileInfo(preview.mWordFile).fileName().startsWith("tamlor"));
    EXPECT_FALSE(preview.Picture1->pixmap().isNull());
    EXPECT_EQ(f.mousePointer(), MousePointer::Default);
    EXPECT_FALSE(f.mBusy);
    EXPECT_TRUE(f.PushButton6->isEnabled());
    // Two office instances, one after the other: the run's and the picture's.
    EXPECT_EQ(engine.calls().count("CreateObject(\"Word.Application\")"), 2);
    EXPECT_EQ(engine.running(), 0);
    EXPECT_EQ(QDir(RunFolder()).entryList(QDir::Files), QStringList{QFileInfo(preview.mWordFile).fileName()});

    // "< Back" removes the card and brings the main window back as it was.
    preview.PushButton8_Click();
    EXPECT_FALSE(FileExists(preview.mWordFile));
    EXPECT_TRUE(f.isVisible());
    EXPECT_TRUE(f.Option1[2]->isChecked());
}

TEST_F(RunFromForm1, FirstDesignWithoutAPhotoStaysInTheMainWindow)
{
    Form1& f = load();
    f.ShowCentred();
    QTest::keyClick(f.Text1, Qt::Key_Return);  // Return in the message starts it too
    ASSERT_FALSE(modal.messages.empty());
    EXPECT_EQ(modal.messages.back().text, "No file.");
    EXPECT_FALSE(f.PreviewLoaded());
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ(engine.running(), 0);
}

TEST_F(RunFromForm1, InputDuringARunIsDiscardedAndTheFocusStaysOnTheStartButton)
{
    // The "No file." path: the first design and no photo.
    store("Text1", "Dear Ann");
    Form1& f = load();
    f.ShowCentred();
    f.PushButton6->setFocus();
    QWindow* window = f.windowHandle();
    ASSERT_NE(window, nullptr);
    int posted = 0;
    // While the office starts, the user presses Space again, clicks "Clear/
    // Reset Data" and types: queued at the window, as the system queues it,
    // for whatever has the focus when it is delivered.
    engine.onCall = [&](const QString& line, const engine::Args&) {
        if (!line.startsWith("CreateObject")) return;
        ++posted;
        for (QEvent::Type t : {QEvent::KeyPress, QEvent::KeyRelease})
            QCoreApplication::postEvent(window, new QKeyEvent(t, Qt::Key_Space, Qt::NoModifier, " "));
        const QPointF reset = f.PushButton2->mapTo(&f, QPointF(f.PushButton2->rect().center()));
        for (QEvent::Type t : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
            QCoreApplication::postEvent(window, new QMouseEvent(t, reset, f.mapToGlobal(reset), Qt::LeftButton,
                                                                t == QEvent::MouseButtonPress ? Qt::LeftButton
                                                                                              : Qt::NoButton,
                                                                Qt::NoModifier));
        QCoreApplication::postEvent(window, new QKeyEvent(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, "x"));
    };
    QTest::keyClick(f.PushButton6, Qt::Key_Return);  // the user's first press starts the run
    QCoreApplication::processEvents();
    ASSERT_EQ(posted, 1);  // one run only
    int noFile = 0;
    for (const auto& m : modal.messages) noFile += m.text == "No file.";
    EXPECT_EQ(noFile, 1);
    EXPECT_EQ(f.Text1->text(), "Dear Ann");
    EXPECT_EQ(stored("Text1"), "Dear Ann");
    EXPECT_FALSE(f.Check1->isChecked());
    EXPECT_EQ(QApplication::focusWidget(), f.PushButton6);
    EXPECT_TRUE(f.PushButton6->isEnabled());
    // Input after the run is the user's again.
    QTest::mouseClick(f.PushButton2, Qt::LeftButton);
    EXPECT_EQ(f.Text1->text(), "");
}

TEST_F(RunFromForm1, AClickWhileBusyDoesNothing)
{
    Form1& f = load();
    engine.clear();
    f.mBusy = true;
    f.PushButton6_Click();
    EXPECT_TRUE(engine.calls().isEmpty());
    EXPECT_TRUE(modal.messages.empty());
}
