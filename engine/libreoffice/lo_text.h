#pragma once
// Text as Writer stores and draws it.

#include <com/sun/star/text/XTextCursor.hpp>
#include <rtl/ustring.hxx>

#include <string>

namespace marigal::engine::lo {

// Text as Writer stores it. Word's manual line break (vertical tab) is a
// line feed in Writer's text; other control characters besides tab, line
// feed and carriage return cannot be stored, and the document would lose the
// whole text they stand in, so they are left out.
rtl::OUString WriterText(const std::u16string& s);

// Writes `text` at `cursor` (replacing what it selects), which is left
// collapsed after it. Emoji are set in an outline emoji font: the office's
// PDF export draws colour emoji fonts blank, and its own font fallback would
// pick one where it is installed, so a card's emoji would vanish from its
// picture and its PDF.
void InsertText(const css::uno::Reference<css::text::XTextCursor>& cursor, const rtl::OUString& text);

// The font emoji are set in.
inline constexpr char kEmojiFont[] = "Symbola";

}  // namespace marigal::engine::lo
