// A stand-in for Word's automation server, for the Windows engine's test
// under Wine: an out-of-process COM server registered as "Word.Application"
// in the test's prefix. It has the members the cards use, writes down every
// call it receives in the recording engine's text form (one line each, in
// UTF-8, appended to the record file), and answers with objects and values
// of the kinds Word answers with. Each application is a process of its own,
// and ends with its Quit, as Word does.
//
//   standin_word.exe --register RECORD FAULTS
//       registers the server in the prefix; COM then starts it as
//   standin_word.exe --record RECORD --faults FAULTS -Embedding
//
// FAULTS (read when a server starts; may be missing) makes a call misbehave,
// a line each: the call's recorded line, a tab, and what to do:
//   raise<TAB>NUMBER<TAB>DESCRIPTION   fail with that error, described
//   hang                              never answer; RECORD.hung then holds
//                                     the server's process id

#include "engine/object.h"
#include "tests/wine/win_text.h"

#include <windows.h>
#include <ole2.h>

#include <cstdio>
#include <map>
#include <utility>
#include <set>
#include <string>
#include <vector>

using marigal::engine::Arg;
using marigal::engine::Args;
using marigal::engine::Value;
using namespace marigal::wintest;

namespace {

// {B59311D5-8950-4373-8893-3C4BAFD10572}
const CLSID kClsid = {0xb59311d5, 0x8950, 0x4373, {0x88, 0x93, 0x3c, 0x4b, 0xaf, 0xd1, 0x05, 0x72}};
const wchar_t kClsidText[] = L"{B59311D5-8950-4373-8893-3C4BAFD10572}";

// The members the cards call, and a few the program's other paths reach.
const std::set<std::u16string> kMembers = {
    u"ActiveDocument", u"AddPicture", u"Application", u"Bold", u"BoldBi", u"Bookmarks", u"Close",
    u"Collapse", u"CopyAsPicture", u"Count", u"Delete", u"DisplayAlerts", u"Documents", u"ExportAsFixedFormat",
    u"Font", u"Information", u"InlineShapes", u"Item", u"MoveDown", u"Name", u"Open", u"Overflowing",
    u"Paragraphs", u"Quit", u"Range", u"Add", u"SaveAs", u"Saved", u"Select", u"Selection", u"ShapeRange",
    u"Shapes", u"Size", u"SizeBi", u"SpaceAfter", u"Text", u"TextEffect", u"TextFrame", u"TextRange",
    u"TypeBackspace", u"TypeParagraph", u"TypeText", u"Version", u"Visible", u"Width", u"Height", u"Left", u"Top",
};
// Members that are subs in Word's object model: their call answers nothing.
const std::set<std::u16string> kSubs = {
    u"Close", u"Collapse", u"CopyAsPicture", u"ExportAsFixedFormat", u"Quit", u"SaveAs", u"Select",
    u"TypeBackspace", u"TypeParagraph", u"TypeText",
};

struct Fault {
    bool hang = false;
    long number = 0;
    std::u16string description;
};

std::wstring g_record;
bool g_created = false;
DWORD g_cookie = 0;  // the class's registration, while it takes clients
// Posted to the main thread: after its first application the server takes
// no other client, so that the next CreateObject starts a process of its own.
constexpr UINT kTakeNoClients = WM_APP + 1;
std::map<std::u16string, Fault> g_faults;
DWORD g_mainThread = 0;
// Names are given DISPIDs as they are first asked for, members and named
// arguments alike; Invoke finds the name again from its DISPID.
std::vector<std::u16string> g_names;

std::u16string U16(const wchar_t* s, std::size_t n) { return {reinterpret_cast<const char16_t*>(s), n}; }

std::string Utf8(const std::u16string& s)
{
    const auto* w = reinterpret_cast<const wchar_t*>(s.data());
    const int n = WideCharToMultiByte(CP_UTF8, 0, w, int(s.size()), nullptr, 0, nullptr, nullptr);
    std::string out(std::size_t(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w, int(s.size()), out.data(), n, nullptr, nullptr);
    return out;
}

void Append(const std::wstring& path, const std::string& text)
{
    HANDLE h = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(h, text.data(), DWORD(text.size()), &written, nullptr);
    CloseHandle(h);
}

void LoadFaults(const std::wstring& path)
{
    for (const std::string& line : Split(ReadAll(path), '\n')) {
        const std::vector<std::string> fields = Split(line, '\t');
        Fault f;
        if (fields.size() == 2 && fields[1] == "hang") f.hang = true;
        if (fields.size() == 4 && fields[1] == "raise") {
            f.number = std::stol(fields[2]);
            f.description = FromUtf8(fields[3]);
        }
        if (f.hang || f.number) g_faults[FromUtf8(fields[0])] = f;
    }
}

DISPID IdOf(const std::u16string& name)
{
    for (std::size_t i = 0; i < g_names.size(); ++i)
        if (g_names[i] == name) return DISPID(i + 1);
    g_names.push_back(name);
    return DISPID(g_names.size());
}

// An object that has no members of its own: stands for an object argument
// in the record, which writes it as <object>.
struct Anything : marigal::engine::Dispatch {
    Value invoke(const std::u16string&, marigal::engine::InvokeKind, const Args&) override { return {}; }
};

// What arrived, as the recording engine writes it. Anything a client should
// not send shows as such, so that the record differs.
// `assigned`: the value of a property put, which may be Empty; an argument
// left out comes as "missing", never as an empty variant.
Value Received(const VARIANT& v, bool assigned = false)
{
    switch (v.vt) {
    case VT_EMPTY:
        if (assigned) return {};
        break;
    case VT_ERROR:
        if (v.scode == DISP_E_PARAMNOTFOUND) return {};  // an optional argument left out
        break;
    case VT_BSTR: return Value::string(v.bstrVal ? U16(v.bstrVal, SysStringLen(v.bstrVal)) : u"");
    case VT_BSTR | VT_BYREF:
        if (!v.pbstrVal) break;
        return Value::stringRef(*v.pbstrVal ? U16(*v.pbstrVal, SysStringLen(*v.pbstrVal)) : u"");
    case VT_BOOL:
        if (v.boolVal != VARIANT_TRUE && v.boolVal != VARIANT_FALSE) break;
        return Value::boolean(v.boolVal == VARIANT_TRUE);
    case VT_I2: return Value::int16(v.iVal);
    case VT_I4: return Value::int32(v.lVal);
    case VT_R4: return Value::single(v.fltVal);
    case VT_DISPATCH:
        if (v.pdispVal) return Value::object(std::make_shared<Anything>());
        break;
    default: break;
    }
    const std::string odd = "?vt" + std::to_string(v.vt);
    return Value::string(std::u16string(odd.begin(), odd.end()));
}

std::u16string ArgList(const Args& args, bool alwaysParens)
{
    if (args.empty()) return alwaysParens ? u"()" : u"";
    std::u16string out = u"(";
    for (std::size_t i = 0; i < args.size(); ++i) out += (i ? u", " : u"") + args[i].describe();
    return out + u")";
}

// Word's members that hold values, not objects, answered with a value of
// each one's kind; false for an object.
bool ValueOf(const std::u16string& member, VARIANT& out)
{
    if (member == u"Overflowing" || member == u"Bold" || member == u"BoldBi") {
        out.vt = VT_BOOL;
        out.boolVal = VARIANT_FALSE;
    } else if (member == u"Size" || member == u"SizeBi" || member == u"SpaceAfter") {
        out.vt = VT_R4;
        out.fltVal = member == u"SpaceAfter" ? 0.0f : 12.0f;
    } else if (member == u"Width" || member == u"Height" || member == u"Left" || member == u"Top") {
        // The recording engine's answers, so the replay asks the same.
        out.vt = VT_R4;
        out.fltVal = member == u"Width" ? 400.0f : member == u"Height" ? 80.0f : 50.0f;
    } else if (member == u"Count" || member == u"Information") {
        out.vt = VT_I4;
        out.lVal = member == u"Count" ? 5 : 1;
    } else if (member == u"Version") {
        out.vt = VT_BSTR;
        out.bstrVal = SysAllocString(L"16.0");
    } else {
        return false;
    }
    return true;
}

void CALLBACK EndNow(HWND, UINT, UINT_PTR, DWORD) { PostQuitMessage(0); }

class StandinObject : public IDispatch {
public:
    StandinObject(std::u16string path, bool application) : path_(std::move(path)), application_(application)
    {
        CoAddRefServerProcess();
    }
    virtual ~StandinObject()
    {
        if (CoReleaseServerProcess() == 0) PostThreadMessageW(g_mainThread, WM_QUIT, 0, 0);
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!out) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IDispatch) {
            *out = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(InterlockedIncrement(&refs_)); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const LONG left = InterlockedDecrement(&refs_);
        if (left == 0) delete this;
        return ULONG(left);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override
    {
        if (n) *n = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }

    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override
    {
        if (count == 0) return E_INVALIDARG;
        const std::u16string member = U16(names[0], wcslen(names[0]));
        const bool known = kMembers.count(member) > 0;
        ids[0] = known ? IdOf(member) : DISPID_UNKNOWN;
        for (UINT i = 1; i < count; ++i) ids[i] = IdOf(U16(names[i], wcslen(names[i])));
        return known ? S_OK : DISP_E_UNKNOWNNAME;
    }

    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* exception, UINT*) override
    {
        if (id < 1 || std::size_t(id) > g_names.size()) return DISP_E_MEMBERNOTFOUND;
        const std::u16string& member = g_names[std::size_t(id) - 1];
        const bool method = flags & DISPATCH_METHOD;
        const bool put = !method && (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF));

        // The argument block: the named ones first (the assigned value among
        // them), then the positional ones, last one first.
        const UINT count = params ? params->cArgs : 0;
        const UINT named = params ? params->cNamedArgs : 0;
        Args own;
        Value assigned;
        bool hasAssigned = false;
        for (UINT i = count; i-- > named;) own.emplace_back(Received(params->rgvarg[i]));
        for (UINT i = 0; i < named; ++i) {
            const DISPID nameId = params->rgdispidNamedArgs[i];
            if (nameId == DISPID_PROPERTYPUT) {
                assigned = Received(params->rgvarg[i], true);
                hasAssigned = true;
            } else if (nameId >= 1 && std::size_t(nameId) <= g_names.size()) {
                own.emplace_back(g_names[std::size_t(nameId) - 1], Received(params->rgvarg[i]));
            } else {
                return DISP_E_PARAMNOTFOUND;
            }
        }
        if (put && !hasAssigned) return DISP_E_PARAMNOTOPTIONAL;

        const std::u16string target = path_.empty() ? member : path_ + u"." + member;
        const std::u16string line =
            put ? target + ArgList(own, false) + u" = " + assigned.describe() : target + ArgList(own, method);
        Append(g_record, Utf8(line) + "\n");

        if (const auto f = g_faults.find(line); f != g_faults.end()) {
            if (f->second.hang) {
                Append(g_record + L".hung", std::to_string(GetCurrentProcessId()));
                for (;;) Sleep(INFINITE);
            }
            if (exception) {
                *exception = EXCEPINFO{};
                exception->scode = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, f->second.number);
                exception->bstrSource = SysAllocString(L"Microsoft Word");
                exception->bstrDescription = SysAllocStringLen(reinterpret_cast<const wchar_t*>(f->second.description.data()),
                                                               UINT(f->second.description.size()));
            }
            return DISP_E_EXCEPTION;
        }

        // Ends a moment after its answer is on its way, as Word does.
        if (application_ && method && member == u"Quit") SetTimer(nullptr, 0, 250, EndNow);
        if (put || !result) return S_OK;
        VariantInit(result);
        if (method && kSubs.count(member)) return S_OK;
        if (!method && ValueOf(member, *result)) return S_OK;
        // Whatever else a get or a method answers is an object named after the call.
        result->vt = VT_DISPATCH;
        result->pdispVal = new StandinObject(method ? line : target + ArgList(own, false), false);
        return S_OK;
    }

private:
    LONG refs_ = 1;
    std::u16string path_;
    bool application_;
};

class Factory : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!out) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IClassFactory) {
            *out = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }  // lives as long as the process
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override
    {
        if (outer) return CLASS_E_NOAGGREGATION;
        Append(g_record, "CreateObject(\"Word.Application\")\n");
        g_created = true;
        PostThreadMessageW(g_mainThread, kTakeNoClients, 0, 0);
        auto* word = new StandinObject(u"", true);
        const HRESULT hr = word->QueryInterface(iid, out);
        word->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override
    {
        if (lock) {
            CoAddRefServerProcess();
        } else if (CoReleaseServerProcess() == 0) {
            PostThreadMessageW(g_mainThread, WM_QUIT, 0, 0);
        }
        return S_OK;
    }
};

// A server that COM started but no client then asked for ends by itself.
void CALLBACK EndIfUnused(HWND, UINT, UINT_PTR, DWORD)
{
    if (!g_created) PostQuitMessage(0);
}

bool SetKey(const std::wstring& key, const std::wstring& value)
{
    HKEY h;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr) != ERROR_SUCCESS)
        return false;
    const LONG r = RegSetValueExW(h, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                  DWORD((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(h);
    return r == ERROR_SUCCESS;
}

int Register(const std::wstring& record, const std::wstring& faults)
{
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring clsid = std::wstring(L"CLSID\\") + kClsidText;
    const std::wstring command =
        L"\"" + std::wstring(self) + L"\" --record \"" + record + L"\" --faults \"" + faults + L"\"";
    const bool ok = SetKey(L"Word.Application\\CLSID", kClsidText) && SetKey(clsid, L"Stand-in Word Application") &&
                    SetKey(clsid + L"\\ProgID", L"Word.Application") && SetKey(clsid + L"\\LocalServer32", command);
    if (!ok) std::fprintf(stderr, "cannot register the stand-in server\n");
    return ok ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    std::wstring record, faults;
    for (int i = 1; i + 1 < argc; ++i) {
        const std::wstring a = argv[i];
        if (a == L"--register" && i + 2 < argc) return Register(argv[i + 1], argv[i + 2]);
        if (a == L"--record") record = argv[++i];
        else if (a == L"--faults") faults = argv[++i];
    }
    if (record.empty()) {
        std::fprintf(stderr, "usage: standin_word --register RECORD FAULTS\n");
        return 2;
    }
    g_record = record;
    LoadFaults(faults);
    g_mainThread = GetCurrentThreadId();
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
    static Factory factory;
    // One application per process, as Word's each CreateObject starts one.
    if (FAILED(CoRegisterClassObject(kClsid, &factory, CLSCTX_LOCAL_SERVER, REGCLS_SINGLEUSE, &g_cookie))) {
        CoUninitialize();
        return 1;
    }
    SetTimer(nullptr, 0, 60000, EndIfUnused);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.hwnd == nullptr && msg.message == kTakeNoClients && g_cookie) {
            CoRevokeClassObject(std::exchange(g_cookie, 0));
            continue;
        }
        DispatchMessageW(&msg);
    }
    if (g_cookie) CoRevokeClassObject(g_cookie);
    CoUninitialize();
    return 0;
}
