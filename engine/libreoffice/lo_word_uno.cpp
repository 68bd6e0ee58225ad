#include "engine/libreoffice/lo_word_uno.h"

#include "engine/libreoffice/lo_photo.h"
#include "engine/libreoffice/lo_render.h"
#include "engine/libreoffice/lo_text.h"
#include "engine/libreoffice/office_log.h"
#include "engine/libreoffice/uno_props.h"
#include "engine/libreoffice/uno_strings.h"


#include <com/sun/star/beans/XMultiPropertySet.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/drawing/XDrawPageSupplier.hpp>
#include <com/sun/star/drawing/XShape.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/text/XTextCursor.hpp>
#include <com/sun/star/text/XTextDocument.hpp>
#include <com/sun/star/text/XTextFrame.hpp>
#include <com/sun/star/text/XTextFramesSupplier.hpp>
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

rtl::OUString FileUrl(const QString& path)
{
    if (auto url = toFileUrl(path)) return *url;
    throw EngineError(errtext::kDocumentNotFound);
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
static std::mutex g_shapeMutex;
static std::map<std::pair<QString, QString>, sal_Int32> g_shapeIndex;

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

}  // namespace marigal::engine::lo
