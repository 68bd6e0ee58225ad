// Word's documents: the list that opens and adds them, each document with
// its bookmarks, and the application's members that reach them.
#include "engine/libreoffice/lo_word.h"

#include "engine/libreoffice/lo_word_uno.h"
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
#include <QTemporaryFile>

#include <com/sun/star/awt/Size.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/document/MacroExecMode.hpp>
#include <com/sun/star/drawing/XShape.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/io/IOException.hpp>
#include <com/sun/star/lang/IllegalArgumentException.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/text/SizeType.hpp>
#include <com/sun/star/text/XBookmarksSupplier.hpp>
#include <com/sun/star/text/XTextContent.hpp>
#include <com/sun/star/text/XTextDocument.hpp>
#include <com/sun/star/text/XTextFrame.hpp>
#include <com/sun/star/util/CloseVetoException.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/util/XModifiable.hpp>
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
static std::mutex g_planMutex;
static std::map<QString, NamePlan> g_plans;

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
        return NewRange(state_, entry_, call([&] { return mark_->getAnchor(); }));
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
                return NewShape(state_, entry_, frame, Reference<css::drawing::XShape>(frame, UNO_QUERY));
            if (auto shape = DrawShapeNamed(doc, name, entry_->fileKey); shape.is())
                return NewShape(state_, entry_, Reference<text::XTextFrame>(), shape);
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
            return NewParagraphAt(state_, entry_, index->toInt());
        return NewParagraphs(state_, entry_);
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
        return NewRange(state_, entry_, whole);
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
        if (!entry_->pagesPdf.isEmpty() &&
            call([&] { return !Reference<css::util::XModifiable>(doc, UNO_QUERY_THROW)->isModified(); }) &&
            CopyPagesPdf(entry_->pagesPdf, path))
            return {};
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

    // The PDF a picture of the unchanged document was drawn from, put at
    // `path` whole or not at all; false when it cannot be.
    static bool CopyPagesPdf(const QString& pages, const QString& path)
    {
        QFile in(pages);
        if (!in.open(QIODevice::ReadOnly)) return false;
        QTemporaryFile out(QFileInfo(path).absolutePath() + QStringLiteral("/.marigal-XXXXXX"));
        if (!out.open()) return false;
        QByteArray chunk;
        while (!(chunk = in.read(1 << 20)).isEmpty())
            if (out.write(chunk) != chunk.size()) return false;
        if (in.error() != QFileDevice::NoError || !out.flush()) return false;
        if (::rename(QFile::encodeName(out.fileName()).constData(), QFile::encodeName(path).constData()) != 0)
            return false;
        out.setAutoRemove(false);
        return true;
    }

    static void CloseDocument(WordState& state, const std::shared_ptr<DocEntry>& entry)
    {
        if (!entry->pagesPdf.isEmpty()) QFile::remove(std::exchange(entry->pagesPdf, QString()));
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
            // Opened, a document is saved as Word has it: the names given back
            // are the file's own, not a change.
            try {
                Reference<css::util::XModifiable>(doc, UNO_QUERY_THROW)->setModified(false);
            } catch (const css::uno::Exception&) {
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
    return NewSelection(state_);
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
