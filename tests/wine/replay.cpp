// The Windows half of the Windows engine's test, run under Wine against the
// stand-in Word server (standin_word.cpp):
//
//   replay RECORD FAULTS NAME.tape...
//       replays each conversation the Linux side recorded through the COM
//       backend: every call on the object it went to, with its arguments of
//       their kinds, checking each answer (an error Word raised on Linux is
//       raised by the stand-in, and must arrive with its description), and
//       letting objects go when the program did. The stand-in's record (RECORD) must then equal
//       NAME.calls line for line, and no server may be left running.
//   faults RECORD FAULTS
//       the failures a user can meet, through the real COM runtime: a member
//       the server lacks, an error the server describes, and the server
//       killed in the middle of a call.
//
// Prints what it finds; exits 1 when anything differs.

#include "engine/com/com_backend.h"
#include "tests/wine/win_text.h"

#include <windows.h>
#include <tlhelp32.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

using namespace marigal::engine;
using namespace marigal::wintest;

namespace {

using Clock = std::chrono::steady_clock;

std::string Unescaped(const std::string& s)
{
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            out += s[i];
            continue;
        }
        const char c = s[++i];
        out += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
    }
    return out;
}

// The stand-in servers running in this prefix.
int StandinServers()
{
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return -1;
    int count = 0;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snap, &entry); more; more = Process32NextW(snap, &entry))
        count += _wcsicmp(entry.szExeFile, L"standin_word.exe") == 0;
    CloseHandle(snap);
    return count;
}

// Waits up to `seconds` for every stand-in server to end; how long it took,
// or a negative number when one is still running.
double WaitForNoServer(double seconds)
{
    const auto start = Clock::now();
    for (;;) {
        const double waited = std::chrono::duration<double>(Clock::now() - start).count();
        if (StandinServers() == 0) return waited;
        if (waited > seconds) return -1;
        Sleep(50);
    }
}

class Replay {
public:
    Replay(Backend& backend, const std::string& name) : backend_(backend), name_(name) {}

    // False, with the reason printed, at the first call that does not go as recorded.
    bool run(const std::vector<std::string>& tape)
    {
        for (const std::string& line : tape) {
            const std::vector<std::string> f = Split(line, '\t');
            if (f.empty()) continue;
            if (f[0] == "call")
                for (std::size_t i = 7; i < f.size(); i += 3)
                    if (f[i] == "O") used_.insert(f[i + 1]);
            if (f[0] == "call") used_.insert(f[1]);
        }
        for (std::size_t n = 0; n < tape.size(); ++n) {
            line_ = n + 1;
            std::vector<std::string> f = Split(tape[n], '\t');
            for (std::string& field : f) field = Unescaped(field);
            try {
                if (!step(f)) return false;
            } catch (const EngineError& e) {
                return differs("an unexpected error: " + std::string(e.what()));
            }
        }
        objects_.clear();
        return true;
    }

private:
    bool step(const std::vector<std::string>& f)
    {
        if (f[0] == "create" && f.size() == 3) {
            objects_[f[1]] = backend_.create(FromUtf8(f[2]));
            return true;
        }
        if (f[0] == "release" && f.size() == 2) {
            objects_.erase(f[1]);
            return true;
        }
        if (f[0] != "call" || f.size() < 6 || (f.size() - 6) % 3) return differs("a line the replay cannot read");
        const auto receiver = objects_.find(f[1]);
        if (receiver == objects_.end()) return differs("a call on an object it does not hold");
        const InvokeKind kind = f[2] == "M" ? InvokeKind::Method : f[2] == "G" ? InvokeKind::PropertyGet
                                                                             : InvokeKind::PropertyPut;
        Args args;
        for (std::size_t i = 6; i < f.size(); i += 3) {
            Arg a(value(f[i + 1], f[i + 2]));
            a.name = FromUtf8(f[i]);
            args.push_back(std::move(a));
        }

        Value answer;
        try {
            answer = receiver->second.dispatch()->invoke(FromUtf8(f[3]), kind, args);
        } catch (const EngineError& e) {
            if (f[4] == "X" && e.description() == FromUtf8(f[5])) return true;
            return differs(f[3] + " failed: " + e.what());
        }
        if (f[4] == "X") return differs(f[3] + " did not fail with \"" + f[5] + "\"");
        if (f[4] == "O") {
            if (answer.kind() == Value::Kind::Object) {
                objects_[f[5]] = Object(answer.toDispatch());
                return true;
            }
            // Word answers nothing here; fine as long as the program never uses the object.
            if (!used_.count(f[5])) return true;
            return differs(f[3] + " answered " + ToUtf8(answer.describe()) + ", and the program uses its object");
        }
        const Value expected = value(f[4], f[5]);
        if (answer.kind() != expected.kind() || answer.describe() != expected.describe())
            return differs(f[3] + " answered " + ToUtf8(answer.describe()) + ", not " + ToUtf8(expected.describe()));
        return true;
    }

    Value value(const std::string& kind, const std::string& text)
    {
        if (kind == "E") return {};
        if (kind == "S") return Value::string(FromUtf8(text));
        if (kind == "R") return Value::stringRef(FromUtf8(text));
        if (kind == "B") return Value::boolean(text == "1");
        if (kind == "H") return Value::int16(std::int16_t(std::atoi(text.c_str())));
        if (kind == "L") return Value::int32(std::atoi(text.c_str()));
        if (kind == "F") return Value::single(std::strtof(text.c_str(), nullptr));
        if (kind == "O") {
            const auto it = objects_.find(text);
            if (it != objects_.end()) return Value::object(it->second.dispatch());
        }
        throw EngineError(u"the tape names an argument the replay cannot make");
    }

    bool differs(const std::string& what)
    {
        std::printf("%s: tape line %zu: %s\n", name_.c_str(), line_, what.c_str());
        return false;
    }

    Backend& backend_;
    std::string name_;
    std::map<std::string, Object> objects_;
    std::set<std::string> used_;  // objects the program calls or passes on
    std::size_t line_ = 0;
};

// The stand-in's record against the recording engine's, line for line.
bool SameRecord(const std::string& name, const std::wstring& record, const std::wstring& expected)
{
    const std::vector<std::string> got = Split(ReadAll(record), '\n');
    const std::vector<std::string> want = Split(ReadAll(expected), '\n');
    for (std::size_t i = 0; i < std::max(got.size(), want.size()); ++i) {
        const std::string g = i < got.size() ? got[i] : "(nothing)";
        const std::string w = i < want.size() ? want[i] : "(nothing)";
        if (g != w) {
            std::printf("%s: record line %zu differs\n  stand-in:  %s\n  recording: %s\n", name.c_str(), i + 1,
                        g.c_str(), w.c_str());
            return false;
        }
    }
    std::printf("%s: %zu calls, the same on both sides\n", name.c_str(), got.size());
    return true;
}

// The faults file that makes the stand-in fail the calls that failed on
// Linux, with the same description: a tape's create and call lines are the
// recorded calls, one for one.
void WriteFaults(const std::wstring& faultsFile, const std::vector<std::string>& tape,
                 const std::vector<std::string>& calls)
{
    std::string faults;
    std::size_t call = 0;
    for (const std::string& line : tape) {
        const std::vector<std::string> f = Split(line, '\t');
        if (f.empty() || f[0] == "release") continue;
        if (f[0] == "call" && f.size() > 5 && f[4] == "X" && call < calls.size())
            faults += calls[call] + "\traise\t5152\t" + Unescaped(f[5]) + "\n";
        ++call;
    }
    if (FILE* out = _wfopen(faultsFile.c_str(), L"wb")) {
        std::fwrite(faults.data(), 1, faults.size(), out);
        fclose(out);
    }
}

int ReplayTapes(const std::wstring& record, const std::wstring& faultsFile, const std::vector<std::wstring>& tapes)
{
    bool ok = true;
    ComBackend backend;
    for (const std::wstring& tape : tapes) {
        std::wstring base = tape.substr(0, tape.rfind(L'.'));
        const std::size_t slash = base.find_last_of(L"\\/");
        const std::wstring wname = base.substr(slash == std::wstring::npos ? 0 : slash + 1);
        const std::string name(wname.begin(), wname.end());
        DeleteFileW(record.c_str());
        const std::vector<std::string> lines = Split(ReadAll(tape), '\n');
        WriteFaults(faultsFile, lines, Split(ReadAll(base + L".calls"), '\n'));
        const auto start = Clock::now();
        Replay replay(backend, name);
        if (!replay.run(lines) || !SameRecord(name, record, base + L".calls")) {
            ok = false;
            continue;
        }
        const double took = std::chrono::duration<double>(Clock::now() - start).count();
        const double left = WaitForNoServer(10);
        if (left < 0) {
            std::printf("%s: a server is still running after the conversation\n", name.c_str());
            ok = false;
        } else {
            std::printf("%s: replayed in %.2f s; no server left %.2f s later\n", name.c_str(), took, left);
        }
    }
    return ok ? 0 : 1;
}

// Kills the stand-in server once it reports it hangs in a call; when it did.
void KillWhenHung(const std::wstring& marker, Clock::time_point* killedAt)
{
    for (int i = 0; i < 600; ++i, Sleep(50)) {
        const std::string pid = ReadAll(marker);
        if (pid.empty()) continue;
        HANDLE server = OpenProcess(PROCESS_TERMINATE, FALSE, DWORD(std::atol(pid.c_str())));
        if (!server) return;
        *killedAt = Clock::now();
        TerminateProcess(server, 1);
        CloseHandle(server);
        return;
    }
}

int Faults(const std::wstring& record, const std::wstring& faultsFile)
{
    int status = 0;
    const auto expect = [&](const char* what, const std::u16string& got, std::u16string_view want) {
        std::printf("%s: %s\n", what, ToUtf8(got).c_str());
        if (got != want) {
            std::printf("  expected: %s\n", ToUtf8(want).c_str());
            status = 1;
        }
    };
    const auto errorOf = [](const std::function<void()>& call) -> std::u16string {
        try {
            call();
        } catch (const EngineError& e) {
            return e.description();
        }
        return u"(no error)";
    };
    {
        FILE* f = _wfopen(faultsFile.c_str(), L"wb");
        if (!f) return 1;
        std::fprintf(f, "Documents.Open(&\"C:\\gone.doc\")\traise\t5174\t%s\n", ToUtf8(errtext::kDocumentNotFound).c_str());
        std::fprintf(f, "Documents.Open(&\"C:\\slow.doc\")\thang\n");
        fclose(f);
    }
    DeleteFileW((record + L".hung").c_str());

    ComBackend backend;
    Object word = backend.create(kWordProgId);
    expect("a member the server lacks", errorOf([&] { word.call(u"Spellcheck"); }), errtext::kNoSuchMember);
    Object documents = word.obj(u"Documents");
    // An argument left out before a given one arrives as "missing".
    documents.call(u"Open", {Value::stringRef(u"C:\\card.doc"), Value(), Value::boolean(true)});
    expect("an argument left out", FromUtf8(Split(ReadAll(record), '\n').back()),
           u"Documents.Open(&\"C:\\card.doc\", Empty, True)");
    expect("an error the server describes",
           errorOf([&] { documents.call(u"Open", {Value::stringRef(u"C:\\gone.doc")}); }), errtext::kDocumentNotFound);

    Clock::time_point killedAt{};
    std::thread killer(KillWhenHung, record + L".hung", &killedAt);
    const std::u16string lost = errorOf([&] { documents.call(u"Open", {Value::stringRef(u"C:\\slow.doc")}); });
    const auto returned = Clock::now();
    killer.join();
    if (killedAt == Clock::time_point{}) {
        std::printf("the server never hung in the call\n");
        return 1;
    }
    const double after = std::chrono::duration<double>(returned - killedAt).count();
    std::printf("the server killed in a call: the call returned %.2f s later\n", after);
    if (after > 10) status = 1;
    // As Windows has it: the call that broke off says so, and what comes
    // after finds the server gone; both are a lost application.
    expect("  its error", lost, errtext::kServerHung);
    expect("  the next call's", errorOf([&] { word.get(u"Version"); }), errtext::kServerGone);
    documents.release();
    word.release();
    if (StandinServers() != 0) {
        std::printf("a killed server is still listed\n");
        status = 1;
    }
    return status;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    if (mode == L"replay" && argc >= 5)
        return ReplayTapes(argv[2], argv[3], std::vector<std::wstring>(argv + 4, argv + argc));
    if (mode == L"faults" && argc == 4) return Faults(argv[2], argv[3]);
    std::fprintf(stderr, "usage: replay replay RECORD FAULTS TAPE... | replay faults RECORD FAULTS\n");
    return 2;
}
