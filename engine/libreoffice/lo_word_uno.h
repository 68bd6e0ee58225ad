#pragma once
// The UNO helpers of the emulated Word objects: arguments, file URLs, a
// document's body, frames and drawing shapes, and where an object stands.

#include "engine/libreoffice/lo_word_model.h"

#include <com/sun/star/container/XNameAccess.hpp>

#include <string>
#include <string_view>
#include <utility>

namespace marigal::engine::lo {

rtl::OUString O(const std::u16string& s);

std::u16string U(const rtl::OUString& s);

Reference<text::XTextRange> AsRange(const Reference<text::XTextCursor>& cursor);

bool SameName(std::u16string_view a, std::u16string_view b);

// An argument by name (any case) or, unnamed, by position; null when absent.
const Value* FindArg(const Args& args, size_t position, std::u16string_view name);

const Value& NeedArg(const Args& args, size_t position, std::u16string_view name);

std::int32_t IntArg(const Args& args, size_t position, std::u16string_view name, std::int32_t fallback);

// A local path as the office's file URL: spaces, '#', '%' and non-ASCII
// names all survive the conversion.
rtl::OUString FileUrl(const QString& path);

Reference<text::XText> BodyText(const Reference<css::lang::XComponent>& doc);

Reference<text::XTextCursor> WholeText(const Reference<text::XText>& t);

Reference<css::container::XNameAccess> Frames(const Reference<css::lang::XComponent>& doc);

Reference<text::XTextFrame> FrameNamed(const Reference<css::lang::XComponent>& doc, const rtl::OUString& name);

// The text box whose text `t` is, if any.
Reference<text::XTextFrame> FrameOf(const Reference<css::lang::XComponent>& doc, const Reference<text::XText>& t);

// Drawing shapes on the page that are not text frames themselves.
std::vector<Reference<css::drawing::XShape>> DrawShapes(const Reference<css::lang::XComponent>& doc);

Reference<css::drawing::XShape> DrawShapeNamed(const Reference<css::lang::XComponent>& doc, const rtl::OUString& name,
                                               const QString& fileKey);

sal_Int32 IntProperty(const Reference<css::uno::XInterface>& object, const char* name);

// Where an object stands on its page, in one call to the office.
std::pair<sal_Int32, sal_Int32> Position(const Reference<css::uno::XInterface>& object);

// The body's paragraphs, in order (Word counts those of tables too; a design has none).
std::vector<Reference<text::XTextRange>> BodyParagraphs(const Reference<css::lang::XComponent>& doc);

}  // namespace marigal::engine::lo
