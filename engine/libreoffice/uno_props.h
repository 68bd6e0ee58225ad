#pragma once
// The office's argument lists: named values, as its loaders, filters and
// services take them.

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/uno/Any.hxx>
#include <com/sun/star/uno/Sequence.hxx>

#include <initializer_list>

namespace marigal::engine::lo {

template <class T>
css::beans::PropertyValue Prop(const char* name, const T& value)
{
    css::beans::PropertyValue p;
    p.Name = rtl::OUString::createFromAscii(name);
    p.Value <<= value;
    return p;
}

// (The SDK keeps Sequence's initializer-list constructor to the office's own code.)
inline css::uno::Sequence<css::beans::PropertyValue> Props(std::initializer_list<css::beans::PropertyValue> list)
{
    return css::uno::Sequence<css::beans::PropertyValue>(list.begin(), sal_Int32(list.size()));
}

}  // namespace marigal::engine::lo
