#include "engine/value.h"

#include "engine/engine_error.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace marigal::engine {

namespace {
std::u16string Number(std::int32_t n)
{
    const std::string digits = std::to_string(n);
    return std::u16string(digits.begin(), digits.end());
}

// As the platform writes a Single: the shortest digits that read back the same.
std::u16string SingleText(float f)
{
    char buffer[32];
    for (int digits = 1; digits <= 9; ++digits) {
        std::snprintf(buffer, sizeof buffer, "%.*g", digits, double(f));
        if (std::strtof(buffer, nullptr) == f) break;
    }
    const std::string text(buffer);
    return std::u16string(text.begin(), text.end());
}
}  // namespace

Value Value::string(std::u16string_view s)
{
    Value v;
    v.kind_ = Kind::String;
    v.text_ = s;
    return v;
}

Value Value::stringRef(std::u16string_view s)
{
    Value v = string(s);
    v.kind_ = Kind::StringRef;
    return v;
}

Value Value::boolean(bool b)
{
    Value v;
    v.kind_ = Kind::Bool;
    v.number_ = b ? -1 : 0;  // True is all bits set
    return v;
}

Value Value::int16(std::int16_t n)
{
    Value v;
    v.kind_ = Kind::Int16;
    v.number_ = n;
    return v;
}

Value Value::int32(std::int32_t n)
{
    Value v;
    v.kind_ = Kind::Int32;
    v.number_ = n;
    return v;
}

Value Value::single(float f)
{
    Value v;
    v.kind_ = Kind::Single;
    v.single_ = f;
    return v;
}

Value Value::object(std::shared_ptr<Dispatch> d)
{
    Value v;
    v.kind_ = d ? Kind::Object : Kind::Empty;
    v.object_ = std::move(d);
    return v;
}

std::u16string Value::toString() const
{
    switch (kind_) {
    case Kind::String:
    case Kind::StringRef: return text_;
    case Kind::Bool: return number_ ? u"True" : u"False";
    case Kind::Int16:
    case Kind::Int32: return Number(number_);
    case Kind::Single: return SingleText(single_);
    case Kind::Empty: return {};
    case Kind::Object: break;
    }
    throw EngineError(errtext::kTypeMismatch);
}

bool Value::toBool() const
{
    switch (kind_) {
    case Kind::Bool:
    case Kind::Int16:
    case Kind::Int32: return number_ != 0;
    case Kind::Single: return single_ != 0;
    case Kind::Empty: return false;
    default: throw EngineError(errtext::kTypeMismatch);
    }
}

std::int32_t Value::toInt() const
{
    switch (kind_) {
    case Kind::Bool:
    case Kind::Int16:
    case Kind::Int32: return number_;
    case Kind::Single:
        if (!(std::fabs(single_) < 2147483647.0f)) throw EngineError(errtext::kOverflow);
        return std::int32_t(std::nearbyint(single_));  // the platform rounds half to even
    case Kind::Empty: return 0;
    default: throw EngineError(errtext::kTypeMismatch);
    }
}

double Value::toDouble() const
{
    if (kind_ == Kind::Single) return single_;
    return toInt();
}

std::shared_ptr<Dispatch> Value::toDispatch() const
{
    if (kind_ == Kind::Empty) return nullptr;
    if (kind_ != Kind::Object) throw EngineError(errtext::kTypeMismatch);
    return object_;
}

std::u16string Value::describe() const
{
    switch (kind_) {
    case Kind::Empty: return u"Empty";
    case Kind::String: return u"\"" + text_ + u"\"";
    case Kind::StringRef: return u"&\"" + text_ + u"\"";
    case Kind::Bool: return number_ ? u"True" : u"False";
    case Kind::Int16: return Number(number_) + u"%";
    case Kind::Int32: return Number(number_) + u"&";
    case Kind::Single: return SingleText(single_) + u"!";
    case Kind::Object: return u"<object>";
    }
    return {};
}

bool Value::operator==(const Value& o) const
{
    return kind_ == o.kind_ && text_ == o.text_ && number_ == o.number_ && single_ == o.single_ && object_ == o.object_;
}

std::u16string Arg::describe() const
{
    return named() ? name + u":=" + value.describe() : value.describe();
}

}  // namespace marigal::engine
