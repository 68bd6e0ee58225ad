#pragma once
// A backend creates application objects of the word processor by class name
// ("Word.Application"). Each created application is a separate process owned
// by whoever created it, and ends with its `Quit` (or when its last reference
// goes, as a safety net that never leaves a process behind).

#include "object.h"

namespace marigal::engine {

inline const std::u16string kWordProgId = u"Word.Application";

class Backend {
public:
    virtual ~Backend() = default;
    // Raises EngineError when the application cannot be started.
    virtual Object create(const std::u16string& progId) = 0;
};

}  // namespace marigal::engine
