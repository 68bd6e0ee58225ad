#include "tools/docbuild/doc_builder.h"

#include "tools/docbuild/uno_util.h"

#include <com/sun/star/awt/FontSlant.hpp>
#include <com/sun/star/awt/FontWeight.hpp>
#include <com/sun/star/awt/Size.hpp>
#include <com/sun/star/beans/XMultiPropertyStates.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/document/XDocumentPropertiesSupplier.hpp>
#include <com/sun/star/drawing/EnhancedCustomShapeTextPathMode.hpp>
#include <com/sun/star/drawing/FillStyle.hpp>
#include <com/sun/star/drawing/TextHorizontalAdjust.hpp>
#include <com/sun/star/drawing/LineStyle.hpp>
#include <com/sun/star/drawing/XEnhancedCustomShapeDefaulter.hpp>
#include <com/sun/star/drawing/XShape.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/style/BreakType.hpp>
#include <com/sun/star/style/ParagraphAdjust.hpp>
#include <com/sun/star/style/XStyleFamiliesSupplier.hpp>
#include <com/sun/star/text/ControlCharacter.hpp>
#include <com/sun/star/text/HoriOrientation.hpp>
#include <com/sun/star/text/RelOrientation.hpp>
#include <com/sun/star/text/TextContentAnchorType.hpp>
#include <com/sun/star/text/VertOrientation.hpp>
#include <com/sun/star/text/WrapTextMode.hpp>
#include <com/sun/star/text/XParagraphCursor.hpp>
#include <com/sun/star/text/XTextContent.hpp>
#include <com/sun/star/text/XTextFrame.hpp>
#include <com/sun/star/util/XCloseable.hpp>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cmath>
#include <iterator>

namespace marigal::docbuild {

namespace {

// The character and paragraph properties ParagraphStyle sets.
css::uno::Sequence<rtl::OUString> styleProperties()
{
    const rtl::OUString names[] = {ou("CharFontName"), ou("CharHeight"), ou("CharWeight"), ou("CharColor"),
                                   ou("ParaAdjust"), ou("ParaBottomMargin"), ou("CharPosture")};
    return css::uno::Sequence<rtl::OUString>(names, std::size(names));
}

void applyStyle(const Reference<XInterface>& range, const ParagraphStyle& style)
{
    if (!style.font.isEmpty()) setProperty(range, "CharFontName", Any(toOUString(style.font)));
    if (style.points > 0) setProperty(range, "CharHeight", Any(float(style.points)));
    if (style.bold) setProperty(range, "CharWeight", Any(css::awt::FontWeight::BOLD));
    if (style.italic) setProperty(range, "CharPosture", Any(css::awt::FontSlant_ITALIC));
    if (style.color.isValid()) setProperty(range, "CharColor", Any(officeColor(style.color)));
    if (style.centred) setProperty(range, "ParaAdjust", Any(sal_Int16(css::style::ParagraphAdjust_CENTER)));
    if (style.spaceAfter > 0)
        setProperty(range, "ParaBottomMargin", Any(sal_Int32(std::lround(style.spaceAfter * 2540 / 72))));
}

// Writes `text` at the end of `text` as paragraphs, the first one into the
// paragraph `cursor` stands in.
void writeParagraphs(const Reference<css::text::XText>& text, const Reference<css::text::XTextCursor>& cursor,
                     const QString& content, const ParagraphStyle& style)
{
    Reference<css::text::XParagraphCursor> para(cursor, UNO_QUERY_THROW);
    const QStringList lines = content.split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i > 0) {
            cursor->gotoEnd(false);
            text->insertControlCharacter(cursor.get(), css::text::ControlCharacter::PARAGRAPH_BREAK, false);
        }
        text->insertString(cursor.get(), toOUString(lines[i]), false);
        para->gotoStartOfParagraph(false);
        para->gotoEndOfParagraph(true);
        applyStyle(cursor, style);
        cursor->collapseToEnd();
    }
}

}  // namespace

DocBuilder::DocBuilder(OfficeSession& session) : session_(session)
{
    officeCall(session_, "new document", [&] {
        Reference<XInterface> doc = session_.desktop()->loadComponentFromURL(
            ou("private:factory/swriter"), ou("_blank"), 0, namedValues({{"Hidden", Any(true)}}));
        document_.set(doc, UNO_QUERY_THROW);
    });
}

DocBuilder::~DocBuilder()
{
    try {
        close();
    } catch (...) {
        // The office is gone or hung (and then killed): nothing is left open.
    }
}

void DocBuilder::requireOpen() const
{
    if (!document_.is()) throw engine::EngineError(engine::errtext::kNoDocument);
}

Reference<css::text::XText> DocBuilder::body() const
{
    return document_->getText();
}

Reference<XInterface> DocBuilder::create(const char* service) const
{
    Reference<css::lang::XMultiServiceFactory> factory(document_, UNO_QUERY_THROW);
    return factory->createInstance(ou(service));
}

QString DocBuilder::bookmarkName(const QString& placeName)
{
    return QString(placeName).replace(QLatin1Char(' '), QLatin1Char('_'));
}

void DocBuilder::setPage(int width, int height, int margin, int bottomMargin)
{
    requireOpen();
    officeCall(session_, "setPage", [&] {
        // The style the first paragraph uses is the one every page has.
        const auto styleName = getProperty<rtl::OUString>(body()->getStart(), "PageStyleName");
        Reference<css::style::XStyleFamiliesSupplier> families(document_, UNO_QUERY_THROW);
        Reference<css::container::XNameAccess> pageStyles(families->getStyleFamilies()->getByName(ou("PageStyles")),
                                                          UNO_QUERY_THROW);
        Reference<XInterface> style(pageStyles->getByName(styleName), UNO_QUERY_THROW);
        setProperty(style, "IsLandscape", Any(width > height));
        setProperty(style, "Width", Any(sal_Int32(width)));
        setProperty(style, "Height", Any(sal_Int32(height)));
        for (const char* side : {"LeftMargin", "RightMargin", "TopMargin"})
            setProperty(style, side, Any(sal_Int32(margin)));
        setProperty(style, "BottomMargin", Any(sal_Int32(bottomMargin >= 0 ? bottomMargin : margin)));
    });
}

void DocBuilder::setTemplateName(const QString& name)
{
    requireOpen();
    officeCall(session_, "setTemplateName", [&] {
        Reference<css::document::XDocumentPropertiesSupplier> supplier(document_, UNO_QUERY_THROW);
        supplier->getDocumentProperties()->setTemplateName(toOUString(name));
    });
}

Reference<css::text::XTextRange> DocBuilder::newParagraph()
{
    Reference<css::text::XTextCursor> cursor = body()->createTextCursorByRange(body()->getEnd());
    if (!freshParagraph_) {
        body()->insertControlCharacter(cursor.get(), css::text::ControlCharacter::PARAGRAPH_BREAK, false);
        // A split paragraph passes its look and its page break on.
        Reference<css::beans::XMultiPropertyStates> states(cursor, UNO_QUERY_THROW);
        states->setPropertiesToDefault(styleProperties());
        const rtl::OUString breakType = ou("BreakType");
        states->setPropertiesToDefault(css::uno::Sequence<rtl::OUString>(&breakType, 1));
    }
    freshParagraph_ = false;
    return cursor.get();
}

void DocBuilder::addParagraph(const QString& text, const ParagraphStyle& style)
{
    requireOpen();
    officeCall(session_, "addParagraph", [&] {
        Reference<css::text::XTextCursor> cursor(newParagraph(), UNO_QUERY_THROW);
        writeParagraphs(body(), cursor, text, style);
    });
}

void DocBuilder::addEmptyParagraphs(int count)
{
    for (int i = 0; i < count; ++i) addParagraph(QString());
}

void DocBuilder::addPageBreak()
{
    requireOpen();
    officeCall(session_, "addPageBreak", [&] {
        auto cursor = newParagraph();
        setProperty(cursor, "BreakType", Any(css::style::BreakType_PAGE_BEFORE));
        freshParagraph_ = true;
    });
}

void DocBuilder::addBookmarkAtStart(const QString& name)
{
    requireOpen();
    // Placed when the document is saved: a collapsed bookmark at the start of
    // a body that is still empty would be pushed along by every paragraph
    // added after it.
    startBookmarks_ << name;
}

void DocBuilder::placeStartBookmarks()
{
    officeCall(session_, "addBookmarkAtStart", [&] {
        for (const QString& name : std::as_const(startBookmarks_)) {
            Reference<XInterface> bookmark = create("com.sun.star.text.Bookmark");
            Reference<css::container::XNamed>(bookmark, UNO_QUERY_THROW)->setName(toOUString(name));
            body()->insertTextContent(body()->getStart(),
                                      Reference<css::text::XTextContent>(bookmark, UNO_QUERY_THROW), false);
        }
    });
    startBookmarks_.clear();
}

Reference<css::text::XTextContent> DocBuilder::inlinePicture(const QImage& picture, QSize size) const
{
    if (size.isEmpty()) {
        // The picture's own size at its resolution (Qt's default: 96 dpi).
        size = QSize(int(picture.width() * 100000.0 / picture.dotsPerMeterX()),
                     int(picture.height() * 100000.0 / picture.dotsPerMeterY()));
    }
    Reference<XInterface> graphic = create("com.sun.star.text.TextGraphicObject");
    setProperty(graphic, "Graphic", Any(officeGraphic(session_.context(), picture)));
    setProperty(graphic, "AnchorType", Any(css::text::TextContentAnchorType_AS_CHARACTER));
    setProperty(graphic, "Size", Any(css::awt::Size(size.width(), size.height())));
    return Reference<css::text::XTextContent>(graphic, UNO_QUERY_THROW);
}

void DocBuilder::addInlinePicture(const QImage& picture, int width, int height)
{
    requireOpen();
    officeCall(session_, "addInlinePicture", [&] {
        body()->insertTextContent(newParagraph(), inlinePicture(picture, QSize(width, height)), false);
    });
}

Reference<css::text::XTextRange> DocBuilder::pageStart(int page) const
{
    // Pages start at the first paragraph and at each page break.
    int pages = 0;
    const auto paragraphs = Reference<css::container::XEnumerationAccess>(body(), UNO_QUERY_THROW)->createEnumeration();
    while (paragraphs->hasMoreElements()) {
        Reference<css::text::XTextRange> paragraph(paragraphs->nextElement(), UNO_QUERY);
        if (!paragraph.is()) continue;  // a table
        const auto breakType = getProperty<css::style::BreakType>(paragraph, "BreakType");
        if (pages == 0 || breakType == css::style::BreakType_PAGE_BEFORE) ++pages;
        if (pages == page) return paragraph->getStart();
    }
    throw engine::EngineError(QStringLiteral("The document has no page %1.").arg(page));
}

void DocBuilder::place(const Reference<XInterface>& object, const QRect& area, int page, bool inFront)
{
    // Placed before it goes into the document: placed after, an object now
    // and then lost its place (to the page's left edge) when the next one went in.
    setProperty(object, "AnchorType", Any(css::text::TextContentAnchorType_AT_PARAGRAPH));
    setProperty(object, "HoriOrient", Any(css::text::HoriOrientation::NONE));
    setProperty(object, "HoriOrientRelation", Any(css::text::RelOrientation::PAGE_FRAME));
    setProperty(object, "HoriOrientPosition", Any(sal_Int32(area.x())));
    setProperty(object, "VertOrient", Any(css::text::VertOrientation::NONE));
    setProperty(object, "VertOrientRelation", Any(css::text::RelOrientation::PAGE_FRAME));
    setProperty(object, "VertOrientPosition", Any(sal_Int32(area.y())));
    body()->insertTextContent(pageStart(page), Reference<css::text::XTextContent>(object, UNO_QUERY_THROW), false);
    // Text does not flow around card objects; they lie over it or under it.
    setProperty(object, "Surround", Any(css::text::WrapTextMode_THROUGH));
    setProperty(object, "Opaque", Any(inFront));
}

namespace {

void setFillAndLine(const Reference<XInterface>& shape, const QColor& fill, const QColor& line)
{
    setProperty(shape, "FillStyle", Any(fill.isValid() ? css::drawing::FillStyle_SOLID : css::drawing::FillStyle_NONE));
    if (fill.isValid()) setProperty(shape, "FillColor", Any(officeColor(fill)));
    setProperty(shape, "LineStyle", Any(line.isValid() ? css::drawing::LineStyle_SOLID : css::drawing::LineStyle_NONE));
    if (line.isValid()) setProperty(shape, "LineColor", Any(officeColor(line)));
}

Reference<XInterface> rectangleShape(const Reference<XInterface>& shape, const QRect& area)
{
    Reference<css::drawing::XShape>(shape, UNO_QUERY_THROW)->setSize(css::awt::Size(area.width(), area.height()));
    return shape;
}

void setName(const Reference<XInterface>& object, const QString& name)
{
    Reference<css::container::XNamed>(object, UNO_QUERY_THROW)->setName(toOUString(name));
}

}  // namespace

void DocBuilder::addTextPlace(const QString& name, const QRect& area, const TextPlaceContent& content, int page)
{
    requireOpen();
    officeCall(session_, "addTextPlace", [&] {
        auto shape = rectangleShape(create("com.sun.star.drawing.RectangleShape"), area);
        place(shape, area, page, true);
        setFillAndLine(shape, content.fill, content.line);
        setName(shape, name);
        setProperty(shape, "TextBox", Any(true));
        auto frame = getProperty<Reference<css::text::XTextFrame>>(shape, "TextBoxContent");
        if (!frame.is()) throw css::uno::RuntimeException(ou("the shape has no text box"));
        Reference<css::text::XText> text = frame->getText();

        Reference<css::text::XTextCursor> cursor = text->createTextCursorByRange(text->getStart());
        writeParagraphs(text, cursor, content.text, content.style);
        if (!content.picture.isNull()) {
            if (!content.text.isEmpty() || content.spaceAbovePicture > 0) {
                cursor->gotoEnd(false);
                text->insertControlCharacter(cursor.get(), css::text::ControlCharacter::PARAGRAPH_BREAK, false);
            }
            if (content.spaceAbovePicture > 0)
                setProperty(cursor, "ParaTopMargin", Any(sal_Int32(std::lround(content.spaceAbovePicture * 2540 / 72))));
            text->insertTextContent(cursor.get(), inlinePicture(content.picture, content.pictureSize), false);
        }

        Reference<XInterface> bookmark = create("com.sun.star.text.Bookmark");
        setName(bookmark, bookmarkName(name));
        text->insertTextContent(text->getStart(), Reference<css::text::XTextContent>(bookmark, UNO_QUERY_THROW),
                                false);
    });
}

void DocBuilder::addShape(const QString& name, const QRect& area, const QColor& fill, const QColor& line, int page)
{
    requireOpen();
    officeCall(session_, "addShape", [&] {
        auto shape = rectangleShape(create("com.sun.star.drawing.RectangleShape"), area);
        place(shape, area, page, true);
        setFillAndLine(shape, fill, line);
        setName(shape, name);
    });
}

void DocBuilder::addWordArt(const QString& name, const QRect& area, const QString& text, const WordArtStyle& style,
                            int page)
{
    requireOpen();
    officeCall(session_, "addWordArt", [&] {
        auto shape = rectangleShape(create("com.sun.star.drawing.CustomShape"), area);
        place(shape, area, page, true);
        // Fontwork letters are painted with the shape's fill.
        setFillAndLine(shape, style.color, QColor());
        setProperty(shape, "TextAutoGrowHeight", Any(false));
        setProperty(shape, "TextAutoGrowWidth", Any(false));
        setProperty(shape, "CharFontName", Any(toOUString(style.font)));
        if (style.bold) setProperty(shape, "CharWeight", Any(css::awt::FontWeight::BOLD));
        Reference<css::text::XTextRange>(shape, UNO_QUERY_THROW)->setString(toOUString(text));
        if (style.centred) {
            setProperty(shape, "ParaAdjust", Any(sal_Int16(css::style::ParagraphAdjust_CENTER)));
            setProperty(shape, "TextHorizontalAdjust", Any(css::drawing::TextHorizontalAdjust_CENTER));
        }

        Reference<css::drawing::XEnhancedCustomShapeDefaulter>(shape, UNO_QUERY_THROW)
            ->createCustomShapeDefaults(ou("fontwork-plain-text"));
        auto geometry = getProperty<css::uno::Sequence<css::beans::PropertyValue>>(shape, "CustomShapeGeometry");
        const auto textPath =
            namedValues({{"TextPath", Any(true)},
                         {"TextPathMode", Any(css::drawing::EnhancedCustomShapeTextPathMode_SHAPE)},
                         {"ScaleX", Any(false)}});
        bool found = false;
        auto* values = geometry.getArray();
        for (sal_Int32 i = 0; i < geometry.getLength(); ++i) {
            if (values[i].Name == "TextPath") {
                values[i].Value <<= textPath;
                found = true;
            }
        }
        if (!found) {
            geometry.realloc(geometry.getLength() + 1);
            geometry.getArray()[geometry.getLength() - 1] = css::beans::PropertyValue(
                ou("TextPath"), -1, Any(textPath), css::beans::PropertyState_DIRECT_VALUE);
        }
        setProperty(shape, "CustomShapeGeometry", Any(geometry));
        // The defaults reset the size to the shape type's own.
        Reference<css::drawing::XShape>(shape, UNO_QUERY_THROW)->setSize(css::awt::Size(area.width(), area.height()));
        setName(shape, name);
    });
}

void DocBuilder::addBackgroundPicture(const QImage& picture, const QRect& area, int page)
{
    requireOpen();
    officeCall(session_, "addBackgroundPicture", [&] {
        Reference<XInterface> graphic = create("com.sun.star.text.TextGraphicObject");
        setProperty(graphic, "Graphic", Any(officeGraphic(session_.context(), picture)));
        setProperty(graphic, "Size", Any(css::awt::Size(area.width(), area.height())));
        place(graphic, area, page, false);
    });
}

void DocBuilder::saveAs(const QString& path, Format format)
{
    requireOpen();
    placeStartBookmarks();
    // The office writes into a folder of ours and the file is moved into
    // place here: an office that cannot write its target waits on an error
    // box nobody sees until the watchdog kills it.
    QTemporaryDir staging;
    if (!staging.isValid()) throw engine::EngineError(engine::errtext::kCannotSave);
    const QString staged = staging.filePath(QStringLiteral("document"));
    officeCall(session_, "saveAs", [&] {
        const char* filter = format == Format::Dot   ? "MS Word 97 Vorlage"
                             : format == Format::Odt ? "writer8"
                                                     : "MS Word 97";
        Reference<css::frame::XStorable> storable(document_, UNO_QUERY_THROW);
        // storeToURL, unlike storeAsURL, leaves the document unbound to the
        // file, so the office keeps no lock on it.
        storable->storeToURL(fileUrl(staged), namedValues({{"FilterName", Any(ou(filter))}}));
    });
    if (QFileInfo(path).isDir() || (QFile::exists(path) && !QFile::remove(path)) || !QFile::rename(staged, path))
        throw engine::EngineError(engine::errtext::kCannotSave);
}

void DocBuilder::close()
{
    if (!document_.is()) return;
    // The SDK's Reference has no move: copy, then clear.
    const auto document = document_;
    document_.clear();
    if (!session_.alive()) return;
    officeCall(session_, "close", [&] {
        Reference<css::util::XCloseable>(document, UNO_QUERY_THROW)->close(true);
    });
}

}  // namespace marigal::docbuild
