// The start button in the main window: the hand-over to the preview window,
// the hourglass, and the guard against a second card.

#include "files.h"
#include "form1_fixture.h"
#include "form2.h"

#include <QClipboard>
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
    f.PushButton6_Click();
    ASSERT_FALSE(modal.messages.empty());
    EXPECT_EQ(modal.messages.back().text, "No file.");
    EXPECT_FALSE(f.PreviewLoaded());
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ(engine.running(), 0);
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
