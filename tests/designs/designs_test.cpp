// The card designs and the other generated resources: what is committed under
// resources/ is what tools/make_designs makes today, each design holds the
// objects the card recipes address, of the kind they expect, and every object
// is still where it was put after the round trip through the Word file.

#include "common/widgets/pointer.h"
#include "engine/libreoffice/lo_backend.h"
#include "engine/libreoffice/lo_render.h"
#include "tools/docbuild/doc_builder.h"
#include "tools/docbuild/doc_reader.h"
#include "tools/docbuild/uno_util.h"
#include "tools/make_designs/artwork.h"
#include "tools/make_designs/designs.h"
#include "tools/make_designs/paint.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>

#include <com/sun/star/util/XCloseable.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>

using namespace marigal;
using designs::DesignInfo;
using designs::PlacedObject;
using docbuild::DocReader;

namespace {

const QDir kResources(QStringLiteral(MARIGAL_SOURCE_DIR "/resources"));

// What the card recipes rely on in each design.
enum class Kind {
    PhotoFrame,  // a text place holding a picture
    EmptyFrame,  // a text place with neither text nor picture
    TextPlace,   // a text place holding text
    Shape,       // a plain rectangle
    WordArt,
};

struct Expected {
    QString name;
    Kind kind;
    QString text;
};

struct DesignCase {
    int id;
    QString templateName;
    int pages;
    std::vector<Expected> objects;
};

const std::vector<DesignCase> kCases{
    {105,
     QStringLiteral("06087306.dot"),
     1,
     {{QStringLiteral("Rectangle 27"), Kind::EmptyFrame, QString()},
      {QStringLiteral("Text Box 2"), Kind::TextPlace, QStringLiteral("Your personal message here")},
      {QStringLiteral("Rectangle 4"), Kind::Shape, QString()}}},
    {101,
     QStringLiteral("Clouds"),
     2,
     {{QStringLiteral("Text Box 97"), Kind::PhotoFrame, QString()},
      {QStringLiteral("Text Box 20"), Kind::TextPlace, QString()},
      {QStringLiteral("Text Box 106"), Kind::TextPlace, QString()}}},
    {103,
     QStringLiteral("Hearts"),
     1,
     {{QStringLiteral("Text Box 5"), Kind::PhotoFrame, QString()},
      {QStringLiteral("Text Box 4"), Kind::TextPlace, QString()}}},
    {104,
     QStringLiteral("Meadow_"),
     1,
     {{QStringLiteral("Text Box 33"), Kind::PhotoFrame, QString()},
      {QStringLiteral("Text Box 30"), Kind::TextPlace, QStringLiteral("Your personal\nmessage here")},
      {QStringLiteral("WordArt 55"), Kind::WordArt, QStringLiteral("thinking\nof you...")}}},
    {102,
     QStringLiteral("Flowers"),
     1,
     {{QStringLiteral("Text Box 14"), Kind::PhotoFrame, QString()},
      {QStringLiteral("Text Box 15"), Kind::PhotoFrame, QString()},
      {QStringLiteral("Text Box 16"), Kind::PhotoFrame, QString()},
      {QStringLiteral("Text Box 3"), Kind::TextPlace, QString()},
      {QStringLiteral("WordArt 5"), Kind::WordArt, QStringLiteral(" Just waiting to hear from you...")}}},
    {106, QStringLiteral("YellowFlower"), 1, {}},
};

// Word keeps lengths in twips: a hundredth of a millimetre is lost each way.
constexpr int kSlack = 3;

QString Committed(int id)
{
    return kResources.filePath(designs::DesignFile(id));
}

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The share of pixels whose colour differs by more than `tolerance` in any channel.
double DifferentPixels(const QImage& a, const QImage& b, int tolerance)
{
    if (a.size() != b.size()) return 1.0;
    const QImage x = a.convertToFormat(QImage::Format_ARGB32), y = b.convertToFormat(QImage::Format_ARGB32);
    qint64 differ = 0;
    for (int row = 0; row < x.height(); ++row) {
        const auto* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
        const auto* q = reinterpret_cast<const QRgb*>(y.constScanLine(row));
        for (int col = 0; col < x.width(); ++col) {
            if (std::abs(qRed(p[col]) - qRed(q[col])) > tolerance ||
                std::abs(qGreen(p[col]) - qGreen(q[col])) > tolerance ||
                std::abs(qBlue(p[col]) - qBlue(q[col])) > tolerance ||
                std::abs(qAlpha(p[col]) - qAlpha(q[col])) > tolerance)
                ++differ;
        }
    }
    return double(differ) / (double(x.width()) * x.height());
}

template <class T>
const T* Named(const std::vector<T>& items, const QString& name)
{
    const auto it = std::find_if(items.begin(), items.end(), [&](const T& i) { return i.name == name; });
    return it == items.end() ? nullptr : &*it;
}

class DesignTemplates : public ::testing::Test {
protected:
    // One office for the whole suite.
    static void SetUpTestSuite()
    {
        dir_ = new QTemporaryDir;
        engine::LibreOfficeOptions options;
        options.profileRoot = dir_->filePath(QStringLiteral("profiles"));
        session_ = engine::lo::OfficeSession::start(options);
    }

    static void TearDownTestSuite()
    {
        session_->quit();
        session_.reset();
        engine::WaitForQuittingOffices();  // its profile is in use until it has ended
        built_.clear();
        delete dir_;
        dir_ = nullptr;
    }

    // The design as the generator makes it now, built once for the suite.
    static const DesignInfo& Built(int id)
    {
        if (!built_.count(id)) built_[id] = designs::BuildDesign(*session_, id, Fresh(id));
        return built_.at(id);
    }
    static QString Fresh(int id) { return dir_->filePath(QStringLiteral("design%1.dot").arg(id)); }

    // The document's pages at a low resolution.
    static QImage Render(const QString& path)
    {
        using namespace css::uno;
        Reference<css::lang::XComponent> doc;
        session_->call([&] {
            doc.set(session_->desktop()->loadComponentFromURL(
                        docbuild::fileUrl(path), docbuild::ou("_blank"), 0,
                        docbuild::namedValues(
                            {{"Hidden", Any(true)}, {"ReadOnly", Any(true)}, {"AsTemplate", Any(false)}})),
                    UNO_QUERY_THROW);
        });
        const QImage picture = engine::lo::RenderDocument(*session_, doc, 24);
        session_->call([&] { Reference<css::util::XCloseable>(doc, UNO_QUERY_THROW)->close(true); });
        return picture;
    }

    static QTemporaryDir* dir_;
    static std::shared_ptr<engine::lo::OfficeSession> session_;
    static std::map<int, DesignInfo> built_;
};

QTemporaryDir* DesignTemplates::dir_ = nullptr;
std::shared_ptr<engine::lo::OfficeSession> DesignTemplates::session_;
std::map<int, DesignInfo> DesignTemplates::built_;

}  // namespace

TEST_F(DesignTemplates, CommittedDesignsAreWhatTheGeneratorMakes)
{
    for (const int id : designs::kDesignIds) {
        SCOPED_TRACE(id);
        ASSERT_TRUE(QFileInfo::exists(Committed(id))) << "run make_designs and copy its output to resources/";
        Built(id);
        QString committed, fresh;
        {
            DocReader r(*session_, Committed(id));
            committed = r.dump();
        }
        {
            DocReader r(*session_, Fresh(id));
            fresh = r.dump();
        }
        // Objects, names, texts, anchors, page size and count, template name.
        EXPECT_EQ(committed.toStdString(), fresh.toStdString());
        // And the same artwork, where everything lies.
        const QImage a = Render(Committed(id)), b = Render(Fresh(id));
        ASSERT_FALSE(a.isNull());
        EXPECT_EQ(a.size(), b.size());
        EXPECT_LT(DifferentPixels(a, b, 6), 0.0005);
        // Made again, the same: a shape that lands somewhere else one time in
        // a few would otherwise be committed sooner or later.
        const QString again = dir_->filePath(QStringLiteral("again%1.dot").arg(id));
        designs::BuildDesign(*session_, id, again);
        {
            DocReader r(*session_, again);
            EXPECT_EQ(fresh.toStdString(), r.dump().toStdString());
        }
        EXPECT_EQ(DifferentPixels(b, Render(again), 0), 0.0);
    }
}

TEST_F(DesignTemplates, EachDesignHoldsWhatTheRecipesAddress)
{
    for (const DesignCase& c : kCases) {
        SCOPED_TRACE(c.id);
        DocReader r(*session_, Committed(c.id));
        EXPECT_EQ(r.templateName(), c.templateName);
        EXPECT_EQ(r.pageCount(), c.pages);
        EXPECT_EQ(r.filterName(), QStringLiteral("MS Word 97 Vorlage"));
        const auto bookmarks = r.bookmarks();
        const auto frames = r.frames();
        const auto objects = r.drawObjects();
        for (const Expected& e : c.objects) {
            SCOPED_TRACE(e.name.toStdString());
            if (e.kind == Kind::Shape || e.kind == Kind::WordArt) {
                const auto* o = Named(objects, e.name);
                ASSERT_NE(o, nullptr);
                EXPECT_FALSE(o->textBox);
                EXPECT_EQ(o->text, e.text);
                if (e.kind == Kind::WordArt) {
                    EXPECT_TRUE(o->customShapeType.startsWith(QStringLiteral("fontwork")));
                } else {
                    EXPECT_EQ(o->customShapeType, QStringLiteral("rectangle"));
                }
                continue;
            }
            // A text place: its text box starts with the bookmark the engine
            // gives the name back from.
            const auto* b = Named(bookmarks, docbuild::DocBuilder::bookmarkName(e.name));
            ASSERT_NE(b, nullptr);
            EXPECT_TRUE(b->collapsed);
            EXPECT_TRUE(b->atStart);
            const auto* f = Named(frames, b->where);
            ASSERT_NE(f, nullptr) << b->where.toStdString();
            if (!e.text.isEmpty()) {
                EXPECT_EQ(f->text, e.text);
            }
            // A photo frame's own picture lies in a paragraph below an empty one.
            EXPECT_EQ(f->text.trimmed().isEmpty(), e.kind != Kind::TextPlace);
            EXPECT_EQ(f->inlineObjects, e.kind == Kind::PhotoFrame ? QStringList{"SwXTextGraphicObject"} : QStringList{});
        }
    }
}

TEST_F(DesignTemplates, CardsCarryTheirOwnTexts)
{
    QStringList clouds, flowers;
    {
        DocReader r(*session_, Committed(101));
        for (const auto& p : r.paragraphs()) clouds << p.text;
        for (const auto& f : r.frames()) clouds << f.text;
        const auto paragraphs = r.paragraphs();
        EXPECT_TRUE(std::any_of(paragraphs.begin(), paragraphs.end(), [](const auto& p) { return p.pageBreakBefore; }));
    }
    const QString all = clouds.join(QLatin1Char('\n'));
    EXPECT_TRUE(all.contains(QStringLiteral("your message"))) << all.toStdString();
    EXPECT_TRUE(all.contains(QStringLiteral("5 x 7 inch")));  // how to print, cut and fold it
    EXPECT_TRUE(std::any_of(clouds.begin(), clouds.end(), [](const QString& t) {
        return t.startsWith(QLatin1Char('[')) && t.endsWith(QLatin1Char(']')) && t.contains(QStringLiteral("hand"));
    }));
    {
        DocReader r(*session_, Committed(102));
        for (const auto& p : r.paragraphs()) flowers << p.text;
        for (const auto& f : r.frames()) flowers << f.text;
    }
    EXPECT_TRUE(flowers.contains(QStringLiteral("Write Soon!")));
}

TEST_F(DesignTemplates, YellowFlowerIsTheBookmarkFourEmptyLinesAndThePicture)
{
    DocReader r(*session_, Committed(106));
    const auto paragraphs = r.paragraphs();
    ASSERT_EQ(paragraphs.size(), 5u);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_TRUE(paragraphs[i].text.isEmpty());
        EXPECT_TRUE(paragraphs[i].inlineObjects.isEmpty());
    }
    EXPECT_TRUE(paragraphs[4].text.isEmpty());
    EXPECT_EQ(paragraphs[4].inlineObjects, QStringList{"SwXTextGraphicObject"});
    const auto bookmarks = r.bookmarks();
    ASSERT_EQ(bookmarks.size(), 1u);
    EXPECT_EQ(bookmarks[0].name, QStringLiteral("btext"));
    EXPECT_EQ(bookmarks[0].where, QStringLiteral("body"));
    EXPECT_TRUE(bookmarks[0].collapsed);
    EXPECT_TRUE(bookmarks[0].atStart);
    // No text anywhere: the message is the only text the card will have.
    EXPECT_TRUE(r.frames().empty());
    for (const auto& o : r.drawObjects()) EXPECT_TRUE(o.text.isEmpty()) << o.name.toStdString();
}

TEST_F(DesignTemplates, ObjectsKeepTheirPlaceThroughTheWordFile)
{
    for (const int id : designs::kDesignIds) {
        SCOPED_TRACE(id);
        const DesignInfo& info = Built(id);
        DocReader r(*session_, Committed(id));
        EXPECT_EQ(r.pageSize(), info.page);
        const auto objects = r.drawObjects();
        for (const PlacedObject& placed : info.objects) {
            SCOPED_TRACE(placed.name.toStdString());
            // Text places without a fill come back nameless: find them by place.
            const bool found = std::any_of(objects.begin(), objects.end(), [&](const auto& o) {
                return o.page == placed.page && std::abs(o.area.x() - placed.area.x()) <= kSlack &&
                       std::abs(o.area.y() - placed.area.y()) <= kSlack &&
                       std::abs(o.area.width() - placed.area.width()) <= kSlack &&
                       std::abs(o.area.height() - placed.area.height()) <= kSlack &&
                       (o.name.isEmpty() || o.name == placed.name);
            });
            EXPECT_TRUE(found);
        }
    }
}

TEST(DesignFiles, ShapeNamesAreStoredAsWordStoresThem)
{
    qint64 total = 0;
    for (const DesignCase& c : kCases) {
        SCOPED_TRACE(c.id);
        const QByteArray bytes = ReadAll(Committed(c.id));
        ASSERT_FALSE(bytes.isEmpty());
        total += bytes.size();
        for (const Expected& e : c.objects) {
            // UTF-16LE, ended by a 16-bit zero.
            QByteArray name(reinterpret_cast<const char*>(e.name.utf16()), e.name.size() * 2);
            name.append(2, '\0');
            EXPECT_TRUE(bytes.contains(name)) << e.name.toStdString();
        }
    }
    EXPECT_LT(total, 6 * 1024 * 1024);  // the program carries all six
}

TEST(DesignFiles, ProgramPicturesAreWhatTheGeneratorMakes)
{
    QTemporaryDir dir;
    designs::WriteProgramPictures(dir.path());
    for (const int size : {32, 48, 128, 256}) {
        SCOPED_TRACE(size);
        const QString name = QStringLiteral("icon/marigal-%1.png").arg(size);
        const QImage committed(kResources.filePath(name)), fresh(dir.filePath(name));
        ASSERT_EQ(committed.size(), QSize(size, size));
        EXPECT_TRUE(committed.hasAlphaChannel());
        EXPECT_EQ(qAlpha(committed.pixel(0, 0)), 0);                            // transparent around the card
        EXPECT_EQ(qAlpha(committed.pixel(size / 2, size / 2)), 255);            // the card itself is solid
        EXPECT_LT(DifferentPixels(committed, fresh, 2), 0.001);
    }

    const QCursor hand = LoadCursorFile(kResources.filePath(QStringLiteral("HAND-M.CUR")));
    EXPECT_EQ(hand.hotSpot(), designs::kHandHotSpot);
    const QImage pointer = hand.pixmap().toImage().convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(pointer.size(), QSize(32, 32));
    // The fingertip is the hot spot: black outline there, white just below it.
    EXPECT_EQ(pointer.pixel(designs::kHandHotSpot), qRgba(0, 0, 0, 255));
    EXPECT_EQ(pointer.pixel(designs::kHandHotSpot + QPoint(0, 1)), qRgba(255, 255, 255, 255));
    EXPECT_EQ(ReadAll(kResources.filePath(QStringLiteral("HAND-M.CUR"))),
              ReadAll(dir.filePath(QStringLiteral("HAND-M.CUR"))));

    const QImage sample(kResources.filePath(QStringLiteral("Samples/sample1.jpg")));
    EXPECT_EQ(sample.size(), QSize(1600, 1200));
    EXPECT_LT(DifferentPixels(sample, QImage(dir.filePath(QStringLiteral("Samples/sample1.jpg"))), 6), 0.001);
}

// The drawing underneath: the same pictures on every run and every machine.

TEST(Artwork, EveryPictureComesOutTheSameWhateverWasDrawnBefore)
{
    const auto frame = [] { return designs::CloudsFramePicture(QSize(5080, 2540), 60); };
    const auto flower = [] { return designs::YellowFlower(QSize(5080, 6000), 60); };
    const QImage first = frame();
    designs::HeartsCover(QSize(5080, 2540), 60);
    EXPECT_EQ(flower(), flower());
    EXPECT_EQ(frame(), first);
    EXPECT_EQ(designs::SamplePhoto(), designs::SamplePhoto());
}

TEST(Artwork, PicturesHaveTheSizeAndKindTheDocumentsNeed)
{
    // Two inches by one at 60 dpi.
    const QImage page = designs::MeadowPage(QSize(5080, 2540), QRect(500, 500, 2000, 1000), QRect(500, 100, 2000, 300), 60);
    EXPECT_EQ(page.size(), QSize(120, 60));
    EXPECT_NEAR(page.dotsPerMeterX() * 0.0254, 60, 0.1);
    EXPECT_FALSE(page.hasAlphaChannel());
    // Pictures that lie over others are clear around what they show.
    for (const QImage& overlay : {designs::HeartsGarland(QSize(9000, 1300), 100),
                                  designs::YellowFlower(QSize(8000, 11000), 60)}) {
        ASSERT_TRUE(overlay.hasAlphaChannel());
        EXPECT_EQ(qAlpha(overlay.pixel(0, 0)), 0);
        EXPECT_EQ(qAlpha(overlay.pixel(overlay.width() - 1, 0)), 0);
    }
}

TEST(Paint, RandomNumbersAreSplitMix64)
{
    // The reference generator's first outputs for seed 0 and 1234567.
    designs::Rng zero(0), other(1234567);
    EXPECT_EQ(zero.next(), 0xE220A8397B1DCDAFull);
    EXPECT_EQ(zero.next(), 0x6E789E6AA1B965F4ull);
    EXPECT_EQ(other.next(), 0x599ED017FB08FC85ull);
    designs::Rng r(7);
    for (int i = 0; i < 1000; ++i) {
        const double u = r.uniform();
        ASSERT_GE(u, 0.0);
        ASSERT_LT(u, 1.0);
        const int n = r.below(5);
        ASSERT_GE(n, 0);
        ASSERT_LT(n, 5);
    }
}

TEST(Paint, BlurSpreadsLightWithoutLosingIt)
{
    QImage dot = designs::Layer(QSize(41, 41));
    dot.setPixel(20, 20, qRgba(255, 255, 255, 255));
    designs::Blur(dot, 3);
    qint64 alpha = 0;
    for (int y = 0; y < dot.height(); ++y)
        for (int x = 0; x < dot.width(); ++x) alpha += qAlpha(dot.pixel(x, y));
    EXPECT_NEAR(alpha, 255, 255 * 0.1);  // rounding loses a little, no more
    EXPECT_LT(qAlpha(dot.pixel(20, 20)), 60);
    EXPECT_EQ(qAlpha(dot.pixel(17, 20)), qAlpha(dot.pixel(23, 20)));  // evenly both ways
    EXPECT_EQ(qAlpha(dot.pixel(20, 17)), qAlpha(dot.pixel(20, 23)));
    EXPECT_EQ(qAlpha(dot.pixel(0, 0)), 0);

    QImage even = designs::Layer(QSize(30, 20));
    even.fill(qRgba(10, 120, 200, 255));
    const QImage before = even.copy();
    designs::Blur(even, 4);
    EXPECT_EQ(even, before);  // a plain area stays as it is, edges included
}

TEST(Paint, HeartFillsItsSizeAndIsSymmetric)
{
    const QPainterPath heart = designs::HeartPath(QPointF(100, 100), 80);
    const QRectF box = heart.boundingRect();
    EXPECT_NEAR(box.width(), 80, 1);
    EXPECT_NEAR(box.center().x(), 100, 0.5);
    EXPECT_TRUE(heart.contains(QPointF(70, 90)));
    EXPECT_TRUE(heart.contains(QPointF(130, 90)));
    EXPECT_FALSE(heart.contains(QPointF(100, 70)));  // the dip between the lobes
    EXPECT_FALSE(heart.contains(QPointF(65, 130)));  // beside the point
}
