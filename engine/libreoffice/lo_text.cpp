#include "engine/libreoffice/lo_text.h"

#include <QList>
#include <QString>
#include <QTextBoundaryFinder>

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/text/XText.hpp>

#include <vector>

namespace marigal::engine::lo {

namespace {

using css::uno::Any;
using css::uno::Reference;
using css::uno::UNO_QUERY_THROW;

// A character that only an emoji font draws as a person expects.
bool Pictographic(char32_t c)
{
    return (c >= 0x1F000 && c <= 0x1FAFF)     // pictographs, emoticons, flags' letters, skin tones
           || (c >= 0x2600 && c <= 0x27BF)    // weather, hearts, dingbats
           || (c >= 0x2300 && c <= 0x23FF)    // watch, hourglass, media buttons
           || (c >= 0x2B00 && c <= 0x2BFF)    // stars, squares, circles
           || c == 0xFE0F || c == 0x20E3      // "shown as emoji", a keycap
           || (c >= 0xE0020 && c <= 0xE007F);  // the tags of a region's flag
}

// The text in runs that are wholly emoji or wholly not, at the edges of
// what a reader sees as one character (a family or a flag is one).
std::vector<std::pair<QString, bool>> EmojiRuns(const QString& text)
{
    std::vector<std::pair<QString, bool>> runs;
    QTextBoundaryFinder clusters(QTextBoundaryFinder::Grapheme, text);
    qsizetype start = 0;
    for (qsizetype end = clusters.toNextBoundary(); end > 0; start = end, end = clusters.toNextBoundary()) {
        const QString cluster = text.mid(start, end - start);
        bool emoji = false;
        for (const char32_t c : cluster.toUcs4()) emoji = emoji || Pictographic(c);
        if (runs.empty() || runs.back().second != emoji) runs.emplace_back(QString(), emoji);
        runs.back().first += cluster;
    }
    return runs;
}

}  // namespace

rtl::OUString WriterText(const std::u16string& s)
{
    std::u16string out;
    out.reserve(s.size());
    for (const char16_t c : s) {
        if (c == u'\v') out += u'\n';
        else if (c >= 0x20 || c == u'\t' || c == u'\n' || c == u'\r') out += c;
    }
    return rtl::OUString(reinterpret_cast<const sal_Unicode*>(out.data()), sal_Int32(out.size()));
}

void InsertText(const Reference<css::text::XTextCursor>& cursor, const rtl::OUString& text)
{
    const Reference<css::text::XText> owner = cursor->getText();
    const Reference<css::text::XTextRange> at(cursor.get());
    const QString all = QString::fromUtf16(reinterpret_cast<const char16_t*>(text.getStr()), text.getLength());
    bool absorb = !cursor->isCollapsed();
    for (const auto& [run, emoji] : EmojiRuns(all)) {
        const rtl::OUString piece(reinterpret_cast<const sal_Unicode*>(run.utf16()), sal_Int32(run.size()));
        owner->insertString(at, piece, absorb);
        absorb = false;
        cursor->collapseToEnd();
        if (!emoji) continue;
        // Back over what was just written: the office steps a code point at a time.
        const Reference<css::text::XTextCursor> written = owner->createTextCursorByRange(at);
        written->goLeft(sal_Int16(run.toUcs4().size()), true);
        if (written->getString() != piece) continue;  // not where it was thought: left as the office has it
        const Reference<css::beans::XPropertySet> props(written, UNO_QUERY_THROW);
        const Any font(rtl::OUString::createFromAscii(kEmojiFont));
        for (const char* name : {"CharFontName", "CharFontNameAsian", "CharFontNameComplex"})
            props->setPropertyValue(rtl::OUString::createFromAscii(name), font);
    }
    if (absorb) owner->insertString(at, rtl::OUString(), true);  // an empty text still replaces the selection
}

}  // namespace marigal::engine::lo
