#pragma once
// An object of the word processor reached late-bound: every member is found
// by name at the moment of the call, as the automation interface does it.
// A default-constructed Object stands for "Nothing": any call on it raises the
// platform's "Object variable or With block variable not set".

#include "engine/engine_error.h"
#include "engine/value.h"

#include <memory>

namespace marigal::engine {

enum class InvokeKind { Method, PropertyGet, PropertyPut };

// What a backend implements for each of its objects.
class Dispatch {
public:
    virtual ~Dispatch() = default;
    // For a property put the assigned value is the last argument.
    // Raises EngineError with a description the error box can show.
    virtual Value invoke(const std::u16string& member, InvokeKind kind, const Args& args) = 0;
};

class Object {
public:
    Object() = default;
    explicit Object(std::shared_ptr<Dispatch> d) : d_(std::move(d)) {}

    explicit operator bool() const { return d_ != nullptr; }
    bool isNothing() const { return d_ == nullptr; }

    // Method call (or a member with arguments, as Shapes(name)) returning a value.
    Value call(const std::u16string& member, const Args& args = {}) const;
    // Property read.
    Value get(const std::u16string& member, const Args& args = {}) const;
    // Property write; `args` are the property's own arguments, if any.
    void put(const std::u16string& member, const Value& value, const Args& args = {}) const;

    // A member that yields an object: raises when it yields none.
    Object obj(const std::u16string& member, const Args& args = {}) const;

    // Walks a dotted member path of argument-less members, e.g.
    // u"ShapeRange.TextFrame.TextRange".
    Object path(std::u16string_view dotted) const;

    // Releases the reference ("Set x = Nothing").
    void release() { d_.reset(); }

    const std::shared_ptr<Dispatch>& dispatch() const { return d_; }

private:
    Dispatch& target() const;
    std::shared_ptr<Dispatch> d_;
};

}  // namespace marigal::engine
