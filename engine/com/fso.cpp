#include "engine/com/fso.h"

#include "engine/com/com_backend.h"

namespace marigal::win {

using namespace engine;

void RemoveFileByFso(const std::u16string& path)
{
    // DeleteFile takes wildcards in the last part of the path and would
    // delete every file they match; no real file name contains one.
    if (path.find_first_of(u"*?") != std::u16string::npos) throw EngineError(errtext::kBadFileName);

    ComBackend backend;  // keeps COM set up until the object is released
    Object fso = backend.create(u"Scripting.FileSystemObject");
    fso.call(u"DeleteFile", {Value::string(path), Value::boolean(true)});
    fso.release();
}

}  // namespace marigal::win
