// Word's members on a real office: what a card recipe does to a document,
// checked in the saved file as the office reads it back, and in its picture.

#include "cardgen/page_export.h"
#include "engine/libreoffice/lo_backend.h"
#include "engine/libreoffice/office_session.h"
#include "tests/support/engine_failure.h"
#include "tools/docbuild/doc_builder.h"
#include "tools/docbuild/doc_reader.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using marigal::test::EngineFailure;
using namespace marigal;
using namespace marigal::engine;
using docbuild::DocBuilder;
using docbuild::DocReader;

namespace {

Arg Named(const char16_t* name, Value v)
{
    return Arg(name, std::move(v));
}

// A photo of one colour, or of two halves (left, right).
QString WritePhoto(const QString& path, QSize size, QColor left, QColor right = QColor(), int dpi = 72)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(left);
    if (right.isValid()) QPainter(&image).fillRect(size.width() / 2, 0, size.width() / 2, size.height(), right);
    image.setDotsPerMeterX(int(dpi / 0.0254));
    image.setDotsPerMeterY(int(dpi / 0.0254));
    image.save(path, "JPG", 95);
    return path;
}

// The same photo as a camera that was held on its side stores it: the
// pixels as taken, and an orientation tag saying "turn 90 degrees clockwise".
QString AddOrientation(const QString& path, quint16 orientation)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    QByteArray jpeg = f.readAll();
    f.close();
    QByteArray tiff("II*\0\x08\0\0\0", 8);
    tiff += QByteArray("\x01\0", 2);                         // one entry
    tiff += QByteArray("\x12\x01\x03\0\x01\0\0\0", 8);       // orientation, SHORT, count 1
    tiff += char(orientation & 0xff);
    tiff += char(orientation >> 8);
    tiff += QByteArray("\0\0\0\0\0\0", 6);                   // value padding, no next directory
    const QByteArray payload = QByteArray("Exif\0\0", 6) + tiff;
    QByteArray segment("\xff\xe1", 2);
    const int length = int(payload.size()) + 2;
    segment += char(length >> 8);
    segment += char(length & 0xff);
    segment += payload;
    jpeg.insert(2, segment);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(jpeg);
    return path;
}

struct Centre {
    double x = 0, y = 0;
    int count = 0;
};

// Where the pixels close to `colour` lie in a picture.
Centre Find(const QImage& image, QColor colour)
{
    Centre c;
    for (int y = 0; y < image.height(); y += 2)
        for (int x = 0; x < image.width(); x += 2) {
            const QColor p = image.pixelColor(x, y);
            if (std::abs(p.red() - colour.red()) < 40 && std::abs(p.green() - colour.green()) < 40 &&
                std::abs(p.blue() - colour.blue()) < 40) {
                c.x += x;
                c.y += y;
                ++c.count;
            }
        }
    if (c.count) {
        c.x /= c.count;
        c.y /= c.count;
    }
    return c;
}

const QColor kPhotoRed(220, 30, 30);
const QColor kPhotoBlue(30, 40, 220);

// A page of 10 x 14 cm with the kinds of object a design holds.
constexpr int kPageW = 10000, kPageH = 14000;
const QRect kPhotoFrame(1000, 1000, 8000, 6000);
const QRect kMessageBox(1000, 8000, 8000, 2000);
const QRect kCoverBox(1000, 1000, 8000, 12000);  // on page 2

}  // namespace

class WordMembers : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir_ = new QTemporaryDir;
        session_ = lo::OfficeSession::start({});
        {
            DocBuilder b(*session_);
            b.setPage(kPageW, kPageH, 500);
            b.addParagraph(QStringLiteral("Front"));
            b.addPageBreak();
            b.addParagraph(QStringLiteral("Inside"));
            docbuild::TextPlaceContent empty;
            empty.line = Qt::black;
            b.addTextPlace(QStringLiteral("Rectangle 27"), kPhotoFrame, empty);
            docbuild::TextPlaceContent message;
            message.text = QStringLiteral("Your personal message here");
            b.addTextPlace(QStringLiteral("Text Box 2"), kMessageBox, message);
            b.addShape(QStringLiteral("Rectangle 4"), QRect(1000, 10500, 8000, 500), QColor(200, 230, 200));
            docbuild::TextPlaceContent cover;
            cover.picture = QImage(300, 300, QImage::Format_RGB32);
            cover.picture.fill(QColor(40, 180, 60));
            cover.pictureSize = QSize(2000, 2000);
            b.addTextPlace(QStringLiteral("Text Box 5"), kCoverBox, cover, 2);
            b.addWordArt(QStringLiteral("WordArt 55"), QRect(1000, 11500, 8000, 2000),
                         QStringLiteral("thinking\nof you..."));
            b.saveAs(dir_->filePath("card.dot"), docbuild::Format::Dot);
        }
        {
            DocBuilder b(*session_);
            b.setPage(kPageW, kPageH, 500);
            b.addBookmarkAtStart(QStringLiteral("btext"));
            b.addEmptyParagraphs(4);
            QImage own(200, 150, QImage::Format_RGB32);
            own.fill(QColor(40, 180, 60));
            b.addInlinePicture(own, 4000, 3000);
            b.saveAs(dir_->filePath("body.dot"), docbuild::Format::Dot);
        }
    }
    static void TearDownTestSuite()
    {
        session_.reset();  // quits its office
        WaitForQuittingOffices();  // which removes its pipe once it has ended
        delete dir_;
    }

    QString path(const QString& name) const { return dir_->filePath(name); }

    static Object open(const Object& app, const QString& file)
    {
        return Object(app.obj(u"Documents")
                          .call(u"Open", {Value::stringRef(file), Named(u"ReadOnly", Value::boolean(true))})
                          .toDispatch());
    }

    LibreOfficeBackend backend_;
    static QTemporaryDir* dir_;
    static std::shared_ptr<lo::OfficeSession> session_;
};

QTemporaryDir* WordMembers::dir_ = nullptr;
std::shared_ptr<lo::OfficeSession> WordMembers::session_;

TEST_F(WordMembers, ShapesAndBookmarksAreFoundByTheirNames)
{
    Object app = backend_.create(kWordProgId);
    Object doc = open(app, path("card.dot"));
    EXPECT_EQ(doc.obj(u"Shapes", {Value::string(u"Text Box 2")}).get(u"Name").toString(), u"Text Box 2");
    EXPECT_EQ(app.obj(u"ActiveDocument").obj(u"Shapes", {Value::string(u"Text Box 5")}).get(u"Name").toString(),
              u"Text Box 5");
    EXPECT_EQ(doc.obj(u"Shapes", {Value::string(u"Rectangle 27")}).get(u"Name").toString(), u"Rectangle 27");
    EXPECT_EQ(doc.obj(u"Shapes", {Value::string(u"Rectangle 4")}).get(u"Name").toString(), u"Rectangle 4");
    EXPECT_EQ(doc.obj(u"Shapes", {Value::string(u"WordArt 55")}).obj(u"TextEffect").get(u"Text").toString(),
              u"thinking\nof you...");
    EXPECT_EQ(EngineFailure([&] { doc.obj(u"Shapes", {Value::string(u"Text Box 9")}); }), errtext::kItemNotFound);
    EXPECT_EQ(EngineFailure([&] { doc.obj(u"Bookmarks").obj(u"Item", {Value::string(u"nope")}); }),
              errtext::kNoSuchBookmark);
    EXPECT_EQ(EngineFailure([&] { doc.call(u"PrintOut"); }), errtext::kNoSuchMember);
    EXPECT_EQ(EngineFailure([&] { app.obj(u"Selection").call(u"MoveDown", {Named(u"Unit", Value::int32(9))}); }),
              errtext::kValueOutOfRange);
    // ActiveDocument.Application is the application itself.
    EXPECT_EQ(doc.obj(u"Application").dispatch(), app.dispatch());
    app.call(u"Quit");
    EXPECT_EQ(EngineFailure([&] { doc.get(u"Name"); }), errtext::kServerGone);
}

TEST_F(WordMembers, TypingReplacesTheBoxTextAndWordArtTakesTheMessage)
{
    Object app = backend_.create(kWordProgId);
    Object doc = open(app, path("card.dot"));
    doc.obj(u"Shapes", {Value::string(u"Text Box 2")}).call(u"Select");
    Object sel = doc.obj(u"Application").obj(u"Selection");
    // Word's line break (a vertical tab) is a line break; a control character
    // no document holds is left out rather than losing the whole text.
    sel.call(u"TypeText", {Named(u"Text", Value::stringRef(u"Happy birthday,\vAnn!\u0001"))});
    sel.call(u"TypeParagraph");
    sel.call(u"TypeBackspace");
    sel.path(u"ShapeRange.TextFrame.TextRange").call(u"Select");
    EXPECT_EQ(sel.get(u"Text").toString(), u"Happy birthday,\nAnn!");
    doc.obj(u"Shapes", {Value::string(u"Rectangle 4")}).call(u"Select");
    doc.obj(u"Shapes", {Value::string(u"WordArt 55")}).obj(u"TextEffect").put(u"Text", Value::string(u"Get\vwell"));
    const QString out = path("typed é #1 50%.doc");
    doc.call(u"SaveAs", {Value::stringRef(out)});
    app.put(u"DisplayAlerts", Value::boolean(false));
    EXPECT_EQ(app.get(u"DisplayAlerts").toInt(), 0);
    doc.call(u"Close");
    EXPECT_EQ(app.obj(u"Documents").get(u"Count").toInt(), 0);
    app.call(u"Quit");

    DocReader saved(*session_, out);
    EXPECT_EQ(saved.filterName(), QStringLiteral("MS Word 97"));
    QStringList texts;
    for (const auto& f : saved.frames()) texts << f.text;
    EXPECT_TRUE(texts.contains(QStringLiteral("Happy birthday,\nAnn!"))) << texts.join('|').toStdString();
    bool wordArt = false;
    for (const auto& o : saved.drawObjects())
        if (o.name == QStringLiteral("WordArt 55")) {
            wordArt = true;
            EXPECT_EQ(o.text, QStringLiteral("Get\nwell"));
        }
    EXPECT_TRUE(wordArt);
    // Nothing left beside the files: no lock files.
    for (const QString& name : QDir(dir_->path()).entryList(QDir::Files | QDir::Hidden))
        EXPECT_FALSE(name.startsWith(QStringLiteral(".~lock"))) << name.toStdString();
}

TEST_F(WordMembers, PhotoFillsTheFrameEmbeddedAndNotStretched)
{
    const QString photo = WritePhoto(path("photo.jpg"), QSize(1600, 900), kPhotoRed);  // 56 x 32 cm at 72 dpi
    Object app = backend_.create(kWordProgId);
    Object doc = open(app, path("card.dot"));
    doc.obj(u"Shapes", {Value::string(u"Rectangle 27")}).call(u"Select");
    Object sel = doc.obj(u"Application").obj(u"Selection");
    sel.path(u"ShapeRange.TextFrame.TextRange").call(u"Select");
    sel.call(u"Collapse");
    sel.obj(u"InlineShapes")
        .call(u"AddPicture", {Named(u"filename", Value::string(photo)), Named(u"LinkToFile", Value::boolean(false)),
                              Named(u"SaveWithDocument", Value::boolean(true))});
    sel.obj(u"ShapeRange").call(u"Select");
    sel.call(u"Collapse");
    const QString out = path("photo.doc");
    doc.call(u"SaveAs", {Value::stringRef(out)});
    doc.call(u"Close");
    app.call(u"Quit");
    QFile::remove(photo);

    // The saved card, opened without the photo file, shows the photo in the frame.
    Object viewer = backend_.create(kWordProgId);
    Object card = open(viewer, out);
    card.obj(u"Range").call(u"CopyAsPicture");
    card.call(u"Close", {Named(u"savechanges", Value::int32(0))});
    viewer.call(u"Quit");
    const QImage picture = GetClipboardPicture(backend_, 0);
    ASSERT_FALSE(picture.isNull());
    const double scale = picture.height() / double(kPageH);
    const Centre red = Find(picture, kPhotoRed);
    ASSERT_GT(red.count, 0);
    // Scaled to the frame's width (16:9 fits 8 x 6 cm as 8 x 4.5), kept inside it.
    const double area = red.count * 4.0 / (scale * scale);  // 1/100 mm squared
    EXPECT_NEAR(area, 8000.0 * 4500.0, 8000.0 * 4500.0 * 0.15);
    EXPECT_GT(red.x / scale, kPhotoFrame.left());
    EXPECT_LT(red.x / scale, kPhotoFrame.right());
    EXPECT_GT(red.y / scale, kPhotoFrame.top());
    EXPECT_LT(red.y / scale, kPhotoFrame.bottom());
}

TEST_F(WordMembers, PhotoReplacesTheBoxPictureAtTheBoxFullSize)
{
    // A tall photo: the box's real height (not the one line the import gives
    // the box) decides its size.
    const QString photo = WritePhoto(path("tall.jpg"), QSize(600, 1200), kPhotoBlue);
    Object app = backend_.create(kWordProgId);
    Object doc = open(app, path("card.dot"));
    doc.obj(u"Shapes", {Value::string(u"Text Box 5")}).call(u"Select");
    Object sel = doc.obj(u"Application").obj(u"Selection");
    sel.obj(u"InlineShapes").call(u"AddPicture", {Named(u"filename", Value::string(photo))});
    sel.obj(u"ShapeRange").call(u"Select");
    sel.call(u"Collapse");
    doc.obj(u"Range").call(u"CopyAsPicture");
    app.call(u"Quit");

    const QImage picture = GetClipboardPicture(backend_, 0);
    EXPECT_EQ(Find(picture, QColor(40, 180, 60)).count, 0);  // the box's own picture was replaced
    const double scale = picture.height() / double(kPageH);
    const Centre blue = Find(picture, kPhotoBlue);
    ASSERT_GT(blue.count, 0);
    // 1:2 in a box of 8 x 12 cm: 6 x 12 cm, on the second page.
    EXPECT_NEAR(blue.count * 4.0 / (scale * scale), 6000.0 * 12000.0, 6000.0 * 12000.0 * 0.15);
    EXPECT_GT(blue.x / scale, kPageW);
}

TEST_F(WordMembers, BookmarkTakesTheMessageAndTheInlinePictureIsReplacedUpright)
{
    // Taken on its side: the pixels have red left, blue right; upright, red is on top.
    const QString photo =
        AddOrientation(WritePhoto(path("side.jpg"), QSize(400, 200), kPhotoRed, kPhotoBlue), 6);
    Object app = backend_.create(kWordProgId);
    Object doc = open(app, path("body.dot"));
    doc.obj(u"Bookmarks").obj(u"Item", {Value::string(u"btext")}).obj(u"Range").call(u"Select");
    Object sel = app.obj(u"Selection");
    sel.call(u"MoveDown", {Named(u"Unit", Value::int32(5)), Named(u"Count", Value::int16(4))});
    sel.call(u"Delete", {Named(u"Unit", Value::int32(1)), Named(u"Count", Value::int16(1))});
    sel.obj(u"InlineShapes")
        .call(u"AddPicture", {Named(u"filename", Value::string(photo)), Named(u"LinkToFile", Value::boolean(false)),
                              Named(u"SaveWithDocument", Value::boolean(true))});
    doc.obj(u"Bookmarks").obj(u"Item", {Value::string(u"btext")}).obj(u"Range").put(u"Text",
                                                                                   Value::string(u"Dear Ann"));
    const QString out = path("body.doc");
    doc.call(u"SaveAs", {Value::stringRef(out)});
    doc.call(u"Close");
    app.call(u"Quit");
    // The saved card, as the page picture's own office opens it, shows the
    // photo upright.
    Object viewer = backend_.create(kWordProgId);
    Object(viewer.obj(u"Documents").call(u"Open", {Value::stringRef(out)}).toDispatch()).obj(u"Range").call(
        u"CopyAsPicture");
    viewer.call(u"Quit");

    DocReader saved(*session_, out);
    const auto paragraphs = saved.paragraphs();
    ASSERT_GE(paragraphs.size(), 5u);
    EXPECT_EQ(paragraphs[0].text, QStringLiteral("Dear Ann"));
    EXPECT_EQ(paragraphs[4].inlineObjects.size(), 1);  // the photo, in place of the design's own picture
    EXPECT_EQ(saved.pageCount(), 1);  // a tall photo fits below the lines above it
    saved.close();

    const QImage picture = GetClipboardPicture(backend_, 0);
    EXPECT_EQ(Find(picture, QColor(40, 180, 60)).count, 0);  // the old picture is gone
    const Centre red = Find(picture, kPhotoRed), blue = Find(picture, kPhotoBlue);
    ASSERT_GT(red.count, 0);
    ASSERT_GT(blue.count, 0);
    EXPECT_LT(red.y, blue.y);  // upright: the camera's left is the top
    EXPECT_NEAR(red.x, blue.x, picture.width() * 0.02);
}

TEST_F(WordMembers, APhonesFullSizePhotoGoesIn)
{
    // 8000 x 6000: past the picture library's default decoding limit, which
    // made it "not a picture" when this program decoded photos itself.
    QImage big(8000, 6000, QImage::Format_RGB888);
    big.fill(kPhotoBlue);
    const QString photo = path("phone.jpg");
    ASSERT_TRUE(big.save(photo, "JPG", 80));
    big = QImage();
    Object app = backend_.create(kWordProgId);
    Object doc = open(app, path("card.dot"));
    doc.obj(u"Shapes", {Value::string(u"Rectangle 27")}).call(u"Select");
    Object sel = app.obj(u"Selection");
    sel.obj(u"InlineShapes")
        .call(u"AddPicture", {Named(u"filename", Value::string(photo)), Named(u"LinkToFile", Value::boolean(false)),
                              Named(u"SaveWithDocument", Value::boolean(true))});
    doc.obj(u"Range").call(u"CopyAsPicture");
    app.call(u"Quit");
    EXPECT_GT(Find(GetClipboardPicture(backend_, 0), kPhotoBlue).count, 1000);
}

TEST_F(WordMembers, ASaveTheOfficeCannotFinishLeavesNoTemporaryFile)
{
    Object app = backend_.create(kWordProgId);
    Object doc = open(app, path("card.dot"));
    // The office this test started is the newest child of ours: files it
    // writes stop at 4 kB, which ends it in the middle of the save.
    pid_t office = -1;
    for (const QString& name : QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat("/proc/" + name + "/stat");
        if (!stat.open(QIODevice::ReadOnly)) continue;
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        const pid_t pid = name.toInt();
        if (line.contains("(soffice.bin)") && fields.value(1).toInt() == ::getpid() &&
            pid != session_->processGroup())
            office = std::max(office, pid);
    }
    ASSERT_NE(office, -1);
    const struct rlimit small{4096, 4096};
    ASSERT_EQ(::prlimit(office, RLIMIT_FSIZE, &small, nullptr), 0);
    QDir().mkpath(path("cut"));
    EXPECT_NE(EngineFailure([&] { doc.call(u"SaveAs", {Value::stringRef(path("cut/card.doc"))}); }), u"(no error)");
    EXPECT_EQ(QDir(path("cut")).entryList(QDir::Files | QDir::Hidden | QDir::System).filter(".tmp"), QStringList());
    EngineFailure([&] { app.call(u"Quit"); });  // it may have ended with the save
}

TEST_F(WordMembers, BadInputsReadLikeWordErrors)
{
    const QString text = path("notes.jpg");
    QFile f(text);
    f.open(QIODevice::WriteOnly);
    f.write("just words, no picture");
    f.close();
    Object app = backend_.create(kWordProgId);
    EXPECT_EQ(EngineFailure([&] { app.obj(u"Selection"); }), errtext::kNoDocument);
    EXPECT_EQ(EngineFailure([&] { app.obj(u"Documents").call(u"Open", {Value::stringRef(path("missing.dot"))}); }),
              errtext::kDocumentNotFound);
    Object doc = open(app, path("card.dot"));
    Object sel = app.obj(u"Selection");
    doc.obj(u"Shapes", {Value::string(u"Rectangle 27")}).call(u"Select");
    auto add = [&](const QString& file) {
        sel.obj(u"InlineShapes").call(u"AddPicture", {Named(u"filename", Value::string(file))});
    };
    EXPECT_EQ(EngineFailure([&] { add(path("gone.jpg")); }), errtext::kPictureNotFound);
    EXPECT_EQ(EngineFailure([&] { add(text); }), errtext::kNotAPicture);
    // Nothing named as a photo may block: a named pipe no one writes to, a
    // device that never ends.
    const QString fifo = path("pipe.jpg");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_EQ(EngineFailure([&] { add(fifo); }), errtext::kNotAPicture);
    EXPECT_EQ(EngineFailure([&] { add("/dev/zero"); }), errtext::kNotAPicture);
    const QString locked = WritePhoto(path("locked.jpg"), QSize(40, 30), kPhotoRed);
    QFile::setPermissions(locked, QFileDevice::WriteOwner);
    if (::geteuid() != 0) {  // root reads it all the same
        EXPECT_EQ(EngineFailure([&] { add(locked); }), errtext::kPictureUnreadable);
    }
    EXPECT_EQ(EngineFailure([&] { doc.call(u"SaveAs", {Value::stringRef(path("no/such/folder/x.doc"))}); }),
              errtext::kCannotSave);
    // Closing without saving leaves the template as it was.
    QFile original(path("card.dot"));
    original.open(QIODevice::ReadOnly);
    const QByteArray before = original.readAll();
    original.close();
    doc.call(u"Close", {Named(u"savechanges", Value::int32(0))});
    EXPECT_EQ(EngineFailure([&] { doc.call(u"Close"); }), errtext::kObjectDeleted);
    app.call(u"Quit");
    original.open(QIODevice::ReadOnly);
    EXPECT_EQ(original.readAll(), before);
}
