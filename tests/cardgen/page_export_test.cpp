// The card's page picture: its steps and arguments, the picture file written
// whole or not at all, and no office left whatever fails.

#include "cardgen/page_export.h"
#include "common/errors.h"
#include "common/files.h"
#include "common/steps.h"
#include "engine/fake/recording_fake.h"
#include "tests/support/scripted_modal.h"
#include "tests/support/temp_env.h"

#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace marigal;

namespace {

class PageExport : public ::testing::Test {
protected:
    QTemporaryDir temp;
    std::optional<test::ScopedEnv> env;
    engine::RecordingFake engine;
    test::ScriptedModal modal;
    QString card;
    QImage page{300, 420, QImage::Format_RGB32};
    bool fillClipboard = true;

    void SetUp() override
    {
        ::chmod(QFile::encodeName(temp.path()).constData(), 0700);
        env.emplace("TEMP", temp.path().toLocal8Bit());
        card = test::WriteFile(WorkPath("tamlor12345678.doc"), "the card as the run saved it");
        page.fill(QColor(250, 240, 220));
        QGuiApplication::clipboard()->clear();
        // The office's part: the copy puts the page on the clipboard.
        engine.onCall = [this](const QString& line, const engine::Args&) {
            if (fillClipboard && line.endsWith(".Range.CopyAsPicture()")) QGuiApplication::clipboard()->setImage(page);
        };
    }

    void exportPage() { SaveDocAsJPG(engine, modal, card, PictureFit{QSize(9330, 7425), 96}); }

    static QString Box(const QString& description, int line)
    {
        return ErrorBoxText(description, "Form1", "SaveDocAsJPG", line);
    }
};

}  // namespace

TEST_F(PageExport, OpensCopiesClosesUnsavedAndQuitsReplacingThePicture)
{
    test::WriteFile(PagePicturePath(), QByteArray(100000, 'x'));  // an old one, longer than the new
    exportPage();
    EXPECT_TRUE(modal.messages.empty());
    const QString open = QStringLiteral("Documents.Open(&\"%1\")").arg(card);
    const QString pdf = QStringLiteral(".ExportAsFixedFormat(&\"%1\", 17&)").arg(CardPdfPath(card));
    EXPECT_EQ(engine.calls(), (QStringList{"CreateObject(\"Word.Application\")", "Documents", open, open + ".Range",
                                            open + ".Range.CopyAsPicture()", open + pdf, "ActiveDocument",
                                            "ActiveDocument.Close(savechanges:=0%)", "Quit()"}));
    EXPECT_EQ(engine.running(), 0);
    const QImage written(PagePicturePath(), "BMP");
    ASSERT_FALSE(written.isNull());
    EXPECT_EQ(written.pixelColor(150, 210), QColor(250, 240, 220));
    EXPECT_EQ(test::ReadFile(card), "the card as the run saved it");
    EXPECT_FALSE(QGuiApplication::clipboard()->image().isNull());  // the card stays on the clipboard
}

TEST_F(PageExport, NoPictureOnTheClipboardIsReportedAt122AndWritesNothing)
{
    fillClipboard = false;
    exportPage();
    EXPECT_EQ(modal.errorBoxes(), std::vector<QString>{Box(apperr::kInvalidPicture, 122)});
    EXPECT_FALSE(FileExists(PagePicturePath()));
    EXPECT_EQ(engine.running(), 0);
}

TEST_F(PageExport, AFailedCopyStillEndsTheOffice)
{
    const QString open = QStringLiteral("Documents.Open(&\"%1\")").arg(card);
    engine.failOn(open + ".Range.CopyAsPicture()", "Automation error");
    fillClipboard = false;
    exportPage();
    EXPECT_EQ(modal.errorBoxes(),
              (std::vector<QString>{Box("Automation error", 120), Box(apperr::kInvalidPicture, 122)}));
    EXPECT_TRUE(engine.calls().endsWith("Quit()"));
    EXPECT_EQ(engine.running(), 0);
}

TEST_F(PageExport, ADiskThatFillsUpWritesNoPartOfThePicture)
{
    // The file-size limit stands in for a full disk: the write fails part
    // way (EFBIG, with SIGXFSZ ignored as the program does).
    test::WriteFile(PagePicturePath(), "an old picture");
    {
        test::FileSizeLimit full(20000);
        exportPage();
    }

    EXPECT_EQ(modal.errorBoxes(), std::vector<QString>{Box(apperr::kDiskFull, 122)});
    EXPECT_FALSE(FileExists(PagePicturePath()));  // neither part of the new one nor the old one
    EXPECT_EQ(QDir(RunFolder()).entryList(QDir::Files | QDir::Hidden), QStringList{"tamlor12345678.doc"});
    EXPECT_EQ(engine.running(), 0);
}
