#pragma once
// The forced deletion on Windows: the file-system object's DeleteFile with
// its force flag, which also removes a read-only file.

#include <string>

namespace marigal::win {

// Deletes exactly the one file `path` names. Raises engine::EngineError with
// the file-system object's own text (e.g. "File not found" or "Permission
// denied") when the file cannot be deleted.
void RemoveFileByFso(const std::u16string& path);

}  // namespace marigal::win
