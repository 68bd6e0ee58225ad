#pragma once
// The automation variant: the few argument kinds the card pipeline ever
// passes to the word processor, kept distinct so that a backend (and the
// recording fake) can tell a 16-bit count from a 32-bit unit, or a string
// passed by reference from one passed by value. Free of Qt (the Windows
// backend builds without it); Qt conveniences appear where Qt is in use.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#if defined(QT_CORE_LIB)
#include <QString>
#endif

namespace marigal::engine {

#if defined(QT_CORE_LIB)
inline std::u16string_view U16(const QString& s)
{
    return {reinterpret_cast<const char16_t*>(s.utf16()), size_t(s.size())};
}
inline QString Q(std::u16string_view s)
{
    return QString::fromUtf16(s.data(), qsizetype(s.size()));
}
#endif

class Dispatch;

class Value {
public:
    enum class Kind { Empty, String, StringRef, Bool, Int16, Int32, Single, Object };

    Value() = default;
    static Value string(std::u16string_view s);
    // A string the callee receives by reference (the callee may read it only).
    static Value stringRef(std::u16string_view s);
    static Value boolean(bool b);
    static Value int16(std::int16_t v);
    static Value int32(std::int32_t v);
    // Word's sizes and positions in points (VT_R4).
    static Value single(float v);
    static Value object(std::shared_ptr<Dispatch> d);

    Kind kind() const { return kind_; }
    bool isEmpty() const { return kind_ == Kind::Empty; }

    // Conversions raise the platform's "Type mismatch" when the kind does not fit.
    std::u16string toString() const;
    bool toBool() const;
    std::int32_t toInt() const;  // a Single rounds half to even
    double toDouble() const;
    std::shared_ptr<Dispatch> toDispatch() const;  // null for Empty

    // Canonical text form, e.g. `"abc"`, `&"abc"`, `True`, `4%`, `5&`, `12.5!`.
    std::u16string describe() const;

    bool operator==(const Value& o) const;

#if defined(QT_CORE_LIB)
    static Value string(const QString& s) { return string(U16(s)); }
    static Value stringRef(const QString& s) { return stringRef(U16(s)); }
    QString toQString() const { return Q(toString()); }
#endif

private:
    Kind kind_ = Kind::Empty;
    std::u16string text_;
    std::int32_t number_ = 0;
    float single_ = 0;
    std::shared_ptr<Dispatch> object_;
};

// One argument of a late-bound call: positional when `name` is empty.
struct Arg {
    std::u16string name;
    Value value;

    Arg(Value v) : value(std::move(v)) {}  // NOLINT: positional arguments read best unadorned
    Arg(std::u16string n, Value v) : name(std::move(n)), value(std::move(v)) {}
    bool named() const { return !name.empty(); }
    std::u16string describe() const;
};

using Args = std::vector<Arg>;

}  // namespace marigal::engine
