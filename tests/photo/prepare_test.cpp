// Photos as phones, cameras, browsers and scanners write them, made ready
// for a card's places: cut to each place's proportions around the subject
// (or whole, on a mat), upright at their full resolution, recording the
// resolution that makes them as large as the place, refused by name when
// damaged.

#include "photo/prepare.h"
#include "common/errors.h"
#include "photo/picture.h"
#include "photo/subject.h"
#include "tests/support/temp_env.h"
#include "tools/support/sample_photos.h"

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>

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

// A place of the proportions w:h, 10 cm across.
PhotoPlace Place(int w, int h, QColor mat = Qt::white)
{
    return PhotoPlace{QSize(10000, 10000 * h / w), mat};
}

PreparedPhoto One(const QString& file, const QString& folder, const PhotoPlace& place, PhotoFit fit = PhotoFit::Fill)
{
    const std::vector<PreparedPhoto> made = PreparePhoto(file, folder, {place}, fit);
    EXPECT_EQ(made.size(), 1u);
    return made.empty() ? PreparedPhoto{} : made.front();
}

QString Refusal(const QString& path, const QString& folder)
{
    try {
        PreparePhoto(path, folder, {Place(4, 3)}, PhotoFit::Fill);
    } catch (const AppError& e) {
        return e.description();
    }
    return QStringLiteral("<taken>");
}

// How near `part` comes to a stretch of `whole` of its size, cut at any
// pixel: found by a patch from its middle, then compared whole.
double BestMatch(const QImage& part, const QImage& whole)
{
    const QRect patch(part.width() / 2 - 64, part.height() / 2 - 64, 128, 128);
    const QImage probe = part.copy(patch);
    QPoint at;
    double nearest = 2;
    for (int y = 0; y + part.height() <= whole.height(); ++y)
        for (int x = 0; x + part.width() <= whole.width(); ++x) {
            const double d = samples::MeanDifference(probe, whole.copy(patch.translated(x, y)));
            if (d < nearest) nearest = d, at = QPoint(x, y);
        }
    return samples::MeanDifference(part, whole.copy(QRect(at, part.size())));
}

// Its size on the page by the resolution it records, 1/100 mm.
QSizeF PageSize(const QString& file)
{
    const QImage image(file);
    return QSizeF(image.width() * 100000.0 / image.dotsPerMeterX(), image.height() * 100000.0 / image.dotsPerMeterY());
}

}  // namespace

TEST(PhotoPrep, EveryShapeIsCutToItsPlaceAtFullResolutionNeverStretchedAndAsLargeAsThePlace)
{
    // A checkerboard of 16-pixel squares: a stretch shows as oblong squares,
    // a loss of sharpness as a difference from the source's own pixels.
    QTemporaryDir dir;
    struct Case {
        QSize photo;
        const char* format;
    };
    for (const Case& c : {Case{{1200, 1600}, "JPG"}, Case{{1920, 1080}, "JPG"}, Case{{1000, 1000}, "PNG"},
                          Case{{2400, 800}, "JPG"}, Case{{1000, 750}, "WEBP"}}) {
        for (const PhotoPlace& place : {Place(4, 3), Place(10, 7), Place(3, 4)}) {
            SCOPED_TRACE(QStringLiteral("%1x%2 %3 into %4x%5")
                             .arg(c.photo.width()).arg(c.photo.height()).arg(c.format)
                             .arg(place.room.width()).arg(place.room.height()).toStdString());
            const QString file = test::WriteFile(dir.filePath(QStringLiteral("photo.%1").arg(c.format)),
                                                 Encoded(samples::FinePattern(c.photo, 16), c.format));
            const QImage source(file);
            const PreparedPhoto made = One(file, dir.path(), place);
            const QImage copy(made.path);
            ASSERT_FALSE(copy.isNull());
            // The place's proportions, as large as the photo allows.
            const double aspect = double(place.room.width()) / place.room.height();
            EXPECT_NEAR(double(copy.width()) / copy.height(), aspect, 0.005);
            EXPECT_TRUE(copy.width() == c.photo.width() || copy.height() == c.photo.height());
            // Its own pixels, not stretched: somewhere in the source it is found whole.
            EXPECT_LT(BestMatch(copy, source), 0.015);
            // As large as the place on the page, so the word processor sets it there as it is.
            const QSizeF size = PageSize(made.path);
            EXPECT_GE(size.width(), place.room.width() - 1);
            EXPECT_LT(size.width(), place.room.width() * 1.01);
            EXPECT_EQ(made.size, place.room);
            EXPECT_NEAR(made.ppi, copy.width() * 2540.0 / place.room.width(), 0.01);
            QFile::remove(made.path);
        }
    }
}

TEST(PhotoPrep, AJpegIsCutWithoutLossAndATaggedOneTurnedAsSharpAsItsUntaggedTwin)
{
    // 1024 x 768 falls on whole blocks, so it turns and cuts without loss;
    // 1000 x 750 does not: a turn that would bring its cut blocks into the
    // photo goes by pixels.
    QTemporaryDir dir;
    for (const QSize size : {QSize(1024, 768), QSize(1000, 750)}) {
        for (const int tag : {1, 6, 3, 8, 5}) {  // 5: turned and mirrored
            SCOPED_TRACE(QStringLiteral("%1x%2, tag %3").arg(size.width()).arg(size.height()).arg(tag).toStdString());
            const QImage scene = samples::FinePattern(size);
            const QByteArray stored = Encoded(samples::StoredFor(scene, tag), "JPG");
            const QString twin = test::WriteFile(dir.filePath("twin.jpg"), stored);
            const QString tagged = test::WriteFile(dir.filePath("tagged.jpg"), samples::WithOrientation(stored, tag));
            const QImage upright = Upright(QImage(twin), tag);
            // A place a little narrower than the upright photo: a strip is cut off.
            const QSize room(10000, 10000 * upright.height() / (upright.width() - 64));
            const PreparedPhoto made = One(tagged, dir.path(), PhotoPlace{room});
            QImageReader reader(made.path);
            EXPECT_EQ(reader.transformation(), QImageIOHandler::TransformationNone);  // upright in its pixels
            const QImage cut = reader.read();
            ASSERT_EQ(cut.height(), upright.height());
            // Without loss the very same blocks (only the colours' smoothing at
            // the cut edge differs); by pixels, as sharp; and the right way round.
            if (tag == 1 || size.width() % 16 == 0) {
                EXPECT_LT(BestMatch(cut, upright), 0.001);
            }
            EXPECT_LT(BestMatch(cut, upright), 0.02);
            EXPECT_LT(BestMatch(cut, scene), 0.05);
            QFile::remove(made.path);
        }
    }
}

TEST(PhotoPrep, AFaceNearTheTopOfAPortraitStaysWholeInALandscapeFrame)
{
    // Cut through the middle, a 4:3 window of this 3:4 photo takes its
    // lower half: the face near its top would be lost.
    QTemporaryDir dir;
    const QRect face(1150, 420, 700, 910);
    const QString file = test::WriteFile(dir.filePath("portrait.jpg"),
                                         Encoded(samples::Portrait(QSize(3000, 4000), face), "JPG", 92));
    const PreparedPhoto made = One(file, dir.path(), Place(4, 3));
    const QImage copy(made.path);
    ASSERT_EQ(copy.size(), QSize(3000, 2250));
    const std::vector<QRect> found = FindFaces(copy);
    ASSERT_FALSE(found.empty());
    EXPECT_TRUE(QRect(QPoint(0, 0), copy.size()).contains(found.front()));
}

TEST(PhotoPrep, TheWholePhotoStandsInTheMiddleOfItsPlaceOnTheMat)
{
    QTemporaryDir dir;
    const QImage scene = samples::FinePattern(QSize(1600, 900), 16);
    for (const char* format : {"JPG", "PNG"}) {
        SCOPED_TRACE(format);
        const QString file = test::WriteFile(dir.filePath(QStringLiteral("wide.%1").arg(format)), Encoded(scene, format));
        const PreparedPhoto made = One(file, dir.path(), Place(4, 3, QColor(250, 240, 230)), PhotoFit::Whole);
        const QImage copy = QImage(made.path).convertToFormat(QImage::Format_RGB32);
        EXPECT_EQ(copy.width(), 1600);
        EXPECT_NEAR(copy.height(), 1200, 1);
        // The mat above and below, the photo whole in between.
        const int top = (copy.height() - 900) / 2;
        EXPECT_NEAR(QColor(copy.pixel(800, top / 2)).red(), 250, 3);
        EXPECT_NEAR(QColor(copy.pixel(800, copy.height() - top / 2)).blue(), 230, 3);
        bool found = false;
        for (int y = top - 16; y <= top + 16 && !found; ++y)
            found = samples::MeanDifference(copy.copy(0, y, 1600, 900), scene) < 0.015;
        EXPECT_TRUE(found);
        QFile::remove(made.path);
    }
    // Without a mat it keeps its proportions, fitted into the place.
    const QString file = test::WriteFile(dir.filePath("plain.jpg"), Encoded(scene, "JPG"));
    const PreparedPhoto plain = One(file, dir.path(), PhotoPlace{QSize(8000, 8000), QColor()}, PhotoFit::Whole);
    EXPECT_EQ(QImage(plain.path).size(), scene.size());
    EXPECT_EQ(plain.size, QSize(8000, 4500));
}

TEST(PhotoPrep, TodaysKindsBecomeAJpegOrWithTransparencyWhereNoMatShowsAPng)
{
    QTemporaryDir dir;
    const QImage scene = samples::FinePattern(QSize(320, 240), 16);
    QImage clear = scene.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) clear.setPixelColor(x, y, QColor(0, 0, 0, 0));
    struct Case {
        QString file;
        const char* made;
        QColor mat = Qt::white;
    };
    const QString transparent = test::WriteFile(dir.filePath("c.webp"), Encoded(clear, "WEBP", 100));
    std::vector<Case> cases{{test::WriteFile(dir.filePath("a.webp"), Encoded(scene, "WEBP", 95)), ".jpg"},
                            {test::WriteFile(dir.filePath("b.tif"), Encoded(scene, "TIFF")), ".jpg"},
                            // In a frame, laid on its mat; with nothing behind it but the page, kept clear.
                            {transparent, ".jpg", QColor(10, 200, 10)},
                            {transparent, ".png", QColor()}};
    ASSERT_TRUE(samples::WriteHeif(scene, dir.filePath("d.heic"), samples::HeifCodec::Hevc));
    ASSERT_TRUE(samples::WriteHeif(scene, dir.filePath("e.avif"), samples::HeifCodec::Av1));
    cases.push_back({dir.filePath("d.heic"), ".jpg"});
    cases.push_back({dir.filePath("e.avif"), ".jpg"});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file.toStdString());
        const PreparedPhoto made = One(c.file, dir.path(), Place(4, 3, c.mat), c.mat.isValid() ? PhotoFit::Fill : PhotoFit::Whole);
        EXPECT_TRUE(made.path.endsWith(c.made)) << made.path.toStdString();
        EXPECT_TRUE(made.path.startsWith(dir.path()));
        const QImage picture(made.path);
        EXPECT_EQ(picture.size(), scene.size());
        if (c.file != transparent) {
            EXPECT_LT(samples::MeanDifference(picture, scene), 0.04);
        }
        if (QString(c.made) == ".png") {
            EXPECT_EQ(picture.pixelColor(0, 0).alpha(), 0);
        } else if (c.file == transparent) {
            EXPECT_NEAR(picture.pixelColor(4, 4).green(), 200, 12);  // the mat's
        }
        // A small photo: it says how sharp it prints.
        EXPECT_NEAR(made.ppi, 320 / (10000 / 2540.0), 0.5);
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
    try {
        PreparePhoto(text, dir.path(), {Place(4, 3)}, PhotoFit::Fill);
        ADD_FAILURE() << "a text was taken for a photo";
    } catch (const PhotoError& e) {
        EXPECT_EQ(e.problem(), PhotoProblem::NotAPicture);
    }
    // The window's browse says the same of the cut photo, rather than taking a grey half of it.
    try {
        LoadPicture(cut, QSize(48, 39));
        ADD_FAILURE() << "a cut photo was read";
    } catch (const AppError& e) {
        EXPECT_EQ(e.description(), "The picture is damaged (cut short or corrupt): " + cut);
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 5u);  // nothing made
}
