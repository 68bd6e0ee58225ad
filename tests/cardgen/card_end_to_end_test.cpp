// Making a real card of every design, with a photo and without, through a
// real office: the saved card holds the message where the design puts it
// and the photo, embedded, in every frame the design has for it.

#include "cardgen/card_photo.h"
#include "cardgen/catalogue.h"
#include "cardgen/generation_run.h"
#include "cardgen/page_export.h"
#include "common/files.h"
#include "photo/picture.h"
#include "engine/libreoffice/lo_backend.h"
#include "engine/libreoffice/office_session.h"
#include "tests/support/picture_check.h"
#include "tests/support/scripted_modal.h"
#include "tests/support/temp_env.h"
#include "tools/docbuild/doc_reader.h"

#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace marigal;

namespace {

const QColor kMagenta(230, 20, 200);
// As pasted from another program: its line break (a vertical tab) and a
// stray control character. The card holds the line break and not the bell.
const QString kTyped = QString::fromUtf16(u"Happy birthday,\u000bdear Ann!\u0007");
const QString kMessage = QStringLiteral("Happy birthday,\ndear Ann!");

// Office processes this test process started, running (not zombies).
int OfficesOfOurs()
{
    const QByteArray pipe = QStringLiteral("pipe,name=marigal-%1-").arg(::getpid()).toUtf8();
    int n = 0;
    for (const QString& name : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (!test::ReadFile(QStringLiteral("/proc/%1/cmdline").arg(name)).contains(pipe)) continue;
        const QByteArray stat = test::ReadFile(QStringLiteral("/proc/%1/stat").arg(name));
        const QByteArray state = stat.mid(stat.lastIndexOf(')') + 2, 1);
        n += state != "Z" && state != "X";
    }
    return n;
}

struct Stand : RunWindow, RunPreview {
    engine::Backend* backend = nullptr;
    Modal* modal = nullptr;
    int design = 0;
    QString photo, card;
    QImage picture;
    bool shown = false;

    int DesignIndex() override { return design; }
    QString PhotoPath() override { return photo; }
    QString Message() override { return kTyped; }
    void SetPointer(MousePointer) override {}
    void SaveDocAsJPG(const QString& inFile) override
    {
        // The run's office has ended (or, quitting, ends on its own) before
        // the picture's office starts.
        engine::WaitForQuittingOffices();
        EXPECT_EQ(OfficesOfOurs(), 0);
        const QByteArray saved = test::ReadFile(inFile);
        marigal::SaveDocAsJPG(*backend, *modal, inFile, PictureFit{QSize(9300, 7400), 96});
        EXPECT_TRUE(test::ReadFile(inFile) == saved) << "the picture's office changed the card";
    }
    void Hide() override {}
    void DrainInput() override {}
    void SetPicture(const QImage& p) override { picture = p; }
    void SetWordFile(const QString& path) override { card = path; }
    void Show() override { shown = true; }
};

int Count(const QString& haystack, const QString& needle)
{
    return int(haystack.count(needle));
}

}  // namespace

class CardEndToEnd : public ::testing::TestWithParam<int> {};

TEST_P(CardEndToEnd, MessageAndPhotoLandWhereTheDesignPutsThem)
{
    const int design = GetParam();
    QTemporaryDir temp;
    ::chmod(QFile::encodeName(temp.path()).constData(), 0700);
    test::ScopedEnv env("TEMP", temp.path().toLocal8Bit());
    engine::LibreOfficeBackend backend;
    test::ScriptedModal modal;
    const int expectedMessages = (design == 1 || design == 3 || design == 4) ? 2 : 1;

    for (bool withPhoto : {true, false}) {
        SCOPED_TRACE(withPhoto ? "with a photo" : "without a photo");
        Stand w;
        w.backend = &backend;
        w.modal = &modal;
        w.design = design;
        QTemporaryDir photos;
        if (withPhoto) {
            QImage photo(1200, 900, QImage::Format_RGB32);
            photo.fill(kMagenta);
            w.photo = photos.filePath("ann.jpg");
            photo.save(w.photo, "JPG", 95);
        }
        bool busy = false;
        GenerationRun run(backend, modal, w, w, "Marigal");
        run.PushButton6_Click(busy);
        if (design == 0 && !withPhoto) {
            EXPECT_FALSE(w.shown);
            EXPECT_EQ(modal.messages.back().text, "No file.");
            continue;
        }
        EXPECT_TRUE(modal.errorBoxes().empty()) << modal.errorBoxes().front().toStdString();
        engine::WaitForQuittingOffices();
        EXPECT_EQ(OfficesOfOurs(), 0);  // none left after the run
        ASSERT_TRUE(w.shown);
        EXPECT_FALSE(w.picture.isNull());
        // The card document and its PDF, for printing and saving as PDF.
        EXPECT_EQ(QDir(RunFolder()).entryList(QDir::Files),
                  (QStringList{QFileInfo(w.card).fileName(), QFileInfo(CardPdfPath(w.card)).fileName()}));
        photos.remove();  // the card must not need the photo file any more

        auto session = engine::lo::OfficeSession::start({});
        QString texts;
        {
            docbuild::DocReader card(*session, w.card);
            for (const auto& p : card.paragraphs()) texts += p.text + '\n';
            for (const auto& f : card.frames()) texts += f.text + '\n';
            // Text frames stand on the draw page too; count their text once.
            for (const auto& o : card.drawObjects())
                if (o.implementation != QLatin1String("SwXTextFrame")) texts += o.text + '\n';
            if (design == 5) {
                EXPECT_EQ(card.paragraphs().front().text, kMessage);
            }
        }
        texts.remove(QChar(0x2009));  // a WordArt line may start with thin spaces
        EXPECT_EQ(Count(texts, kMessage), expectedMessages) << texts.toStdString();

        session->quit();
        // The picture the preview got shows the photo filling every frame for it.
        const std::vector<test::InkArea> areas = test::PhotoAreas(w.picture, 100);
        EXPECT_EQ(areas.size(), withPhoto ? PhotoPlaces(design).size() : 0u);
        for (const test::InkArea& a : areas) EXPECT_GE(a.filled, 0.97);
        // As the preview's Back does.
        RemoveFile(w.card);
        RemoveFile(CardPdfPath(w.card));
    }
}

INSTANTIATE_TEST_SUITE_P(EveryDesign, CardEndToEnd, ::testing::Range(0, 6));

// The page picture the preview keeps: its natural size fits the viewport,
// and it holds about four times as many pixels each way, so that it stays
// sharp up to the largest zoom; for a one-page design and a two-page one.
TEST(PagePicture, FitsTheViewportWithFourTimesItsPixels)
{
    QTemporaryDir temp;
    ::chmod(QFile::encodeName(temp.path()).constData(), 0700);
    test::ScopedEnv env("TEMP", temp.path().toLocal8Bit());
    const PictureFit fit{QSize(9270, 7365), 96};
    engine::LibreOfficeOptions options;
    options.pictureFit = PicturePixels(fit);  // as the program sets its office up
    engine::LibreOfficeBackend backend(options);
    const double viewW = 9270 / 15.0, viewH = 7365 / 15.0;  // pixels at 96 dpi
    for (int design : {0, 1}) {
        SCOPED_TRACE(design);
        test::ScriptedModal modal;
        const QString card = temp.filePath(QStringLiteral("design%1.doc").arg(design));
        WriteBytesToFile(LoadResData(DesignResourceId(design), kDesignResourceType), card);
        SaveDocAsJPG(backend, modal, card, fit);
        EXPECT_TRUE(modal.errorBoxes().empty());
        const QImage picture = LoadPicture(PagePicturePath());
        ASSERT_GT(picture.dotsPerMeterX(), 0);
        const double naturalW = picture.width() / (picture.dotsPerMeterX() * 0.0254) * 96;
        const double naturalH = picture.height() / (picture.dotsPerMeterY() * 0.0254) * 96;
        EXPECT_NEAR(std::max(naturalW / viewW, naturalH / viewH), 1.0, 0.01);
        EXPECT_NEAR(picture.width() / naturalW, 4.0, 0.1);
        EXPECT_NEAR(picture.height() / naturalH, 4.0, 0.1);
        RemoveFile(PagePicturePath());
    }
}
