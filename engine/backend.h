#pragma once
// A backend creates application objects of the word processor by class name
// ("Word.Application"). Each created application is a separate process owned
// by whoever created it, and ends with its `Quit` (or when its last reference
// goes, as a safety net that never leaves a process behind).

#include "engine/object.h"

#include <cstdint>
#include <memory>

namespace marigal::engine {

inline const std::u16string kWordProgId = u"Word.Application";

// A picture of a document's pages as Range.CopyAsPicture made it: rows of
// 32-bit premultiplied ARGB pixels (0xAARRGGBB in native byte order),
// `bytesPerLine` apart, drawn at `dotsPerInch`.
struct CopiedPicture {
    int width = 0, height = 0, bytesPerLine = 0;
    double dotsPerInch = 0;
    std::shared_ptr<const std::uint8_t> bits;  // null: no picture
};

class Backend {
public:
    virtual ~Backend() = default;
    // Raises EngineError when the application cannot be started.
    virtual Object create(const std::u16string& progId) = 0;
    // The picture this backend's applications last copied, handed over once:
    // a backend that keeps it in the program's memory, and never on the
    // desktop's clipboard, where it would replace what the user had copied.
    // None (null bits) where the word processor copies to the clipboard.
    virtual CopiedPicture takeCopiedPicture() { return {}; }
};

}  // namespace marigal::engine
