// Word's text: the selection, ranges, their fonts, and the paragraphs.
#include "engine/libreoffice/lo_word_uno.h"

#include "engine/libreoffice/lo_photo.h"
#include "engine/libreoffice/lo_render.h"
#include "engine/libreoffice/lo_text.h"
#include "engine/libreoffice/office_log.h"
#include "engine/libreoffice/uno_props.h"
#include "engine/libreoffice/uno_strings.h"

#include <QFile>
#include <QImage>

#include <com/sun/star/awt/Size.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/awt/FontWeight.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/style/XStyleFamiliesSupplier.hpp>
#include <com/sun/star/text/ControlCharacter.hpp>
#include <com/sun/star/text/XPageCursor.hpp>
#include <com/sun/star/text/XParagraphCursor.hpp>
#include <com/sun/star/text/XTextCursor.hpp>
#include <com/sun/star/text/XTextViewCursor.hpp>
#include <com/sun/star/text/XTextViewCursorSupplier.hpp>
#include <com/sun/star/util/XModifiable.hpp>
#include <com/sun/star/view/XViewCursor.hpp>
#include <osl/file.hxx>

#include <algorithm>
#include <cerrno>
#include <map>
#include <mutex>
#include <optional>


#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace marigal::engine::lo {

namespace {

class WordRange;

class WordSelection : public WordObject<WordSelection> {
public:
    using WordObject::WordObject;
    static const MemberTable<WordSelection>& members();

    Value shapeRange(InvokeKind, const Args&);
    Value inlineShapes(InvokeKind, const Args&);
    Value collapse(InvokeKind, const Args& args);
    Value moveDown(InvokeKind, const Args& args);
    Value deleteText(InvokeKind, const Args& args);
    Value typeText(InvokeKind, const Args& args);
    Value typeParagraph(InvokeKind, const Args&);
    Value typeBackspace(InvokeKind, const Args&);
    Value textGet(InvokeKind, const Args&);

private:
    // The active document's selection, with text to work on.
    std::pair<std::shared_ptr<DocEntry>, Reference<text::XTextCursor>> textSelection()
    {
        auto entry = state_->active();
        Live(entry);
        if (!entry->sel.cursor.is()) {
            // Nothing selected yet: the start of the document, as a fresh window has it.
            entry->sel.cursor = BodyText(entry->doc)->createTextCursor();
            entry->sel.cursor->gotoStart(false);
            entry->sel.frame.clear();
        }
        return {entry, entry->sel.cursor};
    }
};

// The characters of a range. Word keeps a size and a weight for right-to-left
// and complex scripts apart (SizeBi, BoldBi), as the office does; the office
// keeps a third for East Asian scripts, which Word's Size sets as well.
class WordFont : public WordObject<WordFont> {
public:
    WordFont(std::shared_ptr<WordState> s, std::shared_ptr<DocEntry> e, Reference<text::XTextRange> r)
        : WordObject(std::move(s)), entry_(std::move(e)), range_(std::move(r)) {}
    static const MemberTable<WordFont>& members()
    {
        static const MemberTable<WordFont> table{
            {"Size", kGet | kPut, &WordFont::size},
            {"SizeBi", kGet | kPut, &WordFont::sizeBi},
            {"Bold", kGet | kPut, &WordFont::bold},
            {"BoldBi", kGet | kPut, &WordFont::boldBi},
        };
        return table;
    }
    Value size(InvokeKind kind, const Args& args) { return height(kind, args, {"CharHeight", "CharHeightAsian"}); }
    Value sizeBi(InvokeKind kind, const Args& args) { return height(kind, args, {"CharHeightComplex"}); }
    Value bold(InvokeKind kind, const Args& args) { return weight(kind, args, {"CharWeight", "CharWeightAsian"}); }
    Value boldBi(InvokeKind kind, const Args& args) { return weight(kind, args, {"CharWeightComplex"}); }

private:
    // A cursor over the range, made once: every read and write of the font goes through it.
    Reference<css::beans::XPropertySet> chars()
    {
        if (!chars_.is())
            chars_.set(range_->getText()->createTextCursorByRange(range_), UNO_QUERY_THROW);
        return chars_;
    }
    Value height(InvokeKind kind, const Args& args, std::initializer_list<const char*> names)
    {
        Live(entry_);
        if (kind == InvokeKind::PropertyGet) {
            float points = 0;
            call([&] { chars()->getPropertyValue(rtl::OUString::createFromAscii(*names.begin())) >>= points; });
            return Value::single(points);
        }
        const double points = args.back().value.toDouble();
        if (!(points >= 1 && points <= 1638)) throw EngineError(errtext::kValueOutOfRange);  // Word's bounds
        call([&] {
            const auto props = chars();
            for (const char* name : names) props->setPropertyValue(rtl::OUString::createFromAscii(name), Any(float(points)));
        });
        return {};
    }
    Value weight(InvokeKind kind, const Args& args, std::initializer_list<const char*> names)
    {
        Live(entry_);
        if (kind == InvokeKind::PropertyGet) {
            float w = 0;
            call([&] { chars()->getPropertyValue(rtl::OUString::createFromAscii(*names.begin())) >>= w; });
            return Value::boolean(w >= css::awt::FontWeight::SEMIBOLD);
        }
        const float w = args.back().value.toBool() ? css::awt::FontWeight::BOLD : css::awt::FontWeight::NORMAL;
        call([&] {
            const auto props = chars();
            for (const char* name : names) props->setPropertyValue(rtl::OUString::createFromAscii(name), Any(w));
        });
        return {};
    }

    std::shared_ptr<DocEntry> entry_;
    Reference<text::XTextRange> range_;
    Reference<css::beans::XPropertySet> chars_;
};

class WordParagraph : public WordObject<WordParagraph> {
public:
    WordParagraph(std::shared_ptr<WordState> s, std::shared_ptr<DocEntry> e, Reference<text::XTextRange> p)
        : WordObject(std::move(s)), entry_(std::move(e)), paragraph_(std::move(p)) {}
    static const MemberTable<WordParagraph>& members()
    {
        static const MemberTable<WordParagraph> table{
            {"Range", kGet, &WordParagraph::range},
            {"SpaceAfter", kGet | kPut, &WordParagraph::spaceAfter},
        };
        return table;
    }
    Value range(InvokeKind, const Args&);
    Value spaceAfter(InvokeKind kind, const Args& args)
    {
        Live(entry_);
        Reference<css::beans::XPropertySet> props(paragraph_, UNO_QUERY_THROW);
        if (kind == InvokeKind::PropertyGet) {
            sal_Int32 margin = 0;
            call([&] { props->getPropertyValue("ParaBottomMargin") >>= margin; });
            return Value::single(float(margin / kHundredthsPerPoint));
        }
        const double points = args.back().value.toDouble();
        if (!(points >= 0 && points <= 1584)) throw EngineError(errtext::kValueOutOfRange);  // Word's bounds
        call([&] { props->setPropertyValue("ParaBottomMargin", Any(sal_Int32(std::lround(points * kHundredthsPerPoint)))); });
        return {};
    }

private:
    std::shared_ptr<DocEntry> entry_;
    Reference<text::XTextRange> paragraph_;
};

class WordParagraphs : public WordObject<WordParagraphs> {
public:
    WordParagraphs(std::shared_ptr<WordState> s, std::shared_ptr<DocEntry> e)
        : WordObject(std::move(s)), entry_(std::move(e)) {}
    static const MemberTable<WordParagraphs>& members()
    {
        static const MemberTable<WordParagraphs> table{
            {"Count", kGet, &WordParagraphs::count},
            {"Item", kGetOrCall, &WordParagraphs::item},
        };
        return table;
    }
    Value count(InvokeKind, const Args&)
    {
        const auto doc = Live(entry_);
        return Value::int32(std::int32_t(call([&] { return BodyParagraphs(doc).size(); })));
    }
    Value item(InvokeKind, const Args& args) { return Item(*this, entry_, NeedArg(args, 0, u"Index").toInt()); }

    // The paragraph at `index`, from 1.
    template <class Maker>
    static Value Item(Maker& maker, const std::shared_ptr<DocEntry>& entry, std::int32_t index)
    {
        const auto doc = Live(entry);
        auto paragraph = maker.callOnSession([&] {
            const auto all = BodyParagraphs(doc);
            if (index < 1 || size_t(index) > all.size()) throw EngineError(errtext::kNoSuchBookmark);
            return all[size_t(index - 1)];
        });
        return maker.template makeObject<WordParagraph>(entry, paragraph);
    }

private:
    std::shared_ptr<DocEntry> entry_;
};

// A stretch of text: a bookmark's place, a text box's text, the whole document.
class WordRange : public WordObject<WordRange> {
public:
    WordRange(std::shared_ptr<WordState> s, std::shared_ptr<DocEntry> e, Reference<text::XTextRange> r)
        : WordObject(std::move(s)), entry_(std::move(e)), range_(std::move(r)) {}
    static const MemberTable<WordRange>& members()
    {
        static const MemberTable<WordRange> table{
            {"Select", kMethod, &WordRange::select},
            {"Text", kGet | kPut, &WordRange::text},
            {"CopyAsPicture", kMethod, &WordRange::copyAsPicture},
            {"Font", kGet, &WordRange::font},
            {"Information", kGet, &WordRange::information},
        };
        return table;
    }
    Value font(InvokeKind, const Args&)
    {
        Live(entry_);
        return make<WordFont>(entry_, range_);
    }
    // Information(wdActiveEndPageNumber = 3) and (wdVerticalPositionRelativeToPage
    // = 6, in points), of the body's text: where the page's layout put the range's start.
    Value information(InvokeKind, const Args& args)
    {
        const std::int32_t type = NeedArg(args, 0, u"Type").toInt();
        if (type != 3 && type != 6) throw EngineError(errtext::kValueOutOfRange);
        const auto doc = Live(entry_);
        return call([&] {
            // Only the body: the view cursor would scroll a text box's text.
            if (FrameOf(doc, range_->getText()).is()) throw EngineError(errtext::kValueOutOfRange);
            Reference<css::frame::XModel> model(doc, UNO_QUERY_THROW);
            Reference<text::XTextViewCursorSupplier> views(model->getCurrentController(), UNO_QUERY_THROW);
            Reference<text::XTextViewCursor> view = views->getViewCursor();
            Reference<text::XPageCursor> pages(view, UNO_QUERY_THROW);
            view->gotoRange(range_->getStart(), false);
            if (type == 3) return Value::int32(pages->getPage());
            const sal_Int32 y = view->getPosition().Y;
            // From the top of the page: its text area's top, plus the margin above it.
            pages->jumpToStartOfPage();
            const sal_Int32 top = view->getPosition().Y;
            rtl::OUString styleName;
            Reference<css::beans::XPropertySet>(view, UNO_QUERY_THROW)->getPropertyValue("PageStyleName") >>= styleName;
            Reference<css::style::XStyleFamiliesSupplier> families(doc, UNO_QUERY_THROW);
            Reference<css::container::XNameAccess> pageStyles(families->getStyleFamilies()->getByName("PageStyles"),
                                                              UNO_QUERY_THROW);
            sal_Int32 margin = 0;
            Reference<css::beans::XPropertySet>(pageStyles->getByName(styleName), UNO_QUERY_THROW)
                    ->getPropertyValue("TopMargin") >>= margin;
            return Value::single(float((y - top + margin) / kHundredthsPerPoint));
        });
    }
    Value select(InvokeKind, const Args&)
    {
        const auto doc = Live(entry_);
        call([&] {
            const auto t = range_->getText();
            entry_->sel.cursor = t->createTextCursorByRange(range_);
            entry_->sel.frame = FrameOf(doc, t);
        });
        return {};
    }
    Value text(InvokeKind kind, const Args& args)
    {
        Live(entry_);
        if (kind == InvokeKind::PropertyGet) return Value::string(call([&] { return U(range_->getString()); }));
        const std::u16string value = args.back().value.toString();
        call([&] { InsertText(range_->getText()->createTextCursorByRange(range_), WriterText(value)); });
        return {};
    }
    Value copyAsPicture(InvokeKind, const Args&)
    {
        const auto doc = Live(entry_);
        // Kept for ExportAsFixedFormat while the document stays unchanged, so
        // that a card's PDF after its picture costs no second export.
        if (!entry_->pagesPdf.isEmpty()) QFile::remove(std::exchange(entry_->pagesPdf, QString()));
        const bool unchanged =
            call([&] { return !Reference<css::util::XModifiable>(doc, UNO_QUERY_THROW)->isModified(); });
        const auto picture = std::make_shared<QImage>(
            RenderDocument(*state_->session, doc, kPictureDpi, state_->session->options().pictureFit,
                           unchanged ? &entry_->pagesPdf : nullptr)
                .convertToFormat(QImage::Format_ARGB32_Premultiplied));
        if (picture->isNull()) throw EngineError(errtext::kAutomationError);
        // In this program's memory: the desktop's clipboard keeps what the user copied.
        state_->copied->put({picture->width(), picture->height(), int(picture->bytesPerLine()),
                             picture->dotsPerMeterX() * 0.0254,
                             std::shared_ptr<const std::uint8_t>(picture, picture->constBits())});
        return {};
    }

    // How finely a copied page is drawn at most: sharp when shown several
    // times enlarged.
    static constexpr double kPictureDpi = 300.0;

private:
    std::shared_ptr<DocEntry> entry_;
    Reference<text::XTextRange> range_;
};

Value WordParagraph::range(InvokeKind, const Args&)
{
    Live(entry_);
    return make<WordRange>(entry_, paragraph_);
}

// ---------------------------------------------------------------------------
// Selection members.

const MemberTable<WordSelection>& WordSelection::members()
{
    static const MemberTable<WordSelection> table{
        {"ShapeRange", kGet, &WordSelection::shapeRange},
        {"InlineShapes", kGet, &WordSelection::inlineShapes},
        {"Collapse", kMethod, &WordSelection::collapse},
        {"MoveDown", kMethod, &WordSelection::moveDown},
        {"Delete", kMethod, &WordSelection::deleteText},
        {"TypeText", kMethod, &WordSelection::typeText},
        {"TypeParagraph", kMethod, &WordSelection::typeParagraph},
        {"TypeBackspace", kMethod, &WordSelection::typeBackspace},
        {"Text", kGet, &WordSelection::textGet},
    };
    return table;
}

Value WordSelection::shapeRange(InvokeKind, const Args&)
{
    auto entry = state_->active();
    Live(entry);
    if (!entry->sel.frame.is()) throw EngineError(errtext::kNoTextFrame);
    return NewShapeRange(state_, entry, entry->sel.frame);
}

Value WordSelection::inlineShapes(InvokeKind, const Args&)
{
    Live(state_->active());
    return NewInlineShapes(state_);
}

Value WordSelection::collapse(InvokeKind, const Args& args)
{
    const std::int32_t direction = IntArg(args, 0, u"Direction", 1);  // wdCollapseStart
    auto [entry, cursor] = textSelection();
    call([&] {
        if (direction == 0) cursor->collapseToEnd();
        else cursor->collapseToStart();
    });
    return {};
}

Value WordSelection::moveDown(InvokeKind, const Args& args)
{
    const std::int32_t unit = IntArg(args, 0, u"Unit", 5);
    const std::int32_t count = IntArg(args, 1, u"Count", 1);
    const bool extend = IntArg(args, 2, u"Extend", 0) != 0;
    if (unit != 5 && unit != 4) throw EngineError(errtext::kValueOutOfRange);  // lines or paragraphs
    auto [entry, cursor] = textSelection();
    call([&] {
        if (unit == 4) {
            Reference<text::XParagraphCursor> para(cursor, UNO_QUERY_THROW);
            for (std::int32_t i = 0; i < count; ++i)
                if (!para->gotoNextParagraph(extend)) break;
            return;
        }
        // Lines exist only on the laid-out page: the view's cursor walks them.
        Reference<css::frame::XModel> model(entry->doc, UNO_QUERY_THROW);
        Reference<text::XTextViewCursorSupplier> views(model->getCurrentController(), UNO_QUERY_THROW);
        Reference<text::XTextViewCursor> view = views->getViewCursor();
        view->gotoRange(cursor->getStart(), false);
        if (extend) view->gotoRange(cursor->getEnd(), true);
        Reference<css::view::XViewCursor>(view, UNO_QUERY_THROW)->goDown(sal_Int16(std::clamp(count, 0, 32767)), extend);
        Reference<text::XTextCursor> moved = view->getText()->createTextCursorByRange(view->getStart());
        if (extend) moved->gotoRange(view->getEnd(), true);
        entry->sel.cursor = moved;
        entry->sel.frame = FrameOf(entry->doc, moved->getText());
    });
    return {};
}

Value WordSelection::deleteText(InvokeKind, const Args& args)
{
    const std::int32_t unit = IntArg(args, 0, u"Unit", 1);
    const std::int32_t count = IntArg(args, 1, u"Count", 1);
    if (unit != 1) throw EngineError(errtext::kValueOutOfRange);  // characters only
    auto [entry, cursor] = textSelection();
    call([&] {
        if (cursor->isCollapsed()) {
            if (count >= 0) cursor->goRight(sal_Int16(std::min(count, 32767)), true);
            else cursor->goLeft(sal_Int16(std::min(-count, 32767)), true);
        }
        cursor->setString(rtl::OUString());
        cursor->collapseToStart();
    });
    return {};
}

Value WordSelection::typeText(InvokeKind, const Args& args)
{
    const std::u16string value = NeedArg(args, 0, u"Text").toString();
    auto [entry, cursor] = textSelection();
    call([&] {
        InsertText(cursor, WriterText(value));
    });
    return {};
}

Value WordSelection::typeParagraph(InvokeKind, const Args&)
{
    auto [entry, cursor] = textSelection();
    call([&] {
        cursor->getText()->insertControlCharacter(AsRange(cursor), text::ControlCharacter::PARAGRAPH_BREAK,
                                                  !cursor->isCollapsed());
        cursor->collapseToEnd();
    });
    return {};
}

Value WordSelection::typeBackspace(InvokeKind, const Args&)
{
    auto [entry, cursor] = textSelection();
    call([&] {
        if (cursor->isCollapsed() && !cursor->goLeft(1, true)) return;  // at the very start
        cursor->setString(rtl::OUString());
        cursor->collapseToStart();
    });
    return {};
}

Value WordSelection::textGet(InvokeKind, const Args&)
{
    auto [entry, cursor] = textSelection();
    return Value::string(call([&] { return U(cursor->getString()); }));
}

}  // namespace

Value NewSelection(const std::shared_ptr<WordState>& state)
{
    return Value::object(std::make_shared<WordSelection>(state));
}

Value NewRange(const std::shared_ptr<WordState>& state, std::shared_ptr<DocEntry> entry,
               Reference<text::XTextRange> range)
{
    return Value::object(std::make_shared<WordRange>(state, std::move(entry), std::move(range)));
}

Value NewParagraphs(const std::shared_ptr<WordState>& state, std::shared_ptr<DocEntry> entry)
{
    return Value::object(std::make_shared<WordParagraphs>(state, std::move(entry)));
}

Value NewParagraphAt(const std::shared_ptr<WordState>& state, std::shared_ptr<DocEntry> entry, std::int32_t index)
{
    WordParagraphs paragraphs(state, entry);
    return WordParagraphs::Item(paragraphs, entry, index);
}

}  // namespace marigal::engine::lo
