#include "engine/object.h"

namespace marigal::engine {

Dispatch& Object::target() const
{
    if (!d_) throw EngineError(errtext::kNotSet);
    return *d_;
}

Value Object::call(const std::u16string& member, const Args& args) const
{
    return target().invoke(member, InvokeKind::Method, args);
}

Value Object::get(const std::u16string& member, const Args& args) const
{
    return target().invoke(member, InvokeKind::PropertyGet, args);
}

void Object::put(const std::u16string& member, const Value& value, const Args& args) const
{
    Args all = args;
    all.emplace_back(value);  // the assigned value travels last, as in the automation call
    target().invoke(member, InvokeKind::PropertyPut, all);
}

Object Object::obj(const std::u16string& member, const Args& args) const
{
    auto d = target().invoke(member, InvokeKind::PropertyGet, args).toDispatch();
    if (!d) throw EngineError(errtext::kNotSet);
    return Object(std::move(d));
}

Object Object::path(std::u16string_view dotted) const
{
    Object o = *this;
    size_t start = 0;
    while (start <= dotted.size()) {
        const size_t dot = std::min(dotted.find(u'.', start), dotted.size());
        if (dot > start) o = o.obj(std::u16string(dotted.substr(start, dot - start)));
        start = dot + 1;
    }
    return o;
}

std::string ToUtf8(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000)
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        else if (c >= 0xD800 && c < 0xE000)
            c = 0xFFFD;  // a lone surrogate
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xF0 | (c >> 18));
            out += char(0x80 | ((c >> 12) & 0x3F));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

}  // namespace marigal::engine
