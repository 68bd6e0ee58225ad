// The main window with the real office, driven as a user drives it: photos
// of today's kinds chosen with the browse button and made into cards, a cut
// photo refused, a message too long for its design said before the card
// shows, the card saved as PDF; and whatever the user had copied is still
// there afterwards.

#include "cardgen/generation_run.h"
#include "common/files.h"
#include "common/settings.h"
#include "engine/libreoffice/lo_backend.h"
#include "preview/form2.h"
#include "shell/form1.h"
#include "tests/support/picture_check.h"
#include "tests/support/scripted_modal.h"
#include "tests/support/temp_env.h"
#include "tools/support/sample_photos.h"

#include <QBuffer>
#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QTimer>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>
#include <poppler-qt6.h>

#include <algorithm>

#include <sys/stat.h>

using namespace marigal;

namespace {

class Form1Office : public ::testing::Test {
protected:
    QTemporaryDir dir, temp;
    test::ScriptedModal modal;
    std::unique_ptr<test::ScopedEnv> env;
    std::unique_ptr<SettingsStore> settings;
    std::unique_ptr<engine::LibreOfficeBackend> office;
    std::unique_ptr<Form1> form;

    void SetUp() override
    {
        ::chmod(QFile::encodeName(temp.path()).constData(), 0700);
        env = std::make_unique<test::ScopedEnv>("TEMP", temp.path().toLocal8Bit());
        settings = std::make_unique<SettingsStore>(dir.filePath("Marigal.conf"));
        engine::LibreOfficeOptions options;
        options.pictureFit = PicturePixels(Form1::PreviewFit());
        office = std::make_unique<engine::LibreOfficeBackend>(options);
        Form1Services svc;
        svc.modal = &modal;
        svc.settings = settings.get();
        svc.engine = office.get();
        svc.appFolder = dir.path();
        svc.drawMakerSite = [] { return 50; };
        svc.openUrl = [](const QString&) {};
        svc.endApplication = [] {};
        form = std::make_unique<Form1>(svc);
        form->Form_Load();
        form->ShowCentred();
        modal.messages.clear();
    }
    void TearDown() override
    {
        form.reset();
        office.reset();
    }

    // Browse for `photo` and make a card of `design`, as a user does.
    void makeCard(const QString& photo, int design)
    {
        modal.fileAnswers.push_back(photo);
        QTest::mouseClick(form->PushButton1, Qt::LeftButton);
        form->Option1[size_t(design)]->click();
        QTest::mouseClick(form->PushButton6, Qt::LeftButton);
    }
    bool previewShown() const { return form->PreviewLoaded() && form->Preview().isVisible(); }
    void back()
    {
        QTest::mouseClick(form->Preview().PushButton8, Qt::LeftButton);
        ASSERT_TRUE(form->isVisible());
    }
};

}  // namespace

TEST_F(Form1Office, PhotosOfTodaysKindsMakeCardsAndTheUsersClipboardIsLeftAlone)
{
    QGuiApplication::clipboard()->setText("the address I copied");
    const QImage scene = samples::FinePattern(QSize(480, 360), 16);
    ASSERT_TRUE(samples::WriteHeif(scene, dir.filePath("iphone.heic"), samples::HeifCodec::Hevc));
    ASSERT_TRUE(samples::WriteHeif(scene, dir.filePath("web.avif"), samples::HeifCodec::Av1));
    scene.save(dir.filePath("chat.webp"), "WEBP", 90);
    scene.save(dir.filePath("scan.tif"), "TIFF");
    form->Text1->setText("Happy birthday!");
    for (const char* name : {"iphone.heic", "web.avif", "chat.webp", "scan.tif"}) {
        SCOPED_TRACE(name);
        makeCard(dir.filePath(name), 2);
        EXPECT_TRUE(modal.errorBoxes().empty()) << modal.errorBoxes().front().toStdString();
        ASSERT_TRUE(previewShown());
        EXPECT_FALSE(form->Preview().Picture1->pixmap().isNull());
        back();
    }
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "the address I copied");
}

TEST_F(Form1Office, ACutPhotoIsRefusedByNameAndMakesNoCard)
{
    QByteArray jpeg;
    {
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        samples::FinePattern(QSize(800, 600)).save(&buffer, "JPG", 90);
    }
    const QString cut = test::WriteFile(dir.filePath("cut.jpg"), jpeg.left(jpeg.size() * 3 / 8));
    const QString why = "The picture is damaged (cut short or corrupt): " + cut;
    form->Text1->setText("Hi");
    makeCard(cut, 3);
    EXPECT_EQ(modal.errorBoxes(), (std::vector<QString>{ErrorBoxText(why, "Form1", "PushButton1_Click", 112),
                                                       ErrorBoxText(why, "Form1", "PushButton6_Click", 148)}));
    EXPECT_FALSE(previewShown());
    EXPECT_TRUE(form->isVisible());
}

TEST_F(Form1Office, AMessageTooLongForTheDesignIsSaidBeforeTheCardShows)
{
    const QString photo = dir.filePath("ann.jpg");
    samples::FinePattern(QSize(800, 600)).save(photo, "JPG", 90);
    form->Text1->setFocus();
    QTest::keyClicks(form->Text1, QString("On and on and on, a message that does not end. ").repeated(40));
    makeCard(photo, 4);
    EXPECT_TRUE(modal.errorBoxes().empty());
    ASSERT_FALSE(modal.messages.empty());
    EXPECT_EQ(modal.messages.back().text, MessageTooLongText(4));
    EXPECT_EQ(modal.messages.back().icon, MsgIcon::None);
    EXPECT_TRUE(previewShown());  // and the user sees the card
}

TEST_F(Form1Office, ASmallPhotoIsSaidAndTheCardsMenuShowsTheWholePhoto)
{
    // A small wide photo: said before the card shows; it fills Hearts' frame.
    test::CheckerPhoto(QSize(320, 180), 20).save(dir.filePath("small.png"));
    form->Text1->setText("Hi");
    makeCard(dir.filePath("small.png"), 2);
    ASSERT_EQ(modal.messages.size(), 1u);
    EXPECT_TRUE(modal.messages[0].text.startsWith("The photo is small for this design: it prints at "));
    ASSERT_TRUE(previewShown());
    Form2& preview = form->Preview();
    const QString filled = preview.mWordFile;
    const std::vector<test::InkArea> before = test::PhotoAreas(preview.Picture1->pixmap().toImage(), 50);
    ASSERT_EQ(before.size(), 1u);

    // The card picture's menu, opened with the right button as a user opens it.
    QTimer::singleShot(0, [] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        for (QAction* action : menu->actions())
            if (action->text() == "Show the whole photo")
                QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
    });
    QWidget* picture = preview.Picture1;
    QTest::mouseClick(preview.windowHandle(), Qt::RightButton, {},
                      picture->mapTo(&preview, picture->rect().center()));
    ASSERT_NE(preview.mWordFile, filled);  // a new card, handed over
    EXPECT_FALSE(QFile::exists(filled));   // the one it replaced is gone
    EXPECT_EQ(settings->GetSetting("PhotoFit"), "whole");
    // The whole photo in the middle of the same frame, the mat above and below it.
    const std::vector<test::InkArea> after = test::PhotoAreas(preview.Picture1->pixmap().toImage(), 50);
    ASSERT_EQ(after.size(), 1u);
    EXPECT_NEAR(after[0].box.width(), before[0].box.width(), 3);
    EXPECT_LT(after[0].box.height(), before[0].box.height() * 0.85);
    EXPECT_NEAR(after[0].box.center().y(), before[0].box.center().y(), 3);
}

TEST_F(Form1Office, TheCardsPdfIsKeptBesideItSavedAsPdfAndGoneWithBack)
{
    const QString photo = dir.filePath("ann.jpg");
    samples::FinePattern(QSize(800, 600)).save(photo, "JPG", 90);
    form->Text1->setText("See you soon");
    makeCard(photo, 1);  // Clouds: two pages
    ASSERT_TRUE(previewShown());
    Form2& preview = form->Preview();
    const QString card = preview.mWordFile;
    ASSERT_TRUE(QFile::exists(CardPdfPath(card)));

    // "PDF Files (*.pdf)" in the save dialog, chosen as the user chooses it.
    const QString saved = dir.filePath("For Ann.pdf");
    modal.fileAnswers.push_back(saved);
    modal.filterAnswers.push_back(2);
    QTest::mouseClick(preview.PushButton6, Qt::LeftButton);
    EXPECT_TRUE(modal.errorBoxes().empty());
    const std::unique_ptr<Poppler::Document> pdf = Poppler::Document::load(saved);
    ASSERT_TRUE(pdf);
    ASSERT_EQ(pdf->numPages(), 2);
    EXPECT_TRUE(pdf->page(0)->text(QRectF()).contains("See you soon") ||
                pdf->page(1)->text(QRectF()).contains("See you soon"));
    // The same card as the preview's picture: its pages side by side.
    const QSizeF first = pdf->page(0)->pageSizeF(), second = pdf->page(1)->pageSizeF();
    const QImage picture = preview.Picture1->pixmap().toImage();
    EXPECT_NEAR((first.width() + second.width()) / std::max(first.height(), second.height()),
                double(picture.width()) / picture.height(), 0.05);  // the picture is a few hundred pixels wide

    back();
    EXPECT_FALSE(QFile::exists(card));
    EXPECT_FALSE(QFile::exists(CardPdfPath(card)));
    EXPECT_TRUE(QFile::exists(saved));
}
