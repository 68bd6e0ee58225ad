// Word documents built through a real office and read back through the
// office's own Word import: what the engine will find in the documents the
// tests and the card designs are made of.

#include "engine/libreoffice/lo_backend.h"
#include "tools/docbuild/doc_builder.h"
#include "tools/docbuild/doc_reader.h"

#include <QDir>
#include <QFile>
#include <QPainter>
#include <QTemporaryDir>

#include <com/sun/star/container/XEnumerationAccess.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

using namespace marigal;
using namespace marigal::docbuild;

namespace {

constexpr int kPageWidth = 29700;
constexpr int kPageHeight = 21000;
// Word keeps lengths in twips: a hundredth of a millimetre is lost each way.
constexpr int kSlack = 3;

const QRect kMessageArea(2000, 2500, 8000, 5000);
const QRect kEmptyArea(12000, 2500, 6000, 4000);
const QRect kPictureBoxArea(12000, 9000, 6000, 5000);
const QRect kStripeArea(1000, 16000, 5000, 2000);
const QRect kWordArtArea(15000, 15000, 10000, 4000);
const QColor kMessageFill(255, 250, 205);
const QColor kStripeFill(0, 128, 64);
const QColor kWordArtColor(200, 0, 100);

QImage picture(const QColor& color)
{
    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setBrush(color);
    painter.drawEllipse(8, 4, 48, 40);
    return image;
}

template <class T>
const T* named(const std::vector<T>& items, const QString& name)
{
    const auto it = std::find_if(items.begin(), items.end(), [&](const T& item) { return item.name == name; });
    return it == items.end() ? nullptr : &*it;
}

// The draw-page objects at `area` of the given shape type.
std::vector<DrawObjectInfo> at(const std::vector<DrawObjectInfo>& objects, const QRect& area, const QString& type)
{
    std::vector<DrawObjectInfo> found;
    for (const auto& d : objects) {
        if (d.shapeType == type && std::abs(d.area.x() - area.x()) <= kSlack &&
            std::abs(d.area.y() - area.y()) <= kSlack)
            found.push_back(d);
    }
    return found;
}

void expectSize(const QSize& actual, const QSize& expected)
{
    EXPECT_NEAR(actual.width(), expected.width(), kSlack);
    EXPECT_NEAR(actual.height(), expected.height(), kSlack);
}

class DocBuildTest : public ::testing::Test {
protected:
    // One office for the whole suite: starting one costs more than a test.
    static void SetUpTestSuite()
    {
        profiles_ = new QTemporaryDir;
        engine::LibreOfficeOptions options;
        options.profileRoot = profiles_->path();
        session_ = engine::lo::OfficeSession::start(options);
    }

    static void TearDownTestSuite()
    {
        session_->quit();
        session_.reset();
        engine::WaitForQuittingOffices();  // its profile is in use until it has ended
        delete profiles_;
        profiles_ = nullptr;
    }

    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

    QString path(const char* name) const { return dir_.filePath(QString::fromLatin1(name)); }

    // Documents the office has open (hidden ones included).
    static int openDocuments()
    {
        return session_->call([] {
            int n = 0;
            const auto all = session_->desktop()->getComponents()->createEnumeration();
            while (all->hasMoreElements()) {
                all->nextElement();
                ++n;
            }
            return n;
        });
    }

    static QTemporaryDir* profiles_;
    static std::shared_ptr<engine::lo::OfficeSession> session_;
    QTemporaryDir dir_;
};

QTemporaryDir* DocBuildTest::profiles_ = nullptr;
std::shared_ptr<engine::lo::OfficeSession> DocBuildTest::session_;

// What each kind of object becomes after the round trip through a Word file,
// for a template and for a document alike.
TEST_F(DocBuildTest, WordFilesKeepWhatTheEngineLooksFor)
{
    {
        DocBuilder builder(*session_);
        builder.setPage(kPageWidth, kPageHeight, 1000);
        builder.setTemplateName(QStringLiteral("Marigal Card.dot"));
        builder.addEmptyParagraphs(4);
        builder.addInlinePicture(picture(Qt::red), 4000, 3000);
        builder.addBookmarkAtStart(QStringLiteral("btext"));
        ParagraphStyle heading;
        heading.font = QStringLiteral("Liberation Sans");
        heading.points = 20;
        heading.bold = true;
        heading.color = QColor(0, 0, 160);
        heading.centred = true;
        builder.addParagraph(QStringLiteral("Happy birthday"), heading);

        TextPlaceContent message;
        message.text = QStringLiteral("Your personal message here");
        message.fill = kMessageFill;
        message.line = Qt::black;
        builder.addTextPlace(QStringLiteral("Text Box 2"), kMessageArea, message);
        builder.addTextPlace(QStringLiteral("Rectangle 27"), kEmptyArea, {});
        TextPlaceContent withPicture;
        withPicture.text = QStringLiteral("With love");
        withPicture.picture = picture(Qt::green);
        withPicture.pictureSize = QSize(3000, 2000);
        builder.addTextPlace(QStringLiteral("Text Box 3"), kPictureBoxArea, withPicture);
        builder.addShape(QStringLiteral("Rectangle 4"), kStripeArea, kStripeFill);
        WordArtStyle art;
        art.color = kWordArtColor;
        builder.addWordArt(QStringLiteral("WordArt 55"), kWordArtArea, QStringLiteral("thinking\nof you..."), art);
        builder.addBackgroundPicture(picture(Qt::yellow), QRect(0, 0, kPageWidth, kPageHeight));

        builder.saveAs(path("card.dot"), Format::Dot);
        builder.saveAs(path("card.doc"), Format::Doc);
    }
    // Only what was asked for: no lock files, no leftovers.
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList({QStringLiteral("card.doc"), QStringLiteral("card.dot")}));

    for (const char* name : {"card.dot", "card.doc"}) {
        SCOPED_TRACE(name);
        // Word reads a shape's name from the file (as UTF-16) whether or not
        // the office's import keeps it.
        const QByteArray bytes = [&] {
            QFile f(path(name));
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }();
        for (const char* shape : {"Text Box 2", "Rectangle 27", "Text Box 3", "Rectangle 4", "WordArt 55"}) {
            const QString s = QString::fromLatin1(shape);
            EXPECT_TRUE(bytes.contains(QByteArray(reinterpret_cast<const char*>(s.utf16()), s.size() * 2))) << shape;
        }

        DocReader reader(*session_, path(name));
        SCOPED_TRACE(reader.dump().toStdString());
        EXPECT_EQ(reader.filterName(), QString::fromLatin1(QByteArray(name).endsWith(".dot") ? "MS Word 97 Vorlage"
                                                                                              : "MS Word 97"));
        expectSize(reader.pageSize(), QSize(kPageWidth, kPageHeight));
        EXPECT_EQ(reader.pageCount(), 1);
        EXPECT_EQ(reader.templateName(), QStringLiteral("Marigal Card.dot"));

        // Body: four empty paragraphs, the picture in the fifth, then text.
        const auto paragraphs = reader.paragraphs();
        ASSERT_EQ(paragraphs.size(), 6u);
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(paragraphs[i].text, QString()) << i;
            EXPECT_TRUE(paragraphs[i].inlineObjects.isEmpty()) << i;
        }
        EXPECT_EQ(paragraphs[4].inlineObjects, QStringList{QStringLiteral("SwXTextGraphicObject")});
        const auto& heading = paragraphs[5];
        EXPECT_EQ(heading.text, QStringLiteral("Happy birthday"));
        // The import adds Word's substitute: "Liberation Sans;Arial".
        EXPECT_TRUE(heading.font.startsWith(QStringLiteral("Liberation Sans"))) << heading.font.toStdString();
        EXPECT_EQ(heading.points, 20);
        EXPECT_TRUE(heading.bold);
        EXPECT_EQ(heading.color, QColor(0, 0, 160));
        EXPECT_TRUE(heading.centred);

        // Bookmarks: "btext" collapsed at the body's start, each text place's
        // collapsed at the start of a text frame's text.
        const auto bookmarks = reader.bookmarks();
        const auto* btext = named(bookmarks, QStringLiteral("btext"));
        ASSERT_TRUE(btext);
        EXPECT_EQ(btext->where, QStringLiteral("body"));
        EXPECT_TRUE(btext->collapsed && btext->atStart);
        const auto frames = reader.frames();
        EXPECT_EQ(frames.size(), 3u);
        auto frameOf = [&](const char* bookmark) -> const FrameInfo* {
            const auto* b = named(bookmarks, QString::fromLatin1(bookmark));
            if (!b) return nullptr;
            EXPECT_TRUE(b->collapsed && b->atStart) << bookmark;
            return named(frames, b->where);
        };
        const auto* messageFrame = frameOf("Text_Box_2");
        ASSERT_TRUE(messageFrame);
        EXPECT_EQ(messageFrame->text, QStringLiteral("Your personal message here"));
        EXPECT_NEAR(messageFrame->size.width(), kMessageArea.width(), 10);
        // One line high and fixed: the shape beside it has the real size.
        EXPECT_LT(messageFrame->size.height(), kMessageArea.height() / 2);
        EXPECT_FALSE(messageFrame->automaticHeight);
        const auto* emptyFrame = frameOf("Rectangle_27");
        ASSERT_TRUE(emptyFrame);
        EXPECT_EQ(emptyFrame->text, QString());
        const auto* pictureFrame = frameOf("Text_Box_3");
        ASSERT_TRUE(pictureFrame);
        EXPECT_TRUE(pictureFrame->text.startsWith(QStringLiteral("With love")));
        EXPECT_EQ(pictureFrame->inlineObjects, QStringList{QStringLiteral("SwXTextGraphicObject")});

        // The draw page: every floating object tied to a character of the
        // first paragraph, named ones by their names.
        const auto objects = reader.drawObjects();
        for (const auto& d : objects) {
            if (d.anchorType == QLatin1String("as character")) continue;
            EXPECT_EQ(d.anchorType, QStringLiteral("character")) << d.name.toStdString();
            EXPECT_EQ(d.paragraph, 1) << d.name.toStdString();
        }
        // A text place with text: an unnamed text shape of the real size
        // (the import drops its name) beside its frame.
        const auto messageShapes = at(objects, kMessageArea, QStringLiteral("com.sun.star.drawing.TextShape"));
        ASSERT_EQ(messageShapes.size(), 1u);
        EXPECT_EQ(messageShapes[0].name, QString());
        expectSize(messageShapes[0].area.size(), kMessageArea.size());
        EXPECT_EQ(messageShapes[0].fill, kMessageFill);
        EXPECT_TRUE(messageShapes[0].opaque);
        EXPECT_EQ(at(objects, kPictureBoxArea, QStringLiteral("com.sun.star.drawing.TextShape")).size(), 1u);
        // Without text it stays a named rectangle.
        const auto* empty = named(objects, QStringLiteral("Rectangle 27"));
        ASSERT_TRUE(empty);
        EXPECT_EQ(empty->shapeType, QStringLiteral("com.sun.star.drawing.CustomShape"));
        EXPECT_EQ(empty->customShapeType, QStringLiteral("rectangle"));
        expectSize(empty->area.size(), kEmptyArea.size());

        const auto* stripe = named(objects, QStringLiteral("Rectangle 4"));
        ASSERT_TRUE(stripe);
        EXPECT_EQ(stripe->shapeType, QStringLiteral("com.sun.star.drawing.CustomShape"));
        EXPECT_EQ(stripe->fill, kStripeFill);
        EXPECT_EQ(stripe->area.topLeft(), kStripeArea.topLeft());
        expectSize(stripe->area.size(), kStripeArea.size());

        const auto* wordArt = named(objects, QStringLiteral("WordArt 55"));
        ASSERT_TRUE(wordArt);
        EXPECT_EQ(wordArt->shapeType, QStringLiteral("com.sun.star.drawing.CustomShape"));
        EXPECT_EQ(wordArt->customShapeType, QStringLiteral("fontwork-plain-text"));
        EXPECT_EQ(wordArt->text, QStringLiteral("thinking\nof you..."));
        EXPECT_EQ(wordArt->fill, kWordArtColor);
        expectSize(wordArt->area.size(), kWordArtArea.size());

        int background = 0;
        for (const auto& d : objects) {
            if (d.implementation != QLatin1String("SwXTextGraphicObject") || d.anchorType != QLatin1String("character"))
                continue;
            ++background;
            EXPECT_FALSE(d.opaque);
            expectSize(d.area.size(), QSize(kPageWidth, kPageHeight));
        }
        EXPECT_EQ(background, 1);
    }
    EXPECT_EQ(openDocuments(), 0);
}

// Objects of a later page sit in that page's first paragraph.
TEST_F(DocBuildTest, PageBreakStartsAPageWithItsOwnObjects)
{
    {
        DocBuilder builder(*session_);
        builder.setPage(kPageWidth, kPageHeight, 1000);
        ParagraphStyle look;
        look.bold = true;
        look.centred = true;
        builder.addParagraph(QStringLiteral("outside"), look);
        builder.addPageBreak();
        builder.addParagraph(QStringLiteral("inside"));
        builder.addEmptyParagraphs(2);
        builder.addShape(QStringLiteral("Rectangle 1"), kStripeArea, kStripeFill);
        TextPlaceContent message;
        message.text = QStringLiteral("Dear ...");
        builder.addTextPlace(QStringLiteral("Text Box 5"), kMessageArea, message, 2);
        builder.addShape(QStringLiteral("Rectangle 6"), kStripeArea, kStripeFill, QColor(), 2);
        EXPECT_THROW(builder.addShape(QStringLiteral("Rectangle 7"), kStripeArea, kStripeFill, QColor(), 3),
                     engine::EngineError);
        builder.saveAs(path("two.doc"), Format::Doc);
    }
    DocReader reader(*session_, path("two.doc"));
    SCOPED_TRACE(reader.dump().toStdString());
    EXPECT_EQ(reader.pageCount(), 2);
    const auto paragraphs = reader.paragraphs();
    ASSERT_EQ(paragraphs.size(), 4u);
    EXPECT_FALSE(paragraphs[0].pageBreakBefore);
    EXPECT_TRUE(paragraphs[1].pageBreakBefore);
    EXPECT_EQ(paragraphs[1].text, QStringLiteral("inside"));
    // The paragraph after the break starts afresh: neither the first one's
    // look nor its own break passes on.
    EXPECT_FALSE(paragraphs[1].bold || paragraphs[1].centred);
    EXPECT_FALSE(paragraphs[2].pageBreakBefore || paragraphs[3].pageBreakBefore);

    const auto objects = reader.drawObjects();
    const auto* first = named(objects, QStringLiteral("Rectangle 1"));
    const auto* second = named(objects, QStringLiteral("Rectangle 6"));
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->paragraph, 1);
    EXPECT_EQ(first->page, 1);
    EXPECT_EQ(second->paragraph, 2);
    EXPECT_EQ(second->page, 2);
    EXPECT_EQ(second->area.topLeft(), kStripeArea.topLeft());
    const auto messageShapes = at(objects, kMessageArea, QStringLiteral("com.sun.star.drawing.TextShape"));
    ASSERT_EQ(messageShapes.size(), 1u);
    EXPECT_EQ(messageShapes[0].page, 2);
    const auto bookmarks = reader.bookmarks();
    const auto* bookmark = named(bookmarks, QStringLiteral("Text_Box_5"));
    ASSERT_TRUE(bookmark);
    const auto frames = reader.frames();
    const auto* frame = named(frames, bookmark->where);
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->text, QStringLiteral("Dear ..."));
}

// Every document the builder and the reader open is closed again, on every
// path; failures say which step failed.
TEST_F(DocBuildTest, DocumentsAreClosedOnEveryPath)
{
    {
        DocBuilder builder(*session_);
        builder.addParagraph(QStringLiteral("x"));
        EXPECT_EQ(openDocuments(), 1);
        // Nothing written where it cannot be, and the office survives it.
        QFile(path("blocked")).open(QIODevice::WriteOnly);
        for (const char* target : {"blocked/x.doc", "missing/x.doc"}) {
            try {
                builder.saveAs(path(target), Format::Doc);
                ADD_FAILURE() << "saved " << target;
            } catch (const engine::EngineError& e) {
                EXPECT_EQ(e.description(), engine::errtext::kCannotSave) << target;
            }
        }
        EXPECT_FALSE(QFile::exists(path("missing")));
        // An office error says which step failed.
        try {
            builder.addTextPlace(QStringLiteral("Text Box 1"), kMessageArea, {}, 2);
            ADD_FAILURE() << "placed on a page the document does not have";
        } catch (const engine::EngineError& e) {
            EXPECT_NE(std::string(e.what()).find("addTextPlace"), std::string::npos) << e.what();
        }
        builder.saveAs(path("x.doc"), Format::Doc);
        builder.saveAs(path("x.doc"), Format::Doc);  // replaces it
        EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden),
                  QStringList({QStringLiteral("blocked"), QStringLiteral("x.doc")}));
        builder.close();
        EXPECT_EQ(openDocuments(), 0);
        try {
            builder.addParagraph(QStringLiteral("y"));
            ADD_FAILURE() << "added to a closed document";
        } catch (const engine::EngineError& e) {
            EXPECT_EQ(e.description(), engine::errtext::kNoDocument);
        }
        EXPECT_THROW(builder.saveAs(path("never.doc"), Format::Doc), engine::EngineError);
    }
    EXPECT_FALSE(QFile::exists(path("never.doc")));
    {
        DocBuilder builder(*session_);
        builder.addParagraph(QStringLiteral("left open"));
    }
    EXPECT_EQ(openDocuments(), 0);

    try {
        DocReader reader(*session_, path("nothing.doc"));
        ADD_FAILURE() << "read a missing file";
    } catch (const engine::EngineError& e) {
        EXPECT_EQ(e.description(), engine::errtext::kDocumentNotFound);
    }
    EXPECT_EQ(openDocuments(), 0);
}

}  // namespace
