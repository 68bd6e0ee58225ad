// Photos as phones, cameras, browsers and scanners write them, made ready
// for a card: turned upright at their full resolution, converted where a
// Word document cannot hold them, refused by name when damaged.

#include "cardgen/photo_prep.h"
#include "common/errors.h"
#include "common/picture.h"
#include "tests/support/temp_env.h"
#include "tools/support/sample_photos.h"

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace marigal;

namespace {

QByteArray Encoded(const QImage& image, const char* format, int quality = 95)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, format, quality)) << format;
    return bytes;
}

QString Refusal(const QString& path, const QString& folder)
{
    try {
        PreparePhoto(path, folder);
    } catch (const AppError& e) {
        return e.description();
    }
    return QStringLiteral("<taken>");
}

}  // namespace

TEST(PhotoPrep, ATaggedPhotoIsTurnedAtItsFullSizeAndAsSharpAsItsUntaggedTwin)
{
    // A checkerboard of 4-pixel squares shows any loss of sharpness. 1024 x
    // 768 falls on whole blocks, so it turns without loss; 1000 x 750 does
    // not, so it turns by its pixels.
    QTemporaryDir dir;
    for (const QSize size : {QSize(1024, 768), QSize(1000, 750)}) {
        for (const int tag : {6, 3, 8, 5}) {  // 5: turned and mirrored
            SCOPED_TRACE(QStringLiteral("%1x%2, tag %3").arg(size.width()).arg(size.height()).arg(tag).toStdString());
            const QImage scene = samples::FinePattern(size);
            const QByteArray stored = Encoded(samples::StoredFor(scene, tag), "JPG");
            const QString twin = test::WriteFile(dir.filePath("twin.jpg"), stored);
            const QString tagged = test::WriteFile(dir.filePath("tagged.jpg"), samples::WithOrientation(stored, tag));

            const QString made = PreparePhoto(tagged, dir.path());
            ASSERT_NE(made, tagged);
            QImageReader reader(made);
            EXPECT_EQ(reader.transformation(), QImageIOHandler::TransformationNone);  // upright in its pixels
            const QImage turned = reader.read();
            EXPECT_EQ(turned.size(), size);
            EXPECT_LT(samples::MeanDifference(turned, Upright(QImage(twin), tag)), 0.02);
            EXPECT_LT(samples::MeanDifference(turned, scene), 0.05);  // and the right way round
            QFile::remove(made);
        }
    }
}

TEST(PhotoPrep, APictureAWordDocumentHoldsAsItIsGoesAsTheUsersOwnFile)
{
    QTemporaryDir dir;
    QImage clear(80, 60, QImage::Format_ARGB32);
    clear.fill(QColor(10, 200, 30, 120));
    const QImage photo = samples::FinePattern(QSize(80, 60));
    QByteArray progressive;
    {
        QBuffer buffer(&progressive);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "jpeg");
        writer.setProgressiveScanWrite(true);
        ASSERT_TRUE(writer.write(photo));
    }
    const QString files[] = {
        test::WriteFile(dir.filePath("progressive.jpg"), progressive),
        test::WriteFile(dir.filePath("a.jpg"), Encoded(photo, "JPG")),
        test::WriteFile(dir.filePath("b.png"), Encoded(clear, "PNG")),
        test::WriteFile(dir.filePath("c.png"), Encoded(photo.convertToFormat(QImage::Format_RGBX64), "PNG")),
        // Qt writes no GIF: the smallest one there is.
        test::WriteFile(dir.filePath("d.gif"), QByteArray("GIF89a\x01\0\x01\0\x80\0\0\xFF\xFF\xFF\0\0\0!\xF9\x04\x01\0\0\0\0,"
                                                          "\0\0\0\0\x01\0\x01\0\0\x02\x02\x44\x01\0;", 43)),
        test::WriteFile(dir.filePath("e.bmp"), Encoded(photo, "BMP")),
        test::WriteFile(dir.filePath("png-named.jpg"), Encoded(photo, "PNG")),
        test::WriteFile(dir.filePath("gray.jpg"), Encoded(photo.convertToFormat(QImage::Format_Grayscale8), "JPG")),
    };
    for (const QString& file : files) EXPECT_EQ(PreparePhoto(file, dir.path()), file);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), std::size(files));  // nothing made
}

TEST(PhotoPrep, TodaysKindsBecomeAJpegOrWithTransparencyAPng)
{
    QTemporaryDir dir;
    const QImage scene = samples::FinePattern(QSize(320, 240), 16);
    QImage clear = scene.convertToFormat(QImage::Format_ARGB32);
    clear.setPixelColor(0, 0, QColor(0, 0, 0, 0));
    struct Case {
        QString file;
        const char* made;
    };
    std::vector<Case> cases{{test::WriteFile(dir.filePath("a.webp"), Encoded(scene, "WEBP", 95)), ".jpg"},
                            {test::WriteFile(dir.filePath("b.tif"), Encoded(scene, "TIFF")), ".jpg"},
                            {test::WriteFile(dir.filePath("c.webp"), Encoded(clear, "WEBP", 100)), ".png"}};
    ASSERT_TRUE(samples::WriteHeif(scene, dir.filePath("d.heic"), samples::HeifCodec::Hevc));
    ASSERT_TRUE(samples::WriteHeif(scene, dir.filePath("e.avif"), samples::HeifCodec::Av1));
    cases.push_back({dir.filePath("d.heic"), ".jpg"});
    cases.push_back({dir.filePath("e.avif"), ".jpg"});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file.toStdString());
        const QString made = PreparePhoto(c.file, dir.path());
        EXPECT_TRUE(made.endsWith(c.made)) << made.toStdString();
        EXPECT_TRUE(made.startsWith(dir.path()));
        const QImage picture(made);
        EXPECT_EQ(picture.size(), scene.size());
        EXPECT_LT(samples::MeanDifference(picture, scene), 0.04);
        if (QString(c.made) == ".png") {
            EXPECT_EQ(picture.pixelColor(0, 0).alpha(), 0);
        }
        // The window's hidden copy reads them too.
        EXPECT_FALSE(LoadPicture(c.file, QSize(48, 39)).isNull());
    }
}

TEST(PhotoPrep, ADamagedPhotoOrOneOfAKindNotReadIsRefusedByItsName)
{
    QTemporaryDir dir;
    const QByteArray jpeg = Encoded(samples::FinePattern(QSize(600, 400)), "JPG");
    const QString cut = test::WriteFile(dir.filePath("cut.jpg"), jpeg.left(jpeg.size() * 2 / 5));
    ASSERT_TRUE(samples::WriteHeif(samples::FinePattern(QSize(320, 240)), dir.filePath("whole.heic"),
                                   samples::HeifCodec::Hevc));
    const QByteArray heic = test::ReadFile(dir.filePath("whole.heic"));
    const QString cutHeic = test::WriteFile(dir.filePath("cut.heic"), heic.left(heic.size() / 2));
    const QString jxl = test::WriteFile(dir.filePath("new.jxl"), QByteArray("\xFF\x0A\xFA\x7F\x01\x90\x08", 7));
    const QString text = test::WriteFile(dir.filePath("notes.jpg"), "this is not a picture");

    EXPECT_EQ(Refusal(cut, dir.path()), "The picture is damaged (cut short or corrupt): " + cut);
    EXPECT_EQ(Refusal(cutHeic, dir.path()), "The picture is damaged (cut short or corrupt): " + cutHeic);
    EXPECT_EQ(Refusal(jxl, dir.path()), "Marigal cannot read JPEG XL pictures: " + jxl);
    EXPECT_EQ(Refusal(text, dir.path()), "Word cannot insert this file: it is not a picture.");
    // The window's browse says the same of the cut photo, rather than taking a grey half of it.
    try {
        LoadPicture(cut, QSize(48, 39));
        ADD_FAILURE() << "a cut photo was read";
    } catch (const AppError& e) {
        EXPECT_EQ(e.description(), "The picture is damaged (cut short or corrupt): " + cut);
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 5u);  // nothing made
}
