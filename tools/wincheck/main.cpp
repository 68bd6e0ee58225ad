// Run on a Windows machine, or under Wine by the tests, to see the backend at work:
//   wincheck.exe              creates Word, shows its version, quits it
//   wincheck.exe FILE         also deletes FILE the forced way
#include "engine/com/com_backend.h"
#include "engine/com/fso.h"

#include <iostream>
#include <string>

using namespace marigal::engine;

namespace {
std::u16string FromArg(const char* s)
{
    // Plain characters are enough for a test path.
    const std::string narrow(s);
    return {narrow.begin(), narrow.end()};
}
}  // namespace

int main(int argc, char** argv)
{
    int status = 0;
    try {
        ComBackend backend;
        Object word = backend.create(kWordProgId);
        std::cout << "Word.Application: created, version " << ToUtf8(word.get(u"Version").toString()) << "\n";
        word.call(u"Quit", {Arg(u"SaveChanges", Value::boolean(false))});
    } catch (const EngineError& e) {
        std::cout << "Word.Application: " << e.what() << "\n";
        status = 1;
    }
    if (argc > 1) {
        try {
            marigal::win::RemoveFileByFso(FromArg(argv[1]));
            std::cout << "DeleteFile: done\n";
        } catch (const EngineError& e) {
            std::cout << "DeleteFile: " << e.what() << "\n";
            status = 1;
        }
    }
    return status;
}
