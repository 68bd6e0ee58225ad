// Word's shapes: inline pictures, text boxes and their frames, shape
// ranges, drawing shapes and WordArt's text effects.
#include "engine/libreoffice/lo_word_uno.h"

#include "engine/libreoffice/lo_photo.h"
#include "engine/libreoffice/lo_render.h"
#include "engine/libreoffice/lo_text.h"
#include "engine/libreoffice/office_log.h"
#include "engine/libreoffice/uno_props.h"
#include "engine/libreoffice/uno_strings.h"


#include <com/sun/star/awt/Size.hpp>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/drawing/XShape.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/style/XStyleFamiliesSupplier.hpp>
#include <com/sun/star/table/BorderLine2.hpp>
#include <com/sun/star/text/SizeType.hpp>
#include <com/sun/star/text/TextContentAnchorType.hpp>
#include <com/sun/star/text/XPageCursor.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/text/XTextContent.hpp>
#include <com/sun/star/text/XTextCursor.hpp>
#include <com/sun/star/text/XTextFrame.hpp>
#include <com/sun/star/text/XTextViewCursor.hpp>
#include <com/sun/star/text/XTextViewCursorSupplier.hpp>
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

// Room for a picture: a text box's inner size, or the page's text area.
css::awt::Size RoomFor(const Reference<css::lang::XComponent>& doc, const Selection& sel)
{
    auto get = [](const Reference<css::beans::XPropertySet>& p, const char* name) {
        sal_Int32 v = 0;
        if (p->getPropertySetInfo()->hasPropertyByName(rtl::OUString::createFromAscii(name)))
            p->getPropertyValue(rtl::OUString::createFromAscii(name)) >>= v;
        return v;
    };
    if (sel.frame.is()) {
        // A text frame has them all: read without asking first, every question is a call to the office.
        Reference<css::beans::XPropertySet> p(sel.frame, UNO_QUERY_THROW);
        const auto num = [&](const char* name) {
            sal_Int32 n = 0;
            p->getPropertyValue(rtl::OUString::createFromAscii(name)) >>= n;
            return n;
        };
        const auto border = [&](const char* name) {
            css::table::BorderLine2 b;
            p->getPropertyValue(rtl::OUString::createFromAscii(name)) >>= b;
            return sal_Int32(b.LineWidth);
        };
        const sal_Int32 w = num("Width") - num("LeftBorderDistance") - num("RightBorderDistance") - border("LeftBorder") -
                            border("RightBorder");
        const sal_Int32 h = num("Height") - num("TopBorderDistance") - num("BottomBorderDistance") - border("TopBorder") -
                            border("BottomBorder");
        return {std::max<sal_Int32>(w, 1), std::max<sal_Int32>(h, 1)};
    }
    // The body: the text area of the page style in use where the selection is.
    Reference<css::beans::XPropertySet> cursorProps(sel.cursor, UNO_QUERY_THROW);
    rtl::OUString styleName;
    cursorProps->getPropertyValue("PageStyleName") >>= styleName;
    Reference<css::style::XStyleFamiliesSupplier> families(doc, UNO_QUERY_THROW);
    Reference<css::container::XNameAccess> pageStyles(families->getStyleFamilies()->getByName("PageStyles"),
                                                      UNO_QUERY_THROW);
    Reference<css::beans::XPropertySet> page(pageStyles->getByName(styleName), UNO_QUERY_THROW);
    const sal_Int32 w = get(page, "Width") - get(page, "LeftMargin") - get(page, "RightMargin");
    sal_Int32 h = get(page, "Height") - get(page, "TopMargin") - get(page, "BottomMargin");
    // On the first page, only what is left below the insertion point: a tall
    // photo below a message must not push itself onto a page of its own.
    Reference<css::frame::XModel> model(doc, UNO_QUERY);
    Reference<text::XTextViewCursorSupplier> views(model.is() ? model->getCurrentController() : nullptr, UNO_QUERY);
    if (views.is()) {
        Reference<text::XTextViewCursor> view = views->getViewCursor();
        Reference<text::XPageCursor> pages(view, UNO_QUERY);
        view->gotoStart(false);
        const sal_Int32 top = view->getPosition().Y;
        view->gotoRange(sel.cursor->getStart(), false);
        const sal_Int32 used = view->getPosition().Y - top;
        if (pages.is() && pages->getPage() == 1 && used > 0 && used < h / 2) h -= used;
    }
    return {std::max<sal_Int32>(w, 1), std::max<sal_Int32>(h, 1)};
}

// A text box's room, by file and box: the same in every load of a design.
static std::mutex g_roomMutex;
static std::map<std::pair<QString, QString>, css::awt::Size> g_rooms;

css::awt::Size CachedRoomFor(const Reference<css::lang::XComponent>& doc, const DocEntry& entry)
{
    if (!entry.sel.frame.is() || entry.fileKey.isEmpty()) return RoomFor(doc, entry.sel);
    const std::pair<QString, QString> key{
        entry.fileKey, toQString(Reference<css::container::XNamed>(entry.sel.frame, UNO_QUERY_THROW)->getName())};
    {
        std::lock_guard lock(g_roomMutex);
        if (const auto it = g_rooms.find(key); it != g_rooms.end()) return it->second;
    }
    const css::awt::Size room = RoomFor(doc, entry.sel);
    std::lock_guard lock(g_roomMutex);
    g_rooms[key] = room;
    return room;
}

// Natural size in 1/100 mm, scaled down (never up) to fit `room`. A Word
// file keeps a picture's size in twips and its scale in thousandths: a photo
// that filled its room exactly could come back from the file a little larger
// and no longer fit its page, so it is given half a percent to spare.
css::awt::Size FitPhoto(css::awt::Size natural, const css::awt::Size& room)
{
    constexpr double kSpare = 0.995;
    const double w = std::max(1, natural.Width), h = std::max(1, natural.Height);
    const double scale = std::min({1.0, room.Width * kSpare / w, room.Height * kSpare / h});
    return {sal_Int32(std::max(1.0, w * scale)), sal_Int32(std::max(1.0, h * scale))};
}

// Inserting a photo is one call that reads and decodes the whole file: a
// photo of 200 megapixels takes the office several seconds, more on a slow
// machine, so its bound is longer than an ordinary call's.
constexpr std::chrono::seconds kPhotoCallBound{120};

class WordInlineShapes : public WordObject<WordInlineShapes> {
public:
    using WordObject::WordObject;
    static const MemberTable<WordInlineShapes>& members()
    {
        static const MemberTable<WordInlineShapes> table{
            {"AddPicture", kMethod, &WordInlineShapes::addPicture},
        };
        return table;
    }

    Value addPicture(InvokeKind, const Args& args)
    {
        const QString path = NeedArg(args, 0, u"FileName").toQString();
        const Value* link = FindArg(args, 1, u"LinkToFile");
        if (link && link->toBool()) throw EngineError(errtext::kValueOutOfRange);  // only embedded pictures
        const PhotoFile photo = InspectPhoto(path);
        auto entry = state_->active();
        const auto doc = Live(entry);
        // One call that reads a whole photo of up to a few hundred megapixels.
        state_->session->call(kPhotoCallBound, [&] {
            if (!entry->sel.cursor.is()) {
                entry->sel.cursor = BodyText(doc)->createTextCursor();
                entry->sel.cursor->gotoStart(false);
            }
            const auto& cursor = entry->sel.cursor;
            const LoadedPhoto loaded = LoadPhoto(*state_->session, photo);

            Reference<css::lang::XMultiServiceFactory> factory(doc, UNO_QUERY_THROW);
            Reference<text::XTextContent> picture(
                factory->createInstance("com.sun.star.text.TextGraphicObject"), UNO_QUERY_THROW);
            Reference<css::beans::XPropertySet> props(picture, UNO_QUERY_THROW);
            props->setPropertyValue("AnchorType", Any(text::TextContentAnchorType_AS_CHARACTER));
            props->setPropertyValue("Graphic", Any(loaded.graphic));
            const css::awt::Size size = FitPhoto(loaded.naturalSize, CachedRoomFor(doc, *entry));
            props->setPropertyValue("Width", Any(size.Width));
            props->setPropertyValue("Height", Any(size.Height));
            cursor->getText()->insertTextContent(AsRange(cursor), picture, !cursor->isCollapsed());
            cursor->collapseToEnd();
        });
        return {};
    }
};

class WordTextFrame : public WordObject<WordTextFrame> {
public:
    WordTextFrame(std::shared_ptr<WordState> s, std::shared_ptr<DocEntry> e, Reference<text::XTextFrame> f)
        : WordObject(std::move(s)), entry_(std::move(e)), frame_(std::move(f)) {}
    static const MemberTable<WordTextFrame>& members()
    {
        static const MemberTable<WordTextFrame> table{
            {"TextRange", kGet, &WordTextFrame::textRange},
            {"Overflowing", kGet, &WordTextFrame::overflowing},
        };
        return table;
    }
    Value textRange(InvokeKind, const Args&);
    // The height the laid-out text needs, read while the box may grow to
    // it, against the box's own: a box of fixed height cuts the rest off.
    Value overflowing(InvokeKind, const Args&)
    {
        Live(entry_);
        return Value::boolean(call([&] {
            Reference<css::beans::XPropertySet> p(frame_, UNO_QUERY_THROW);
            sal_Int16 sizeType = 0;
            sal_Int32 height = 0;
            bool automatic = false;
            p->getPropertyValue("SizeType") >>= sizeType;
            p->getPropertyValue("Height") >>= height;
            p->getPropertyValue("FrameIsAutomaticHeight") >>= automatic;
            if (automatic) return false;  // it grows with its text
            css::awt::Size needed;
            p->setPropertyValue("FrameIsAutomaticHeight", Any(true));
            p->setPropertyValue("Height", Any(sal_Int32(50)));
            p->getPropertyValue("LayoutSize") >>= needed;  // lays the text out first
            p->setPropertyValue("FrameIsAutomaticHeight", Any(false));
            p->setPropertyValue("SizeType", Any(sizeType));
            p->setPropertyValue("Height", Any(height));
            // The layout rounds: a text that just fits may want a tenth of a millimetre more.
            constexpr sal_Int32 kRounding = 10;
            return needed.Height > height + kRounding;
        }));
    }

private:
    std::shared_ptr<DocEntry> entry_;
    Reference<text::XTextFrame> frame_;
};

class WordShapeRange : public WordObject<WordShapeRange> {
public:
    WordShapeRange(std::shared_ptr<WordState> s, std::shared_ptr<DocEntry> e, Reference<text::XTextFrame> f)
        : WordObject(std::move(s)), entry_(std::move(e)), frame_(std::move(f)) {}
    static const MemberTable<WordShapeRange>& members()
    {
        static const MemberTable<WordShapeRange> table{
            {"TextFrame", kGet, &WordShapeRange::textFrame},
            {"Select", kMethod, &WordShapeRange::select},
        };
        return table;
    }
    Value textFrame(InvokeKind, const Args&)
    {
        return make<WordTextFrame>(entry_, frame_);
    }
    Value select(InvokeKind, const Args&)
    {
        Live(entry_);
        call([&] {
            entry_->sel.frame = frame_;
            entry_->sel.cursor = WholeText(frame_->getText());
        });
        return {};
    }

private:
    std::shared_ptr<DocEntry> entry_;
    Reference<text::XTextFrame> frame_;
};

Value WordTextFrame::textRange(InvokeKind, const Args&)
{
    Live(entry_);
    auto range = call([&] { return Reference<text::XTextRange>(WholeText(frame_->getText()), UNO_QUERY_THROW); });
    return NewRange(state_, entry_, range);
}

class WordShape : public WordObject<WordShape> {
public:
    // A shape is a text box (frame) or a drawing shape.
    WordShape(std::shared_ptr<WordState> s, std::shared_ptr<DocEntry> e, Reference<text::XTextFrame> f,
              Reference<css::drawing::XShape> shape)
        : WordObject(std::move(s)), entry_(std::move(e)), frame_(std::move(f)), shape_(std::move(shape)) {}
    static const MemberTable<WordShape>& members()
    {
        static const MemberTable<WordShape> table{
            {"Select", kMethod, &WordShape::select},
            {"TextEffect", kGet, &WordShape::textEffect},
            {"TextFrame", kGet, &WordShape::textFrame},
            {"Name", kGet, &WordShape::name},
            {"Width", kGet | kPut, &WordShape::width},
            {"Height", kGet | kPut, &WordShape::height},
            {"Left", kGet | kPut, &WordShape::left},
            {"Top", kGet | kPut, &WordShape::top},
        };
        return table;
    }
    // Its size and place in points; the place as its anchoring measures it
    // (the designs measure from the page).
    Value width(InvokeKind kind, const Args& args) { return extent(kind, args, true); }
    Value height(InvokeKind kind, const Args& args) { return extent(kind, args, false); }
    Value left(InvokeKind kind, const Args& args) { return position(kind, args, "HoriOrientPosition"); }
    Value top(InvokeKind kind, const Args& args) { return position(kind, args, "VertOrientPosition"); }
    Value extent(InvokeKind kind, const Args& args, bool across)
    {
        Live(entry_);
        return call([&] {
            css::awt::Size size = shape_->getSize();
            sal_Int32& value = across ? size.Width : size.Height;
            if (kind == InvokeKind::PropertyGet) return Value::single(float(value / kHundredthsPerPoint));
            value = std::max<sal_Int32>(1, sal_Int32(std::lround(args.back().value.toDouble() * kHundredthsPerPoint)));
            shape_->setSize(size);
            return Value();
        });
    }
    Value position(InvokeKind kind, const Args& args, const char* property)
    {
        Live(entry_);
        return call([&] {
            Reference<css::beans::XPropertySet> props(shape_, UNO_QUERY_THROW);
            const rtl::OUString name = rtl::OUString::createFromAscii(property);
            if (kind == InvokeKind::PropertyGet) {
                sal_Int32 at = 0;
                props->getPropertyValue(name) >>= at;
                return Value::single(float(at / kHundredthsPerPoint));
            }
            props->setPropertyValue(name, Any(sal_Int32(std::lround(args.back().value.toDouble() * kHundredthsPerPoint))));
            return Value();
        });
    }
    Value select(InvokeKind, const Args&)
    {
        Live(entry_);
        call([&] {
            entry_->sel.frame = frame_;
            entry_->sel.cursor = frame_.is() ? WholeText(frame_->getText()) : Reference<text::XTextCursor>();
        });
        return {};
    }
    Value textEffect(InvokeKind, const Args&);
    Value textFrame(InvokeKind, const Args&)
    {
        Live(entry_);
        if (!frame_.is()) throw EngineError(errtext::kNoTextFrame);
        return make<WordTextFrame>(entry_, frame_);
    }
    Value name(InvokeKind, const Args&)
    {
        return Value::string(call([&] {
            Reference<css::container::XNamed> named(frame_.is() ? Reference<css::uno::XInterface>(frame_)
                                                                : Reference<css::uno::XInterface>(shape_),
                                                    UNO_QUERY_THROW);
            return U(named->getName());
        }));
    }

private:
    friend class WordTextEffect;
    std::shared_ptr<DocEntry> entry_;
    Reference<text::XTextFrame> frame_;
    Reference<css::drawing::XShape> shape_;
};

// A WordArt shape's text.
class WordTextEffect : public WordObject<WordTextEffect> {
public:
    WordTextEffect(std::shared_ptr<WordState> s, std::shared_ptr<DocEntry> e, Reference<text::XText> t)
        : WordObject(std::move(s)), entry_(std::move(e)), text_(std::move(t)) {}
    static const MemberTable<WordTextEffect>& members()
    {
        static const MemberTable<WordTextEffect> table{
            {"Text", kGet | kPut, &WordTextEffect::textMember},
        };
        return table;
    }
    Value textMember(InvokeKind kind, const Args& args)
    {
        Live(entry_);
        if (kind == InvokeKind::PropertyGet) return Value::string(call([&] { return U(text_->getString()); }));
        const std::u16string value = args.back().value.toString();
        call([&] { text_->setString(WriterText(value)); });
        return {};
    }

private:
    std::shared_ptr<DocEntry> entry_;
    Reference<text::XText> text_;
};

// A Fontwork shape: its geometry is one of the "fontwork-..." kinds.
bool IsWordArt(const Reference<css::drawing::XShape>& shape)
{
    Reference<css::beans::XPropertySet> props(shape, UNO_QUERY);
    if (!props.is() || !props->getPropertySetInfo()->hasPropertyByName("CustomShapeGeometry")) return false;
    Sequence<css::beans::PropertyValue> geometry;
    props->getPropertyValue("CustomShapeGeometry") >>= geometry;
    for (const auto& p : geometry) {
        rtl::OUString type;
        if (p.Name == "Type" && (p.Value >>= type)) return type.startsWith("fontwork");
    }
    return false;
}

Value WordShape::textEffect(InvokeKind, const Args&)
{
    Live(entry_);
    Reference<text::XText> t(shape_, UNO_QUERY);
    if (frame_.is() || !t.is() || !call([&] { return IsWordArt(shape_); })) throw EngineError(errtext::kNotWordArt);
    return make<WordTextEffect>(entry_, t);
}

}  // namespace

Value NewShape(const std::shared_ptr<WordState>& state, std::shared_ptr<DocEntry> entry,
               Reference<text::XTextFrame> frame, Reference<css::drawing::XShape> shape)
{
    return Value::object(std::make_shared<WordShape>(state, std::move(entry), std::move(frame), std::move(shape)));
}

Value NewShapeRange(const std::shared_ptr<WordState>& state, std::shared_ptr<DocEntry> entry,
                    Reference<text::XTextFrame> frame)
{
    return Value::object(std::make_shared<WordShapeRange>(state, std::move(entry), std::move(frame)));
}

Value NewInlineShapes(const std::shared_ptr<WordState>& state)
{
    return Value::object(std::make_shared<WordInlineShapes>(state));
}

}  // namespace marigal::engine::lo
