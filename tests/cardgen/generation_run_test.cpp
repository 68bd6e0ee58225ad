// The start button's run, against the recording engine and two stand-in
// windows: its order, its files, its messages and its guards.

#include "cardgen/card_photo.h"
#include "cardgen/catalogue.h"
#include "cardgen/generation_run.h"
#include "cardgen/page_export.h"
#include "common/errors.h"
#include "common/files.h"
#include "common/steps.h"
#include "engine/fake/recording_fake.h"
#include "tests/support/scripted_modal.h"
#include "tests/support/temp_env.h"

#include <QDir>
#include <QRegularExpression>
#include <QSet>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace marigal;

namespace {

struct Windows : RunWindow, RunPreview {
    QStringList events;
    int design = 0;
    QString photo, message = "Happy birthday!";

    int DesignIndex() override { return design; }
    QString PhotoPath() override { return photo; }
    QString Message() override { return message; }
    void SetPointer(MousePointer p) override { events << QStringLiteral("pointer %1").arg(int(p)); }
    bool noPicture = false;  // the export could not write one
    void SaveDocAsJPG(const QString& inFile) override
    {
        events << "export " + QFileInfo(inFile).fileName();
        if (noPicture) return;
        QImage page(60, 80, QImage::Format_RGB32);  // what the export leaves behind
        page.fill(Qt::white);
        page.save(PagePicturePath(), "BMP");
    }
    void Hide() override { events << "hide main"; }
    void DrainInput() override { events << "drain"; }
    void SetPicture(const QImage& p) override { events << QStringLiteral("picture %1x%2").arg(p.width()).arg(p.height()); }
    void SetWordFile(const QString& path) override { events << "word file " + QFileInfo(path).fileName(); }
    void Show() override { events << "show preview"; }
};

class RunTest : public ::testing::Test {
protected:
    QTemporaryDir temp;
    std::optional<test::ScopedEnv> env;
    engine::RecordingFake engine;
    test::ScriptedModal modal;
    Windows w;
    bool busy = false;
    std::vector<int> digits;

    void SetUp() override
    {
        ::chmod(QFile::encodeName(temp.path()).constData(), 0700);
        env.emplace("TEMP", temp.path().toLocal8Bit());
        // The office's part: SaveAs writes the card.
        engine.onCall = [](const QString& line, const engine::Args& args) {
            if (line.contains(".SaveAs(")) test::WriteFile(args[0].value.toQString(), "card");
        };
    }

    void run()
    {
        size_t next = 0;
        GenerationRun r(engine, modal, w, w, "Marigal", [&] { return next < digits.size() ? digits[next++] : 7; });
        r.PushButton6_Click(busy);
    }

    QStringList files() const { return QDir(RunFolder()).entryList(QDir::Files | QDir::Hidden); }
};

}  // namespace

TEST_F(RunTest, MakesTheCardAndHandsItToThePreview)
{
    w.design = 3;
    // Large enough to print sharp: nothing to say.
    w.photo = test::WriteJpeg(QDir(QDir::tempPath()).filePath("marigal-run-photo.jpg"), 3000, 2000);
    digits = {1, 2, 3, 4, 5, 6, 7, 8};
    run();
    QFile::remove(w.photo);
    EXPECT_TRUE(modal.messages.empty());
    EXPECT_FALSE(busy);
    EXPECT_EQ(w.events, (QStringList{"pointer 11", "export tamlor12345678.doc", "pointer 0", "picture 60x80",
                                     "word file tamlor12345678.doc", "show preview", "hide main", "drain"}));
    const QStringList calls = engine.calls();
    EXPECT_EQ(calls.first(), "CreateObject(\"Word.Application\")");
    EXPECT_TRUE(calls.contains(QStringLiteral("Documents.Open(&\"%1/template.dot\", ReadOnly:=True)").arg(RunFolder())));
    EXPECT_TRUE(calls.contains("ActiveDocument.Shapes(\"Text Box 33\").Select()"));  // the photo phase ran
    const int save = int(calls.indexOf(QStringLiteral("Documents.Open(&\"%1/template.dot\", ReadOnly:=True).SaveAs(&\"%1/tamlor12345678.doc\")").arg(RunFolder())));
    ASSERT_GE(save, 0) << calls.join('\n').toStdString();
    EXPECT_EQ(calls.mid(save + 1), (QStringList{"DisplayAlerts = False",
                                                QStringLiteral("Documents.Open(&\"%1/template.dot\", ReadOnly:=True).Close()").arg(RunFolder()),
                                                "Quit()"}));
    EXPECT_EQ(engine.running(), 0);
    // The working folder keeps the card document only: the photo's copy went with the run.
    EXPECT_EQ(files(), QStringList{"tamlor12345678.doc"});
}

TEST_F(RunTest, APhotoThatPrintsBlurredIsSaidBeforeThePreviewAndTheCardIsStillMade)
{
    w.design = 2;  // Hearts' frame: 9000 x 6850 of 1/100 mm
    w.photo = test::WriteJpeg(temp.filePath("small.jpg"), 320, 240);
    run();
    // Hearts' frame, a little wider than 4:3, takes the photo's whole width.
    const int ppi = int(std::lround(320 / (PhotoPlaces(2)[0].room.width() / 2540.0)));
    ASSERT_EQ(modal.messages.size(), 1u);
    EXPECT_EQ(modal.messages[0].text.toStdString(),
              QStringLiteral("The photo is small for this design: it prints at %1 pixels per inch and will look "
                             "blurred.").arg(ppi).toStdString());
    EXPECT_EQ(modal.messages[0].caption, "Marigal");
    EXPECT_TRUE(w.events.contains("show preview"));
}

TEST_F(RunTest, TheChosenDesignIsOpenedWhateverTemplateWasThere)
{
    // Left by another run, or planted: the run writes the chosen design over it.
    test::WriteFile(TemplatePath(), "someone else's template");
    w.design = 2;
    QByteArray opened;
    engine.onCall = [&](const QString& line, const engine::Args& args) {
        if (line.startsWith("Documents.Open(") && !line.contains(").")) opened = test::ReadFile(args[0].value.toQString());
        if (line.contains(".SaveAs(")) test::WriteFile(args[0].value.toQString(), "card");
    };
    run();
    EXPECT_TRUE(opened == LoadResData(DesignResourceId(2), kDesignResourceType));
    EXPECT_FALSE(FileExists(TemplatePath()));
}

TEST_F(RunTest, AMissingDesignFileShowsTheDesignsOwnErrorBox)
{
    const QString designs = DesignFolder();
    SetDesignFolder(temp.filePath("no-designs"));
    w.design = 2;
    run();
    SetDesignFolder(designs);
    const auto boxes = modal.errorBoxes();
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes[0], ErrorBoxText("Resource with identifier '103' not found", "Form1", "PushButton6_Click", 126));
}

TEST_F(RunTest, APagePictureThatCannotBeLoadedShowsNoEarlierCard)
{
    w.design = 2;
    w.noPicture = true;
    run();
    EXPECT_EQ(modal.errorBoxes(),
              std::vector<QString>{ErrorBoxText(apperr::kFileNotFound, "Form1", "PushButton6_Click", 318)});
    EXPECT_TRUE(w.events.contains("picture 0x0"));  // emptied, not left as it was
    EXPECT_TRUE(w.events.contains("show preview"));  // the card itself can still be saved
}

TEST_F(RunTest, AClickDuringARunEndsAtOnce)
{
    busy = true;
    run();
    EXPECT_TRUE(w.events.isEmpty());
    EXPECT_TRUE(engine.calls().isEmpty());
    EXPECT_TRUE(busy);
}

TEST_F(RunTest, FirstDesignWithoutAPhotoSaysNoFileAndLeavesNothing)
{
    w.design = 0;
    w.photo = temp.filePath("gone.jpg");
    run();
    ASSERT_EQ(modal.messages.size(), 1u);
    EXPECT_EQ(modal.messages[0].text, "No file.");
    EXPECT_EQ(modal.messages[0].caption, "Marigal");
    EXPECT_EQ(modal.messages[0].icon, MsgIcon::None);
    EXPECT_EQ(w.events, (QStringList{"pointer 11", "pointer 0", "drain"}));
    EXPECT_TRUE(files().isEmpty());
    EXPECT_EQ(engine.calls(), (QStringList{"CreateObject(\"Word.Application\")", "Quit()"}));  // not left running
    EXPECT_EQ(engine.running(), 0);
    EXPECT_FALSE(busy);
}

TEST_F(RunTest, OtherDesignsWithoutAPhotoKeepTheirOwnPicture)
{
    w.design = 2;
    w.photo.clear();
    run();
    EXPECT_TRUE(modal.messages.empty());
    EXPECT_FALSE(engine.calls().join('\n').contains("AddPicture"));
    EXPECT_TRUE(engine.calls().contains("ActiveDocument.Application.Selection.TypeText(Text:=&\"Happy birthday!\")"));
    EXPECT_TRUE(w.events.contains("show preview"));
}

TEST_F(RunTest, NeverOverwritesAnExistingCard)
{
    w.design = 5;
    test::WriteFile(WorkPath("tamlor11111111.doc"), "someone else's card");
    digits = {1, 1, 1, 1, 1, 1, 1, 1, 9, 8, 7, 6, 5, 4, 3, 2};
    run();
    EXPECT_EQ(test::ReadFile(WorkPath("tamlor11111111.doc")), "someone else's card");
    EXPECT_TRUE(w.events.contains("word file tamlor98765432.doc"));
}

TEST_F(RunTest, CardNamesAreEightDigitsOneToNine)
{
    const QRegularExpression format("^tamlor[1-9]{8}\\.doc$");
    for (int i = 0; i < 200; ++i) {
        const QString name = CardFileName(RandomDigit);
        ASSERT_TRUE(format.match(name).hasMatch()) << name.toStdString();
    }
    // Not one digit repeated, as a clock re-seeded per digit would give.
    QSet<QString> names;
    for (int i = 0; i < 50; ++i) names << CardFileName(RandomDigit);
    EXPECT_GT(names.size(), 45);
}

TEST_F(RunTest, NoOfficeMeansErrorBoxesButNoPreview)
{
    engine.failCreate = true;
    w.design = 1;
    run();
    const auto boxes = modal.errorBoxes();
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes[0], ErrorBoxText("ActiveX component can't create object", "Form1", "PushButton6_Click", 106));
    EXPECT_TRUE(boxes[1].contains("at line 144"));
    // The run still ends, but shows no empty preview and keeps the main window.
    EXPECT_EQ(w.events, (QStringList{"pointer 11", "pointer 0", "drain"}));
    EXPECT_FALSE(busy);
    EXPECT_TRUE(files().isEmpty());
}
