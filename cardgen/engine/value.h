#pragma once
// The automation variant: the few argument kinds the card pipeline ever
// passes to the word processor, kept distinct so that a backend (and the
// recording fake) can tell a 16-bit count from a 32-bit unit, or a string
// passed by reference from one passed by value.

#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

namespace marigal::engine {

class Dispatch;

class Value {
public:
    enum class Kind { Empty, String, StringRef, Bool, Int16, Int32, Object };

    Value() = default;
    static Value string(const QString& s);
    // A string the callee receives by reference (the callee may read it only).
    static Value stringRef(const QString& s);
    static Value boolean(bool b);
    static Value int16(std::int16_t v);
    static Value int32(std::int32_t v);
    static Value object(std::shared_ptr<Dispatch> d);

    Kind kind() const { return kind_; }
    bool isEmpty() const { return kind_ == Kind::Empty; }

    // Conversions raise the platform's "Type mismatch" when the kind does not fit.
    QString toString() const;
    bool toBool() const;
    std::int32_t toInt() const;
    std::shared_ptr<Dispatch> toDispatch() const;  // null for Empty

    // Canonical text form, e.g. `"abc"`, `&"abc"`, `True`, `4%`, `5&`.
    QString describe() const;

    bool operator==(const Value& o) const;

private:
    Kind kind_ = Kind::Empty;
    QString text_;
    std::int32_t number_ = 0;
    std::shared_ptr<Dispatch> object_;
};

// One argument of a late-bound call: positional when `name` is empty.
struct Arg {
    QString name;
    Value value;

    Arg(Value v) : value(std::move(v)) {}  // NOLINT: positional arguments read best unadorned
    Arg(QString n, Value v) : name(std::move(n)), value(std::move(v)) {}
    bool named() const { return !name.isEmpty(); }
    QString describe() const;
};

using Args = std::vector<Arg>;

}  // namespace marigal::engine
