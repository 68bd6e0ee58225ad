// Run on a Windows machine, or under Wine by the tests, to see the backend at work:
//   wincheck.exe              creates Word, shows its version, quits it
//   wincheck.exe FILE         also deletes FILE the forced way
//   wincheck.exe --late-bound calls members of the file-system object by
//                             name: one it has, with its result, and one it lacks
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
    if (argc == 2 && std::string(argv[1]) == "--late-bound") {
        ComBackend backend;
        Object fso = backend.create(u"Scripting.FileSystemObject");
        std::cout << "GetExtensionName: " << ToUtf8(fso.call(u"GetExtensionName", {Value::string(u"C:\\card.doc")}).toString())
                  << "\n";
        try {
            fso.call(u"NoSuchMember");
            std::cout << "NoSuchMember: no error\n";
        } catch (const EngineError& e) {
            std::cout << "NoSuchMember: " << e.what() << "\n";
        }
        return 0;
    }
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
