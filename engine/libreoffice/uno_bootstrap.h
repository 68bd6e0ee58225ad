#pragma once
// This process's own UNO runtime: the component context that provides the
// URL resolver and the bridge through which the offices are reached.

#include <com/sun/star/uno/Reference.hxx>
#include <com/sun/star/uno/XComponentContext.hpp>

namespace marigal::engine::lo {

// Bootstrapped once per process from the installation this program links
// against. Raises EngineError(kCannotCreate) when that fails.
css::uno::Reference<css::uno::XComponentContext> localUnoContext();

}  // namespace marigal::engine::lo
