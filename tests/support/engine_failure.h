#pragma once
// What an engine call failed with, as the user would read it.

#include "engine/engine_error.h"

#include <functional>
#include <string>

namespace marigal::test {

// The description of the EngineError `f` raises, or "(no error)".
inline std::u16string EngineFailure(const std::function<void()>& f)
{
    try {
        f();
    } catch (const engine::EngineError& e) {
        return e.description();
    }
    return u"(no error)";
}

}  // namespace marigal::test
