#include "object.h"

#include <QStringList>

namespace marigal::engine {

Dispatch& Object::target() const
{
    if (!d_) throw EngineError(errtext::kNotSet);
    return *d_;
}

Value Object::call(const QString& member, const Args& args) const
{
    return target().invoke(member, InvokeKind::Method, args);
}

Value Object::get(const QString& member, const Args& args) const
{
    return target().invoke(member, InvokeKind::PropertyGet, args);
}

void Object::put(const QString& member, const Value& value, const Args& args) const
{
    Args all = args;
    all.emplace_back(value);  // the assigned value travels last, as in the automation call
    target().invoke(member, InvokeKind::PropertyPut, all);
}

Object Object::obj(const QString& member, const Args& args) const
{
    auto d = target().invoke(member, InvokeKind::PropertyGet, args).toDispatch();
    if (!d) throw EngineError(errtext::kNotSet);
    return Object(std::move(d));
}

Object Object::path(const QString& dotted) const
{
    Object o = *this;
    for (const QString& part : dotted.split(QLatin1Char('.'), Qt::SkipEmptyParts)) o = o.obj(part);
    return o;
}

}  // namespace marigal::engine
