#include "tools/docbuild/doc_reader.h"

#include "tools/docbuild/uno_util.h"

#include <com/sun/star/awt/FontWeight.hpp>
#include <com/sun/star/awt/Point.hpp>
#include <com/sun/star/awt/Size.hpp>
#include <com/sun/star/container/XContentEnumerationAccess.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/document/XDocumentPropertiesSupplier.hpp>
#include <com/sun/star/drawing/FillStyle.hpp>
#include <com/sun/star/table/BorderLine2.hpp>
#include <com/sun/star/drawing/XDrawPageSupplier.hpp>
#include <com/sun/star/drawing/XShape.hpp>
#include <com/sun/star/drawing/XShapeDescriptor.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/graphic/GraphicProvider.hpp>
#include <com/sun/star/graphic/XGraphic.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>
#include <com/sun/star/style/BreakType.hpp>
#include <com/sun/star/style/ParagraphAdjust.hpp>
#include <com/sun/star/style/XStyleFamiliesSupplier.hpp>
#include <com/sun/star/text/TextContentAnchorType.hpp>
#include <com/sun/star/text/XBookmarksSupplier.hpp>
#include <com/sun/star/text/XPageCursor.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/text/XTextContent.hpp>
#include <com/sun/star/text/XTextDocument.hpp>
#include <com/sun/star/text/XTextFrame.hpp>
#include <com/sun/star/text/XTextFramesSupplier.hpp>
#include <com/sun/star/text/XTextRangeCompare.hpp>
#include <com/sun/star/text/XTextViewCursorSupplier.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <osl/file.hxx>

#include <QFile>
#include <QFileInfo>

namespace marigal::docbuild {

namespace {

bool hasProperty(const Reference<XInterface>& object, const char* name)
{
    Reference<css::beans::XPropertySet> props(object, UNO_QUERY);
    return props.is() && props->getPropertySetInfo()->hasPropertyByName(ou(name));
}

QString anchorTypeName(const Reference<XInterface>& object)
{
    if (!hasProperty(object, "AnchorType")) return {};
    switch (getProperty<css::text::TextContentAnchorType>(object, "AnchorType")) {
    case css::text::TextContentAnchorType_AT_PARAGRAPH: return QStringLiteral("paragraph");
    case css::text::TextContentAnchorType_AS_CHARACTER: return QStringLiteral("as character");
    case css::text::TextContentAnchorType_AT_PAGE: return QStringLiteral("page");
    case css::text::TextContentAnchorType_AT_FRAME: return QStringLiteral("frame");
    case css::text::TextContentAnchorType_AT_CHARACTER: return QStringLiteral("character");
    default: return QStringLiteral("?");
    }
}

QString implementationName(const Reference<XInterface>& object)
{
    Reference<css::lang::XServiceInfo> info(object, UNO_QUERY);
    return info.is() ? toQString(info->getImplementationName()) : QString();
}

QString nameOf(const Reference<XInterface>& object)
{
    Reference<css::container::XNamed> named(object, UNO_QUERY);
    return named.is() ? toQString(named->getName()) : QString();
}

Reference<css::text::XText> textDocumentBody(const Reference<css::lang::XComponent>& document)
{
    return Reference<css::text::XTextDocument>(document, UNO_QUERY_THROW)->getText();
}

// Both are marked deprecated, yet XShapeDescriptor is what names the kind a
// shape was made as, and Writer has just the one draw page.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
QString shapeTypeOf(const Reference<XInterface>& object)
{
    Reference<css::drawing::XShapeDescriptor> descriptor(object, UNO_QUERY);
    return descriptor.is() ? toQString(descriptor->getShapeType()) : QString();
}

Reference<css::container::XIndexAccess> drawPageOf(const Reference<css::lang::XComponent>& document)
{
    return Reference<css::container::XIndexAccess>(
        Reference<css::drawing::XDrawPageSupplier>(document, UNO_QUERY_THROW)->getDrawPage(), UNO_QUERY_THROW);
}
#pragma GCC diagnostic pop

// The body's paragraphs, tables left out.
std::vector<Reference<css::text::XTextRange>> bodyParagraphs(const Reference<css::text::XText>& body)
{
    std::vector<Reference<css::text::XTextRange>> result;
    const auto all = Reference<css::container::XEnumerationAccess>(body, UNO_QUERY_THROW)->createEnumeration();
    while (all->hasMoreElements()) {
        Reference<css::lang::XServiceInfo> info(all->nextElement(), UNO_QUERY);
        if (info.is() && info->supportsService(ou("com.sun.star.text.Paragraph")))
            result.emplace_back(info, UNO_QUERY);
    }
    return result;
}

QString quoted(const QString& s)
{
    return QLatin1Char('"') + QString(s).replace(QLatin1Char('\n'), QStringLiteral("\\n")) + QLatin1Char('"');
}

// Appends the implementation names of the objects anchored as characters in
// `paragraph` to `names`; gives the first text portion (the paragraph itself
// when it has none), whose look stands for the paragraph's.
Reference<XInterface> scanPortions(const Reference<XInterface>& paragraph, QStringList& names)
{
    Reference<XInterface> looks = paragraph;
    const auto portions =
        Reference<css::container::XEnumerationAccess>(paragraph, UNO_QUERY_THROW)->createEnumeration();
    while (portions->hasMoreElements()) {
        Reference<XInterface> portion(portions->nextElement(), UNO_QUERY);
        const auto type = getProperty<rtl::OUString>(portion, "TextPortionType");
        if (type == "Text" && looks == paragraph) looks = portion;
        if (type != "Frame") continue;
        Reference<css::container::XContentEnumerationAccess> contents(portion, UNO_QUERY_THROW);
        const auto objects = contents->createContentEnumeration(ou("com.sun.star.text.TextContent"));
        while (objects->hasMoreElements()) {
            Reference<XInterface> object(objects->nextElement(), UNO_QUERY);
            if (anchorTypeName(object) == QLatin1String("as character")) names << implementationName(object);
        }
    }
    return looks;
}

}  // namespace

DocReader::DocReader(OfficeSession& session, const QString& path) : session_(session)
{
    if (!QFileInfo::exists(path)) throw engine::EngineError(engine::errtext::kDocumentNotFound);
    officeCall(session_, "load", [&] {
        Reference<XInterface> doc = session_.desktop()->loadComponentFromURL(
            fileUrl(path), ou("_blank"), 0,
            namedValues({{"Hidden", Any(true)}, {"ReadOnly", Any(true)}, {"AsTemplate", Any(false)}}));
        document_.set(doc, UNO_QUERY);
    });
    if (!document_.is()) throw engine::EngineError(engine::errtext::kCannotOpen);
}

DocReader::~DocReader()
{
    try {
        close();
    } catch (...) {
    }
}

void DocReader::close()
{
    if (!document_.is()) return;
    // The SDK's Reference has no move: copy, then clear.
    const auto document = document_;
    document_.clear();
    if (!session_.alive()) return;
    officeCall(session_, "close", [&] { Reference<css::util::XCloseable>(document, UNO_QUERY_THROW)->close(true); });
}

QSize DocReader::pageSize()
{
    return officeCall(session_, "pageSize", [&] {
        const auto body = textDocumentBody(document_);
        const auto styleName = getProperty<rtl::OUString>(body->getStart(), "PageStyleName");
        Reference<css::style::XStyleFamiliesSupplier> families(document_, UNO_QUERY_THROW);
        Reference<css::container::XNameAccess> pageStyles(families->getStyleFamilies()->getByName(ou("PageStyles")),
                                                          UNO_QUERY_THROW);
        Reference<XInterface> style(pageStyles->getByName(styleName), UNO_QUERY_THROW);
        return QSize(getProperty<sal_Int32>(style, "Width"), getProperty<sal_Int32>(style, "Height"));
    });
}

int DocReader::pageCount()
{
    return officeCall(session_, "pageCount", [&] {
        Reference<css::frame::XModel> model(document_, UNO_QUERY_THROW);
        Reference<css::text::XTextViewCursorSupplier> views(model->getCurrentController(), UNO_QUERY_THROW);
        Reference<css::text::XPageCursor> cursor(views->getViewCursor(), UNO_QUERY_THROW);
        cursor->jumpToLastPage();
        return int(cursor->getPage());
    });
}

QString DocReader::templateName()
{
    return officeCall(session_, "templateName", [&] {
        Reference<css::document::XDocumentPropertiesSupplier> supplier(document_, UNO_QUERY_THROW);
        return toQString(supplier->getDocumentProperties()->getTemplateName());
    });
}

QString DocReader::filterName()
{
    return officeCall(session_, "filterName", [&] {
        for (const auto& arg : Reference<css::frame::XModel>(document_, UNO_QUERY_THROW)->getArgs())
            if (arg.Name == "FilterName") return toQString(arg.Value.get<rtl::OUString>());
        return QString();
    });
}

std::vector<ParagraphInfo> DocReader::paragraphs()
{
    return officeCall(session_, "paragraphs", [&] {
        std::vector<ParagraphInfo> result;
        for (const auto& range : bodyParagraphs(textDocumentBody(document_))) {
            const Reference<XInterface> paragraph(range, UNO_QUERY);
            ParagraphInfo p;
            p.text = toQString(range->getString());
            const auto breakType = getProperty<css::style::BreakType>(paragraph, "BreakType");
            p.pageBreakBefore = breakType == css::style::BreakType_PAGE_BEFORE;
            // Writer gives the adjustment as a number, not as the enum.
            p.centred =
                getProperty<sal_Int16>(paragraph, "ParaAdjust") == sal_Int16(css::style::ParagraphAdjust_CENTER);
            const auto looks = scanPortions(paragraph, p.inlineObjects);
            p.font = toQString(getProperty<rtl::OUString>(looks, "CharFontName"));
            p.points = getProperty<float>(looks, "CharHeight");
            p.bold = getProperty<float>(looks, "CharWeight") >= css::awt::FontWeight::BOLD;
            if (const auto color = getProperty<sal_Int32>(looks, "CharColor"); color != -1)
                p.color = QColor::fromRgb(QRgb(color));
            result.push_back(p);
        }
        return result;
    });
}

std::vector<BookmarkInfo> DocReader::bookmarks()
{
    return officeCall(session_, "bookmarks", [&] {
        std::vector<BookmarkInfo> result;
        const auto body = textDocumentBody(document_);
        Reference<css::container::XNameAccess> frames(
            Reference<css::text::XTextFramesSupplier>(document_, UNO_QUERY_THROW)->getTextFrames(), UNO_QUERY_THROW);
        Reference<css::container::XIndexAccess> marks(
            Reference<css::text::XBookmarksSupplier>(document_, UNO_QUERY_THROW)->getBookmarks(), UNO_QUERY_THROW);
        for (sal_Int32 i = 0; i < marks->getCount(); ++i) {
            Reference<css::text::XTextContent> mark(marks->getByIndex(i), UNO_QUERY_THROW);
            BookmarkInfo b;
            b.name = nameOf(mark);
            const auto anchor = mark->getAnchor();
            const auto text = anchor->getText();
            b.collapsed = anchor->getString().isEmpty();
            Reference<css::text::XTextRangeCompare> compare(text, UNO_QUERY);
            b.atStart = compare.is() && compare->compareRegionStarts(anchor, text->getStart()) == 0;
            if (text == body) {
                b.where = QStringLiteral("body");
            } else {
                for (const auto& frameName : frames->getElementNames()) {
                    Reference<css::text::XTextFrame> frame(frames->getByName(frameName), UNO_QUERY);
                    if (frame.is() && frame->getText() == text) b.where = toQString(frameName);
                }
                if (b.where.isEmpty()) b.where = QStringLiteral("(other text)");
            }
            result.push_back(b);
        }
        return result;
    });
}

std::vector<FrameInfo> DocReader::frames()
{
    return officeCall(session_, "frames", [&] {
        std::vector<FrameInfo> result;
        Reference<css::container::XIndexAccess> frames(
            Reference<css::text::XTextFramesSupplier>(document_, UNO_QUERY_THROW)->getTextFrames(), UNO_QUERY_THROW);
        for (sal_Int32 i = 0; i < frames->getCount(); ++i) {
            Reference<css::text::XTextFrame> frame(frames->getByIndex(i), UNO_QUERY_THROW);
            FrameInfo f;
            f.name = nameOf(frame);
            const auto size = getProperty<css::awt::Size>(frame, "Size");
            f.size = QSize(size.Width, size.Height);
            const auto less = [&](const char* distance, const char* border) {
                return getProperty<sal_Int32>(frame, distance) + getProperty<css::table::BorderLine2>(frame, border).LineWidth;
            };
            // As the word processor fits a picture in: the frame's set width and
            // height (its laid-out size follows its content), less its margins.
            f.inner = QSize(getProperty<sal_Int32>(frame, "Width"), getProperty<sal_Int32>(frame, "Height")) - QSize(less("LeftBorderDistance", "LeftBorder") + less("RightBorderDistance", "RightBorder"),
                                     less("TopBorderDistance", "TopBorder") + less("BottomBorderDistance", "BottomBorder"));
            f.automaticHeight = getProperty<bool>(frame, "FrameIsAutomaticHeight");
            f.text = toQString(frame->getText()->getString());
            f.anchorType = anchorTypeName(frame);
            const auto paragraphs =
                Reference<css::container::XEnumerationAccess>(frame->getText(), UNO_QUERY_THROW)->createEnumeration();
            while (paragraphs->hasMoreElements())
                scanPortions(Reference<XInterface>(paragraphs->nextElement(), UNO_QUERY), f.inlineObjects);
            result.push_back(f);
        }
        return result;
    });
}

std::vector<QImage> DocReader::pictures()
{
    return officeCall(session_, "pictures", [&] {
        std::vector<QImage> result;
        const auto page = drawPageOf(document_);
        const auto provider = css::graphic::GraphicProvider::create(session_.context());
        for (sal_Int32 i = 0; i < page->getCount(); ++i) {
            Reference<XInterface> object(page->getByIndex(i), UNO_QUERY_THROW);
            if (implementationName(object) != QLatin1String("SwXTextGraphicObject")) continue;
            const auto graphic = getProperty<Reference<css::graphic::XGraphic>>(object, "Graphic");
            // Stored losslessly at its own pixel size, then read back.
            const QString file = session_.tempDir() + QStringLiteral("/picture-%1.png").arg(i);
            rtl::OUString url;
            osl::FileBase::getFileURLFromSystemPath(toOUString(file), url);
            css::uno::Sequence<css::beans::PropertyValue> args(2);
            args.getArray()[0].Name = ou("URL");
            args.getArray()[0].Value <<= url;
            args.getArray()[1].Name = ou("MimeType");
            args.getArray()[1].Value <<= ou("image/png");
            provider->storeGraphic(graphic, args);
            result.push_back(QImage(file));
            QFile::remove(file);
        }
        return result;
    });
}

void DocReader::exportPdf(const QString& path)
{
    officeCall(session_, "exportPdf", [&] {
        rtl::OUString url;
        osl::FileBase::getFileURLFromSystemPath(toOUString(QFileInfo(path).absoluteFilePath()), url);
        css::uno::Sequence<css::beans::PropertyValue> args(1);
        args.getArray()[0].Name = ou("FilterName");
        args.getArray()[0].Value <<= ou("writer_pdf_Export");
        Reference<css::frame::XStorable>(document_, UNO_QUERY_THROW)->storeToURL(url, args);
    });
}

std::vector<DrawObjectInfo> DocReader::drawObjects()
{
    return officeCall(session_, "drawObjects", [&] {
        std::vector<DrawObjectInfo> result;
        const auto page = drawPageOf(document_);
        Reference<css::frame::XModel> model(document_, UNO_QUERY_THROW);
        Reference<css::text::XTextViewCursorSupplier> views(model->getCurrentController(), UNO_QUERY);
        const auto body = textDocumentBody(document_);
        Reference<css::text::XTextRangeCompare> compare(body, UNO_QUERY_THROW);
        const auto paragraphs = bodyParagraphs(body);
        for (sal_Int32 i = 0; i < page->getCount(); ++i) {
            Reference<XInterface> object(page->getByIndex(i), UNO_QUERY_THROW);
            DrawObjectInfo d;
            d.implementation = implementationName(object);
            if (Reference<css::lang::XServiceInfo> info{object, UNO_QUERY}; info.is())
                for (const auto& service : info->getSupportedServiceNames()) d.services << toQString(service);
            d.shapeType = shapeTypeOf(object);
            d.name = nameOf(object);
            if (Reference<css::drawing::XShape> shape{object, UNO_QUERY}; shape.is()) {
                const auto size = shape->getSize();
                css::awt::Point pos;
                try {
                    pos = shape->getPosition();
                } catch (const css::uno::RuntimeException&) {
                    // Not for objects anchored as characters: they sit in the line.
                    pos = css::awt::Point(-1, -1);
                }
                d.area = QRect(pos.X, pos.Y, size.Width, size.Height);
            }
            d.anchorType = anchorTypeName(object);
            if (d.anchorType == QLatin1String("page")) {
                d.page = getProperty<sal_Int16>(object, "AnchorPageNo");
            } else if (Reference<css::text::XTextContent> content{object, UNO_QUERY}; content.is()) {
                const auto anchor = content->getAnchor();
                if (anchor.is() && anchor->getText() == body) {
                    for (size_t p = 0; p < paragraphs.size() && !d.paragraph; ++p)
                        if (compare->compareRegionStarts(paragraphs[p], anchor) >= 0 &&
                            compare->compareRegionEnds(paragraphs[p], anchor) <= 0)
                            d.paragraph = int(p) + 1;
                    if (views.is()) {
                        const auto cursor = views->getViewCursor();
                        cursor->gotoRange(anchor, false);
                        d.page = Reference<css::text::XPageCursor>(cursor, UNO_QUERY_THROW)->getPage();
                    }
                }
            }
            if (Reference<css::text::XTextRange> text{object, UNO_QUERY}; text.is())
                d.text = toQString(text->getString());
            if (hasProperty(object, "CustomShapeGeometry")) {
                for (const auto& value :
                     getProperty<css::uno::Sequence<css::beans::PropertyValue>>(object, "CustomShapeGeometry"))
                    if (value.Name == "Type") d.customShapeType = toQString(value.Value.get<rtl::OUString>());
            }
            if (hasProperty(object, "CharFontName"))
                d.font = toQString(getProperty<rtl::OUString>(object, "CharFontName"));
            if (hasProperty(object, "TextBox")) d.textBox = getProperty<bool>(object, "TextBox");
            if (d.textBox && hasProperty(object, "TextBoxContent"))
                if (const auto frame = getProperty<Reference<css::text::XTextFrame>>(object, "TextBoxContent"); frame.is())
                    d.textFrame = nameOf(frame);
            // Imported text frames carry a white fill that is fully transparent.
            if (hasProperty(object, "FillStyle") &&
                getProperty<css::drawing::FillStyle>(object, "FillStyle") == css::drawing::FillStyle_SOLID &&
                getProperty<sal_Int16>(object, "FillTransparence") < 100)
                d.fill = QColor::fromRgb(QRgb(getProperty<sal_Int32>(object, "FillColor")));
            if (hasProperty(object, "Opaque")) d.opaque = getProperty<bool>(object, "Opaque");
            result.push_back(d);
        }
        return result;
    });
}

QString DocReader::dump()
{
    const auto inlineList = [](const QStringList& objects) {
        return objects.isEmpty() ? QString() : QStringLiteral(", inline: ") + objects.join(QStringLiteral(", "));
    };
    QString out;
    const QSize size = pageSize();
    out += QStringLiteral("%1: page %2 x %3, %4 page(s), template %5\n")
               .arg(filterName())
               .arg(size.width())
               .arg(size.height())
               .arg(pageCount())
               .arg(quoted(templateName()));
    int n = 0;
    for (const auto& p : paragraphs()) {
        out += QStringLiteral("paragraph %1%2: %3 (%4 %5pt").arg(++n).arg(p.pageBreakBefore ? " (new page)" : "")
                   .arg(quoted(p.text), p.font).arg(p.points);
        if (p.bold) out += QStringLiteral(" bold");
        if (p.color.isValid()) out += QLatin1Char(' ') + p.color.name();
        if (p.centred) out += QStringLiteral(" centred");
        out += QLatin1Char(')') + inlineList(p.inlineObjects) + QLatin1Char('\n');
    }
    for (const auto& b : bookmarks()) {
        out += QStringLiteral("bookmark %1 in %2").arg(quoted(b.name), quoted(b.where));
        if (b.collapsed) out += QStringLiteral(", collapsed");
        if (b.atStart) out += QStringLiteral(", at start");
        out += QLatin1Char('\n');
    }
    for (const auto& f : frames()) {
        out += QStringLiteral("frame %1: %2 x %3%4 (inside %7 x %8), anchored %5, text %6")
                   .arg(quoted(f.name)).arg(f.size.width()).arg(f.size.height())
                   .arg(f.automaticHeight ? " (automatic height)" : "")
                   .arg(f.anchorType, quoted(f.text))
                   .arg(f.inner.width()).arg(f.inner.height());
        out += inlineList(f.inlineObjects) + QLatin1Char('\n');
    }
    for (const auto& d : drawObjects()) {
        out += QStringLiteral("object %1 %2 %3: at %4,%5 size %6 x %7, anchored %8 in paragraph %9 on page %10")
                   .arg(d.implementation, d.shapeType, quoted(d.name))
                   .arg(d.area.x()).arg(d.area.y()).arg(d.area.width()).arg(d.area.height())
                   .arg(d.anchorType).arg(d.paragraph).arg(d.page);
        if (!d.text.isEmpty()) out += QStringLiteral(", text ") + quoted(d.text);
        if (!d.customShapeType.isEmpty()) out += QStringLiteral(", %1 in %2").arg(d.customShapeType, d.font);
        if (d.textBox) out += QStringLiteral(", text box %1").arg(quoted(d.textFrame));
        if (d.fill.isValid()) out += QStringLiteral(", fill ") + d.fill.name();
        if (!d.opaque) out += QStringLiteral(", behind text");
        out += QLatin1Char('\n');
    }
    return out;
}

}  // namespace marigal::docbuild
