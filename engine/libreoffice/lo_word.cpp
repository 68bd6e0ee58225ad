#include "engine/libreoffice/lo_word.h"

#include "engine/libreoffice/lo_photo.h"
#include "engine/libreoffice/lo_render.h"
#include "engine/libreoffice/lo_text.h"
#include "engine/libreoffice/office_log.h"
#include "engine/libreoffice/uno_props.h"
#include "engine/libreoffice/uno_strings.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>

#include <com/sun/star/awt/Size.hpp>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XMultiPropertySet.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/awt/FontWeight.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/document/MacroExecMode.hpp>
#include <com/sun/star/drawing/XDrawPageSupplier.hpp>
#include <com/sun/star/drawing/XShape.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/graphic/GraphicProvider.hpp>
#include <com/sun/star/graphic/XGraphic.hpp>
#include <com/sun/star/io/IOException.hpp>
#include <com/sun/star/io/SequenceInputStream.hpp>
#include <com/sun/star/lang/IllegalArgumentException.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/style/XStyleFamiliesSupplier.hpp>
#include <com/sun/star/table/BorderLine2.hpp>
#include <com/sun/star/text/ControlCharacter.hpp>
#include <com/sun/star/text/SizeType.hpp>
#include <com/sun/star/text/TextContentAnchorType.hpp>
#include <com/sun/star/text/XBookmarksSupplier.hpp>
#include <com/sun/star/text/XPageCursor.hpp>
#include <com/sun/star/text/XParagraphCursor.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/text/XTextContent.hpp>
#include <com/sun/star/text/XTextCursor.hpp>
#include <com/sun/star/text/XTextDocument.hpp>
#include <com/sun/star/text/XTextFrame.hpp>
#include <com/sun/star/text/XTextFramesSupplier.hpp>
#include <com/sun/star/text/XTextViewCursor.hpp>
#include <com/sun/star/text/XTextViewCursorSupplier.hpp>
#include <com/sun/star/util/CloseVetoException.hpp>
#include <com/sun/star/util/XCloseable.hpp>
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

using css::uno::Any;
using css::uno::Reference;
using css::uno::Sequence;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;
namespace text = css::text;

// ---------------------------------------------------------------------------
// Shared state of one application: its documents and each one's selection.

struct Selection {
    // The selected text (collapsed or not); empty when only a shape without
    // text is selected.
    Reference<text::XTextCursor> cursor;
    // The text box the selection is in, or that is selected; empty in the body.
    Reference<text::XTextFrame> frame;
};

struct DocEntry {
    Reference<css::lang::XComponent> doc;
    Selection sel;
    QString fileKey;  // its file, for what loads of the same file share; empty: none
};

struct WordState {
    std::shared_ptr<OfficeSession> session;
    std::shared_ptr<CopiedPictures> copied;
    std::weak_ptr<Dispatch> application;
    std::vector<std::shared_ptr<DocEntry>> docs;  // the last one is the active document
    std::int32_t alerts = -1;                     // wdAlertsAll

    std::shared_ptr<DocEntry> active() const
    {
        if (docs.empty()) throw EngineError(errtext::kNoDocument);
        return docs.back();
    }
};

namespace {

// ---------------------------------------------------------------------------
// Small helpers.

rtl::OUString O(const std::u16string& s)
{
    return rtl::OUString(reinterpret_cast<const sal_Unicode*>(s.data()), sal_Int32(s.size()));
}

std::u16string U(const rtl::OUString& s)
{
    return std::u16string(reinterpret_cast<const char16_t*>(s.getStr()), size_t(s.getLength()));
}


Reference<text::XTextRange> AsRange(const Reference<text::XTextCursor>& cursor)
{
    return Reference<text::XTextRange>(cursor.get());
}


bool SameName(std::u16string_view a, std::u16string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char16_t x, char16_t y) {
               return QChar::toLower(char32_t(x)) == QChar::toLower(char32_t(y));
           });
}

// An argument by name (any case) or, unnamed, by position; null when absent.
const Value* FindArg(const Args& args, size_t position, std::u16string_view name)
{
    for (const Arg& a : args)
        if (a.named() && SameName(a.name, name)) return &a.value;
    size_t index = 0;
    for (const Arg& a : args) {
        if (a.named()) continue;
        if (index++ == position) return &a.value;
    }
    return nullptr;
}

const Value& NeedArg(const Args& args, size_t position, std::u16string_view name)
{
    const Value* v = FindArg(args, position, name);
    if (!v || v->isEmpty()) throw EngineError(errtext::kArgumentNotOptional);
    return *v;
}

std::int32_t IntArg(const Args& args, size_t position, std::u16string_view name, std::int32_t fallback)
{
    const Value* v = FindArg(args, position, name);
    return v && !v->isEmpty() ? v->toInt() : fallback;
}

// A local path as the office's file URL: spaces, '#', '%' and non-ASCII
// names all survive the conversion.
rtl::OUString FileUrl(const QString& path)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    rtl::OUString url;
    if (osl::FileBase::getFileURLFromSystemPath(toOUString(absolute), url) != osl::FileBase::E_None)
        throw EngineError(errtext::kDocumentNotFound);
    return url;
}

Reference<text::XText> BodyText(const Reference<css::lang::XComponent>& doc)
{
    return Reference<text::XTextDocument>(doc, UNO_QUERY_THROW)->getText();
}

Reference<text::XTextCursor> WholeText(const Reference<text::XText>& t)
{
    Reference<text::XTextCursor> c = t->createTextCursor();
    c->gotoStart(false);
    c->gotoEnd(true);
    return c;
}

Reference<css::container::XNameAccess> Frames(const Reference<css::lang::XComponent>& doc)
{
    // Every call crosses to the office: the collection of each document is asked for once.
    thread_local Reference<css::lang::XComponent> lastDoc;
    thread_local Reference<css::container::XNameAccess> lastFrames;
    if (lastDoc != doc || !lastFrames.is()) {
        lastFrames = Reference<text::XTextFramesSupplier>(doc, UNO_QUERY_THROW)->getTextFrames();
        lastDoc = doc;
    }
    return lastFrames;
}

Reference<text::XTextFrame> FrameNamed(const Reference<css::lang::XComponent>& doc, const rtl::OUString& name)
{
    const auto frames = Frames(doc);
    if (!frames->hasByName(name)) return {};
    return Reference<text::XTextFrame>(frames->getByName(name), UNO_QUERY);
}

// The text box whose text `t` is, if any.
Reference<text::XTextFrame> FrameOf(const Reference<css::lang::XComponent>& doc, const Reference<text::XText>& t)
{
    const auto frames = Frames(doc);
    const Reference<css::uno::XInterface> wanted(t, UNO_QUERY);
    for (const rtl::OUString& name : frames->getElementNames()) {
        Reference<text::XTextFrame> frame(frames->getByName(name), UNO_QUERY);
        if (frame.is() && Reference<css::uno::XInterface>(frame->getText(), UNO_QUERY) == wanted) return frame;
    }
    return {};
}

// Drawing shapes on the page that are not text frames themselves.
std::vector<Reference<css::drawing::XShape>> DrawShapes(const Reference<css::lang::XComponent>& doc)
{
    std::vector<Reference<css::drawing::XShape>> shapes;
    // Marked deprecated in favour of a multi-page interface that Writer, with
    // its single draw page, does not offer.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    const auto page = Reference<css::drawing::XDrawPageSupplier>(doc, UNO_QUERY_THROW)->getDrawPage();
#pragma GCC diagnostic pop
    for (sal_Int32 i = 0; i < page->getCount(); ++i) {
        Reference<css::drawing::XShape> shape(page->getByIndex(i), UNO_QUERY);
        if (shape.is() && !Reference<text::XTextFrame>(shape, UNO_QUERY).is()) shapes.push_back(shape);
    }
    return shapes;
}

// Where a named drawing shape stood on the draw page of a file's document,
// by file and name: a file loads the same way every time, so the next
// search starts there, one call instead of one for every shape.
std::mutex g_shapeMutex;
std::map<std::pair<QString, QString>, sal_Int32> g_shapeIndex;

Reference<css::drawing::XShape> DrawShapeNamed(const Reference<css::lang::XComponent>& doc, const rtl::OUString& name,
                                               const QString& fileKey)
{
    const std::pair<QString, QString> key{fileKey, toQString(name)};
    std::optional<sal_Int32> hint;
    if (!fileKey.isEmpty()) {
        std::lock_guard lock(g_shapeMutex);
        if (const auto it = g_shapeIndex.find(key); it != g_shapeIndex.end()) hint = it->second;
    }
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    const auto page = Reference<css::drawing::XDrawPageSupplier>(doc, UNO_QUERY_THROW)->getDrawPage();
#pragma GCC diagnostic pop
    if (hint && *hint < page->getCount()) {
        Reference<css::drawing::XShape> shape(page->getByIndex(*hint), UNO_QUERY);
        Reference<css::container::XNamed> named(shape, UNO_QUERY);
        if (named.is() && named->getName() == name && !Reference<text::XTextFrame>(shape, UNO_QUERY).is()) return shape;
    }
    for (sal_Int32 i = 0; i < page->getCount(); ++i) {
        Reference<css::drawing::XShape> shape(page->getByIndex(i), UNO_QUERY);
        Reference<css::container::XNamed> named(shape, UNO_QUERY);
        if (!shape.is() || !named.is() || Reference<text::XTextFrame>(shape, UNO_QUERY).is() || named->getName() != name)
            continue;
        if (!fileKey.isEmpty()) {
            std::lock_guard lock(g_shapeMutex);
            g_shapeIndex[key] = i;
        }
        return shape;
    }
    return {};
}


sal_Int32 IntProperty(const Reference<css::uno::XInterface>& object, const char* name)
{
    Reference<css::beans::XPropertySet> props(object, UNO_QUERY);
    sal_Int32 v = 0;
    if (props.is() && props->getPropertySetInfo()->hasPropertyByName(rtl::OUString::createFromAscii(name)))
        props->getPropertyValue(rtl::OUString::createFromAscii(name)) >>= v;
    return v;
}

// Where an object stands on its page, in one call to the office.
std::pair<sal_Int32, sal_Int32> Position(const Reference<css::uno::XInterface>& object)
{
    Reference<css::beans::XMultiPropertySet> props(object, UNO_QUERY);
    if (props.is()) {
        try {
            const rtl::OUString wanted[]{rtl::OUString("HoriOrientPosition"), rtl::OUString("VertOrientPosition")};
            const Sequence<rtl::OUString> names(wanted, 2);
            const Sequence<Any> values = props->getPropertyValues(names);
            sal_Int32 x = 0, y = 0;
            if (values.getLength() == 2 && (values[0] >>= x) && (values[1] >>= y)) return {x, y};
        } catch (const css::uno::Exception&) {
        }
    }
    return {IntProperty(object, "HoriOrientPosition"), IntProperty(object, "VertOrientPosition")};
}

// What RestoreTextPlaceNames did to a document: the same file loads the
// same way, so a later load of it is given the same names and sizes in a few
// calls instead of a search through all its frames and shapes.
struct NamePlan {
    struct Rename {
        rtl::OUString from, to;
        bool resize = false;
        css::awt::Size size;
    };
    std::vector<Rename> renames;
};

// Gives each text box that holds a naming bookmark its name back, and the
// size of the drawing shape it came with: the shape at the same place,
// unnamed (a box with text) or bearing the box's name (an empty one).
// Every call here crosses to the office, so the frames and shapes are each
// read once and matched here.
void RestoreTextPlaceNames(const Reference<css::lang::XComponent>& doc, NamePlan* plan)
{
    const auto bookmarks = Reference<text::XBookmarksSupplier>(doc, UNO_QUERY_THROW)->getBookmarks();
    const Sequence<rtl::OUString> marks = bookmarks->getElementNames();
    if (!marks.hasElements()) return;

    struct FrameText {
        Reference<text::XTextFrame> frame;
        Reference<css::uno::XInterface> text;
    };
    std::vector<FrameText> frames;
    const auto allFrames = Frames(doc);
    for (const rtl::OUString& name : allFrames->getElementNames()) {
        Reference<text::XTextFrame> frame(allFrames->getByName(name), UNO_QUERY);
        if (frame.is()) frames.push_back({frame, Reference<css::uno::XInterface>(frame->getText(), UNO_QUERY)});
    }
    struct PlacedShape {
        Reference<css::drawing::XShape> shape;
        rtl::OUString name;
        sal_Int32 x, y;
    };
    std::vector<PlacedShape> shapes;
    bool shapesRead = false;

    for (const rtl::OUString& mark : marks) {
        Reference<text::XTextContent> content(bookmarks->getByName(mark), UNO_QUERY);
        if (!content.is()) continue;
        const Reference<css::uno::XInterface> text(content->getAnchor()->getText(), UNO_QUERY);
        const auto holder = std::find_if(frames.begin(), frames.end(), [&](const FrameText& f) { return f.text == text; });
        if (holder == frames.end()) continue;
        const Reference<text::XTextFrame>& frame = holder->frame;
        const rtl::OUString name = mark.replace('_', ' ');
        Reference<css::container::XNamed> named(frame, UNO_QUERY_THROW);
        const rtl::OUString old = named->getName();
        if (old == name) continue;
        try {
            named->setName(name);
        } catch (const css::uno::RuntimeException&) {
            // Taken by another frame: the office renamed this one anyway.
            named->setName(old);
            continue;
        }
        if (plan) plan->renames.push_back({old, name, false, {}});
        if (!shapesRead) {
            for (const auto& shape : DrawShapes(doc)) {
                Reference<css::container::XNamed> shapeName(shape, UNO_QUERY);
                const auto [x, y] = Position(shape);
                shapes.push_back({shape, shapeName.is() ? shapeName->getName() : rtl::OUString(), x, y});
            }
            shapesRead = true;
        }
        const auto [x, y] = Position(frame);
        const PlacedShape* companion = nullptr;
        sal_Int32 bestDistance = 50;  // a few hundredths of a millimetre: the import's rounding
        for (const PlacedShape& shape : shapes) {
            if (!shape.name.isEmpty() && shape.name != name) continue;
            const sal_Int32 d = std::abs(shape.x - x) + std::abs(shape.y - y);
            if (d < bestDistance) {
                bestDistance = d;
                companion = &shape;
            }
        }
        if (companion) {
            Reference<css::beans::XPropertySet> props(frame, UNO_QUERY_THROW);
            const css::awt::Size size = companion->shape->getSize();
            props->setPropertyValue("SizeType", Any(sal_Int16(text::SizeType::FIX)));
            props->setPropertyValue("Width", Any(size.Width));
            props->setPropertyValue("Height", Any(size.Height));
            if (plan) plan->renames.back() = {old, name, true, size};
        }
    }
}

// Gives the names and sizes of `plan` again; false (with nothing to undo
// worth the name) when the document is not as the plan expects.
bool ReplayNames(const Reference<css::lang::XComponent>& doc, const NamePlan& plan)
{
    const auto frames = Frames(doc);
    for (const NamePlan::Rename& r : plan.renames) {
        if (!frames->hasByName(r.from)) return false;
        Reference<css::container::XNamed> named(frames->getByName(r.from), UNO_QUERY_THROW);
        named->setName(r.to);
        if (!r.resize) continue;
        Reference<css::beans::XPropertySet> props(named, UNO_QUERY_THROW);
        props->setPropertyValue("SizeType", Any(sal_Int16(text::SizeType::FIX)));
        props->setPropertyValue("Width", Any(r.size.Width));
        props->setPropertyValue("Height", Any(r.size.Height));
    }
    return true;
}

// Plans by file (its path, size, time and inode), for every office of this program.
std::mutex g_planMutex;
std::map<QString, NamePlan> g_plans;

QString PlanKey(const QString& path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) return {};
    return QStringLiteral("%1|%2|%3|%4").arg(path).arg(st.st_size).arg(st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec).arg(st.st_ino);
}

// Names a loaded document's text places: as its file was named before, or found anew.
void NameTextPlaces(const Reference<css::lang::XComponent>& doc, const QString& path)
{
    const QString key = PlanKey(path);
    std::optional<NamePlan> known;
    if (!key.isEmpty()) {
        std::lock_guard lock(g_planMutex);
        if (const auto it = g_plans.find(key); it != g_plans.end()) known = it->second;
    }
    if (known) {
        try {
            if (ReplayNames(doc, *known)) return;
        } catch (const css::uno::Exception& e) {
            qCWarning(lcOffice).noquote() << "names replayed in vain:" << toQString(e.Message);
        }
    }
    NamePlan plan;
    RestoreTextPlaceNames(doc, &plan);
    if (key.isEmpty()) return;
    std::lock_guard lock(g_planMutex);
    g_plans[key] = std::move(plan);
}

// Room for a picture: a text box's inner size, or the page's text area.
css::awt::Size RoomFor(const Reference<css::lang::XComponent>& doc, const Selection& sel)
{
    auto get = [](const Reference<css::beans::XPropertySet>& p, const char* name) {
        sal_Int32 v = 0;
        if (p->getPropertySetInfo()->hasPropertyByName(rtl::OUString::createFromAscii(name)))
            p->getPropertyValue(rtl::OUString::createFromAscii(name)) >>= v;
        return v;
    };
    auto line = [](const Reference<css::beans::XPropertySet>& p, const char* name) {
        css::table::BorderLine2 b;
        if (p->getPropertySetInfo()->hasPropertyByName(rtl::OUString::createFromAscii(name)))
            p->getPropertyValue(rtl::OUString::createFromAscii(name)) >>= b;
        return sal_Int32(b.LineWidth);
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
std::mutex g_roomMutex;
std::map<std::pair<QString, QString>, css::awt::Size> g_rooms;

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

// The office saves through a temporary file beside the target ("lu" and a
// random part, ".tmp") and leaves it there when it cannot finish the save;
// whatever such file a save made is removed after it.
class SaveLeftovers {
public:
    explicit SaveLeftovers(QString folder) : folder_(std::move(folder)), before_(list()) {}
    ~SaveLeftovers()
    {
        for (const QString& name : list())
            if (!before_.contains(name)) QFile::remove(folder_ + QLatin1Char('/') + name);
    }
    SaveLeftovers(const SaveLeftovers&) = delete;
    SaveLeftovers& operator=(const SaveLeftovers&) = delete;

private:
    QStringList list() const
    {
        return QDir(folder_).entryList({QStringLiteral("lu*.tmp")}, QDir::Files | QDir::Hidden | QDir::System);
    }

    QString folder_;
    QStringList before_;
};

// Inserting a photo is one call that reads and decodes the whole file: a
// photo of 200 megapixels takes the office several seconds, more on a slow
// machine, so its bound is longer than an ordinary call's.
constexpr std::chrono::seconds kPhotoCallBound{120};

// ---------------------------------------------------------------------------
// The objects. Each is a Dispatch with a member table; calls run through the
// session so a dead or hung office becomes an error.

template <class Self>
class WordObject : public Dispatch {
public:
    explicit WordObject(std::shared_ptr<WordState> state) : state_(std::move(state)) {}

    Value invoke(const std::u16string& member, InvokeKind kind, const Args& args) override
    {
        state_->session->ensureAlive();
        return Self::members().invoke(static_cast<Self&>(*this), Q(member), kind, args);
    }

    template <class F>
    auto callOnSession(F&& f)
    {
        return call(std::forward<F>(f));
    }
    template <class T, class... A>
    Value makeObject(A&&... a)
    {
        return make<T>(std::forward<A>(a)...);
    }

protected:
    template <class F>
    auto call(F&& f)
    {
        return state_->session->call(std::forward<F>(f));
    }
    template <class T, class... A>
    Value make(A&&... a)
    {
        return Value::object(std::make_shared<T>(state_, std::forward<A>(a)...));
    }

    std::shared_ptr<WordState> state_;
};

constexpr unsigned kGetOrCall = kGet | kMethod;

// A document that has been closed answers nothing any more.
Reference<css::lang::XComponent> Live(const std::shared_ptr<DocEntry>& entry)
{
    if (!entry->doc.is()) throw EngineError(errtext::kObjectDeleted);
    return entry->doc;
}

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

// Word measures in points, the office in hundredths of a millimetre.
constexpr double kHundredthsPerPoint = 2540.0 / 72.0;

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

// The body's paragraphs, in order (Word counts those of tables too; a design has none).
std::vector<Reference<text::XTextRange>> BodyParagraphs(const Reference<css::lang::XComponent>& doc)
{
    std::vector<Reference<text::XTextRange>> out;
    Reference<css::container::XEnumerationAccess> access(BodyText(doc), UNO_QUERY_THROW);
    const auto items = access->createEnumeration();
    while (items->hasMoreElements()) {
        Reference<css::lang::XServiceInfo> info(items->nextElement(), UNO_QUERY);
        if (info.is() && info->supportsService("com.sun.star.text.Paragraph"))
            out.emplace_back(info, UNO_QUERY_THROW);
    }
    return out;
}

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
        const auto picture = std::make_shared<QImage>(
            RenderDocument(*state_->session, doc, kPictureDpi, state_->session->options().pictureFit)
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

Value WordTextFrame::textRange(InvokeKind, const Args&)
{
    Live(entry_);
    auto range = call([&] { return Reference<text::XTextRange>(WholeText(frame_->getText()), UNO_QUERY_THROW); });
    return make<WordRange>(entry_, range);
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
        };
        return table;
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

class WordBookmark : public WordObject<WordBookmark> {
public:
    WordBookmark(std::shared_ptr<WordState> s, std::shared_ptr<DocEntry> e, Reference<text::XTextContent> b)
        : WordObject(std::move(s)), entry_(std::move(e)), mark_(std::move(b)) {}
    static const MemberTable<WordBookmark>& members()
    {
        static const MemberTable<WordBookmark> table{
            {"Range", kGet, &WordBookmark::range},
        };
        return table;
    }
    Value range(InvokeKind, const Args&)
    {
        Live(entry_);
        return make<WordRange>(entry_, call([&] { return mark_->getAnchor(); }));
    }

private:
    std::shared_ptr<DocEntry> entry_;
    Reference<text::XTextContent> mark_;
};

class WordBookmarks : public WordObject<WordBookmarks> {
public:
    WordBookmarks(std::shared_ptr<WordState> s, std::shared_ptr<DocEntry> e)
        : WordObject(std::move(s)), entry_(std::move(e)) {}
    static const MemberTable<WordBookmarks>& members()
    {
        static const MemberTable<WordBookmarks> table{
            {"Item", kGetOrCall, &WordBookmarks::item},
            {"Exists", kGetOrCall, &WordBookmarks::exists},
        };
        return table;
    }
    Value item(InvokeKind, const Args& args)
    {
        const rtl::OUString name = O(NeedArg(args, 0, u"Index").toString());
        const auto doc = Live(entry_);
        auto mark = call([&] {
            const auto marks = Reference<text::XBookmarksSupplier>(doc, UNO_QUERY_THROW)->getBookmarks();
            if (!marks->hasByName(name)) throw EngineError(errtext::kNoSuchBookmark);
            return Reference<text::XTextContent>(marks->getByName(name), UNO_QUERY_THROW);
        });
        return make<WordBookmark>(entry_, mark);
    }
    Value exists(InvokeKind, const Args& args)
    {
        const rtl::OUString name = O(NeedArg(args, 0, u"Name").toString());
        const auto doc = Live(entry_);
        return Value::boolean(call(
            [&] { return bool(Reference<text::XBookmarksSupplier>(doc, UNO_QUERY_THROW)->getBookmarks()->hasByName(name)); }));
    }

private:
    std::shared_ptr<DocEntry> entry_;
};

class WordDocument : public WordObject<WordDocument> {
public:
    WordDocument(std::shared_ptr<WordState> s, std::shared_ptr<DocEntry> e)
        : WordObject(std::move(s)), entry_(std::move(e)) {}
    static const MemberTable<WordDocument>& members()
    {
        static const MemberTable<WordDocument> table{
            {"Shapes", kGetOrCall, &WordDocument::shapes},
            {"Bookmarks", kGet, &WordDocument::bookmarks},
            {"Application", kGet, &WordDocument::application},
            {"Range", kGetOrCall, &WordDocument::range},
            {"Paragraphs", kGetOrCall, &WordDocument::paragraphs},
            {"SaveAs", kMethod, &WordDocument::saveAs},
            {"ExportAsFixedFormat", kMethod, &WordDocument::exportAsFixedFormat},
            {"Close", kMethod, &WordDocument::close},
            {"Saved", kGet, &WordDocument::saved},
        };
        return table;
    }

    Value shapes(InvokeKind, const Args& args)
    {
        const rtl::OUString name = O(NeedArg(args, 0, u"Index").toString());
        const auto doc = Live(entry_);
        return call([&] {
            if (auto frame = FrameNamed(doc, name); frame.is())
                return make<WordShape>(entry_, frame, Reference<css::drawing::XShape>(frame, UNO_QUERY));
            if (auto shape = DrawShapeNamed(doc, name, entry_->fileKey); shape.is())
                return make<WordShape>(entry_, Reference<text::XTextFrame>(), shape);
            throw EngineError(errtext::kItemNotFound);
        });
    }
    Value bookmarks(InvokeKind, const Args&)
    {
        Live(entry_);
        return make<WordBookmarks>(entry_);
    }
    // Paragraphs, or Paragraphs(index): the collection's default member.
    Value paragraphs(InvokeKind, const Args& args)
    {
        Live(entry_);
        if (const Value* index = FindArg(args, 0, u"Index"); index && !index->isEmpty())
            return WordParagraphs::Item(*this, entry_, index->toInt());
        return make<WordParagraphs>(entry_);
    }
    Value application(InvokeKind, const Args&)
    {
        auto app = state_->application.lock();
        if (!app) throw EngineError(errtext::kServerGone);
        return Value::object(app);
    }
    Value range(InvokeKind, const Args&)
    {
        const auto doc = Live(entry_);
        auto whole = call([&] { return Reference<text::XTextRange>(WholeText(BodyText(doc)), UNO_QUERY_THROW); });
        return make<WordRange>(entry_, whole);
    }
    // The office would make missing folders; Word does not, and a typo in a
    // folder name should not scatter folders about. Nor may the office meet
    // a folder it cannot write: it would wait on an error box nobody sees.
    static void RefuseUnwritable(const QString& path)
    {
        const QFileInfo target(path);
        const QFileInfo folder(target.absolutePath());
        if (path.isEmpty() || !folder.isDir() || !folder.isWritable() || target.isDir() ||
            (target.exists() && !target.isWritable()))
            throw EngineError(errtext::kCannotSave);
    }
    // ExportAsFixedFormat(OutputFileName, ExportFormat): a PDF for printing
    // (wdExportFormatPDF = 17; XPS, 18, is not made here).
    Value exportAsFixedFormat(InvokeKind, const Args& args)
    {
        const QString path = NeedArg(args, 0, u"OutputFileName").toQString();
        if (IntArg(args, 1, u"ExportFormat", -1) != 17) throw EngineError(errtext::kValueOutOfRange);
        const auto doc = Live(entry_);
        RefuseUnwritable(path);
        const SaveLeftovers leftovers(QFileInfo(path).absolutePath());
        ExportPdf(*state_->session, doc, path);
        return {};
    }
    Value saveAs(InvokeKind, const Args& args)
    {
        const QString path = NeedArg(args, 0, u"FileName").toQString();
        const auto doc = Live(entry_);
        RefuseUnwritable(path);
        const QFileInfo target(path);
        const QFileInfo folder(target.absolutePath());
        const rtl::OUString url = FileUrl(path);
        const SaveLeftovers leftovers(folder.absoluteFilePath());
        call([&] {
            Reference<css::frame::XStorable> storable(doc, UNO_QUERY_THROW);
            const auto props = Props({Prop("FilterName", rtl::OUString("MS Word 97")), Prop("Overwrite", true)});
            try {
                storable->storeAsURL(url, props);
            } catch (const css::io::IOException&) {
                throw EngineError(errtext::kCannotSave);
            } catch (const css::lang::IllegalArgumentException&) {
                throw EngineError(errtext::kCannotSave);
            }
        });
        return {};
    }
    Value close(InvokeKind, const Args& args)
    {
        const auto doc = Live(entry_);
        if (IntArg(args, 0, u"SaveChanges", 0) == -1) {  // wdSaveChanges
            call([&] { Reference<css::frame::XStorable>(doc, UNO_QUERY_THROW)->store(); });
        }
        CloseDocument(*state_, entry_);
        return {};
    }
    Value saved(InvokeKind, const Args&)
    {
        const auto doc = Live(entry_);
        return Value::boolean(call([&] { return !Reference<css::util::XModifiable>(doc, UNO_QUERY_THROW)->isModified(); }));
    }

    static void CloseDocument(WordState& state, const std::shared_ptr<DocEntry>& entry)
    {
        auto doc = entry->doc;
        entry->doc.clear();
        entry->sel = {};
        state.docs.erase(std::remove(state.docs.begin(), state.docs.end(), entry), state.docs.end());
        state.session->call([&] {
            Reference<css::util::XCloseable> closeable(doc, UNO_QUERY);
            try {
                if (closeable.is()) closeable->close(true);
                else doc->dispose();
            } catch (const css::util::CloseVetoException&) {
                doc->dispose();
            }
        });
    }

private:
    std::shared_ptr<DocEntry> entry_;
};

class WordDocumentList : public WordObject<WordDocumentList> {
public:
    using WordObject::WordObject;
    static const MemberTable<WordDocumentList>& members()
    {
        static const MemberTable<WordDocumentList> table{
            {"Open", kMethod, &WordDocumentList::open},
            {"Count", kGet, &WordDocumentList::count},
        };
        return table;
    }
    Value open(InvokeKind, const Args& args)
    {
        const QString path = NeedArg(args, 0, u"FileName").toQString();
        const Value* readOnly = FindArg(args, 2, u"ReadOnly");
        if (!QFileInfo(path).isFile()) throw EngineError(errtext::kDocumentNotFound);
        const rtl::OUString url = FileUrl(path);
        auto entry = std::make_shared<DocEntry>();
        entry->fileKey = PlanKey(path);
        entry->doc = call([&] {
            Reference<css::frame::XComponentLoader> loader(state_->session->desktop(), UNO_QUERY_THROW);
            const auto props = Props({
                Prop("Hidden", true),
                Prop("ReadOnly", bool(readOnly && readOnly->toBool())),
                Prop("MacroExecutionMode", sal_Int16(css::document::MacroExecMode::NEVER_EXECUTE)),
                Prop("AsTemplate", false),
            });
            Reference<css::lang::XComponent> doc;
            QElapsedTimer clock;
            clock.start();
            try {
                doc = loader->loadComponentFromURL(url, "_blank", 0, props);
            } catch (const css::io::IOException&) {
            } catch (const css::lang::IllegalArgumentException&) {
            }
            if (!doc.is() || !Reference<text::XTextDocument>(doc, UNO_QUERY).is()) {
                if (doc.is()) doc->dispose();
                throw EngineError(errtext::kCannotOpen);
            }
            const qint64 loaded = clock.elapsed();
            try {
                NameTextPlaces(doc, path);
            } catch (...) {
                // Not left open in the office for the rest of its life.
                Reference<css::util::XCloseable> closeable(doc, UNO_QUERY);
                try {
                    if (closeable.is()) closeable->close(true);
                    else doc->dispose();
                } catch (...) {
                }
                throw;
            }
            qCDebug(lcOfficeTiming).noquote() << QStringLiteral("document loaded in %1 ms, its names in %2 ms")
                                                     .arg(loaded)
                                                     .arg(clock.elapsed() - loaded);
            return doc;
        });
        state_->docs.push_back(entry);
        return make<WordDocument>(entry);
    }
    Value count(InvokeKind, const Args&)
    {
        return Value::int32(std::int32_t(state_->docs.size()));
    }
};

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
    return make<WordShapeRange>(entry, entry->sel.frame);
}

Value WordSelection::inlineShapes(InvokeKind, const Args&)
{
    Live(state_->active());
    return make<WordInlineShapes>();
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

// ---------------------------------------------------------------------------

WordDocuments::WordDocuments(std::shared_ptr<OfficeSession> session, std::shared_ptr<CopiedPictures> copied)
    : state_(std::make_shared<WordState>())
{
    state_->session = std::move(session);
    state_->copied = std::move(copied);
}

WordDocuments::~WordDocuments()
{
    closeAll();
}

void WordDocuments::setApplication(std::weak_ptr<Dispatch> application)
{
    state_->application = std::move(application);
}

Value WordDocuments::documents()
{
    return Value::object(std::make_shared<WordDocumentList>(state_));
}

Value WordDocuments::activeDocument()
{
    return Value::object(std::make_shared<WordDocument>(state_, state_->active()));
}

Value WordDocuments::selection()
{
    state_->active();
    return Value::object(std::make_shared<WordSelection>(state_));
}

Value WordDocuments::displayAlerts() const
{
    return Value::int32(state_->alerts);
}

void WordDocuments::setDisplayAlerts(const Value& v)
{
    // Nothing is ever shown by a hidden office; the setting is kept for readers.
    state_->alerts = v.kind() == Value::Kind::Bool ? (v.toBool() ? -1 : 0) : v.toInt();
}

void WordDocuments::closeAll() noexcept
{
    while (!state_->docs.empty()) {
        auto entry = state_->docs.back();
        try {
            if (state_->session->alive()) WordDocument::CloseDocument(*state_, entry);
        } catch (...) {
        }
        entry->doc.clear();
        state_->docs.erase(std::remove(state_->docs.begin(), state_->docs.end(), entry), state_->docs.end());
    }
}

}  // namespace marigal::engine::lo
