#include "engine/com/com_dispatch.h"

#include "engine/com/marshal.h"

#include <array>

namespace marigal::engine::com {

namespace {

constexpr HRESULT FromWin32(unsigned long code) { return HRESULT(0x80070000UL | (code & 0xFFFFUL)); }

// The server process is gone: it ended, crashed or was ended under us.
constexpr std::array kServerGoneCodes{RPC_E_DISCONNECTED, RPC_E_SERVER_DIED, RPC_E_SERVER_DIED_DNE,
                                      FromWin32(RPC_S_SERVER_UNAVAILABLE)};
// The call itself broke off, the server possibly still there.
constexpr std::array kCallFailedCodes{FromWin32(RPC_S_CALL_FAILED), FromWin32(RPC_S_CALL_FAILED_DNE)};

template <class Codes>
bool OneOf(HRESULT hr, const Codes& codes)
{
    for (HRESULT c : codes)
        if (c == hr) return true;
    return false;
}

// The Visual Basic runtime's errors that servers such as the file-system
// object raise as FACILITY_CONTROL codes, often with no description: the
// system has no text for them, the runtime has these.
std::u16string_view ControlErrorText(HRESULT hr)
{
    if (HRESULT_FACILITY(hr) != FACILITY_CONTROL) return {};
    switch (HRESULT_CODE(hr)) {
    case 52: return errtext::kBadFileName;
    case 53: return u"File not found";
    case 58: return u"File already exists";
    case 70: return u"Permission denied";
    case 75: return u"Path/File access error";
    case 76: return u"Path not found";
    default: return {};
    }
}

// The system's own text for a failure code, without its line break;
// "Automation error" when the system has none.
std::u16string SystemMessage(HRESULT hr)
{
    if (const std::u16string_view control = ControlErrorText(hr); !control.empty()) return std::u16string(control);
    wchar_t* buffer = nullptr;
    const DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    DWORD length = FormatMessageW(flags, nullptr, DWORD(hr), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    if (length == 0 && HRESULT_FACILITY(hr) == FACILITY_WIN32)
        length = FormatMessageW(flags, nullptr, DWORD(HRESULT_CODE(hr)), 0, reinterpret_cast<wchar_t*>(&buffer), 0,
                                nullptr);
    std::u16string text;
    if (length && buffer) text.assign(reinterpret_cast<const char16_t*>(buffer), length);
    if (buffer) LocalFree(buffer);
    while (!text.empty() && (text.back() == u'\r' || text.back() == u'\n' || text.back() == u' ')) text.pop_back();
    return text.empty() ? std::u16string(errtext::kAutomationError) : text;
}

std::u16string ExceptionText(EXCEPINFO& info)
{
    if (info.pfnDeferredFillIn) info.pfnDeferredFillIn(&info);
    if (info.bstrDescription && SysStringLen(info.bstrDescription) > 0)
        return {reinterpret_cast<const char16_t*>(info.bstrDescription), SysStringLen(info.bstrDescription)};
    if (FAILED(info.scode)) return SystemMessage(info.scode);
    return std::u16string(errtext::kAutomationError);  // only the server's own error number
}

// The strings a failed Invoke may leave in its EXCEPINFO, freed however the
// call ends.
struct OwnedExcepInfo {
    EXCEPINFO info{};
    OwnedExcepInfo() = default;
    ~OwnedExcepInfo()
    {
        SysFreeString(info.bstrSource);
        SysFreeString(info.bstrDescription);
        SysFreeString(info.bstrHelpFile);
    }
    OwnedExcepInfo(const OwnedExcepInfo&) = delete;
    OwnedExcepInfo& operator=(const OwnedExcepInfo&) = delete;
};

WORD InvokeFlags(InvokeKind kind)
{
    switch (kind) {
    case InvokeKind::Method: return DISPATCH_METHOD | DISPATCH_PROPERTYGET;  // Shapes(name) is either
    case InvokeKind::PropertyGet: return DISPATCH_PROPERTYGET;
    case InvokeKind::PropertyPut: return DISPATCH_PROPERTYPUT;
    }
    return DISPATCH_METHOD;
}

}  // namespace

ComApartment::ComApartment()
{
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    // S_FALSE: already set up this way, still counted; RPC_E_CHANGED_MODE:
    // the thread is a multi-threaded apartment, usable but not ours to undo.
    owned_ = SUCCEEDED(hr);
    usable_ = owned_ || hr == RPC_E_CHANGED_MODE;
}

ComApartment::~ComApartment()
{
    if (owned_) CoUninitialize();
}

ComDispatch::ComDispatch(ComPtr<IDispatch> d, std::shared_ptr<ComApartment> apartment)
    : apartment_(std::move(apartment)), d_(std::move(d))
{
}

Value ComDispatch::invoke(const std::u16string& member, InvokeKind kind, const Args& args)
{
    if (!d_) throw EngineError(errtext::kNotSet);
    const CallLayout layout = LayOut(member, args, kind == InvokeKind::PropertyPut);

    // One lookup for the member and its named arguments; GetIDsOfNames wants
    // writable strings, though it writes nothing.
    std::vector<std::u16string> names = layout.names;
    std::vector<LPOLESTR> namePointers;
    for (std::u16string& n : names) namePointers.push_back(reinterpret_cast<LPOLESTR>(n.data()));
    std::vector<DISPID> ids(names.size(), DISPID_UNKNOWN);
    HRESULT hr = d_->GetIDsOfNames(IID_NULL, namePointers.data(), UINT(names.size()), LOCALE_USER_DEFAULT, ids.data());
    if (hr == DISP_E_UNKNOWNNAME)
        throw EngineError(ids[0] == DISPID_UNKNOWN ? errtext::kNoSuchMember : errtext::kNoSuchNamedArgument);
    if (FAILED(hr)) throw EngineError(DescribeFailure(hr));

    CallArgs call(args, layout, ids);
    OwnedVariant result;
    OwnedExcepInfo exception;
    UINT badArg = 0;
    hr = d_->Invoke(ids[0], IID_NULL, LOCALE_USER_DEFAULT, InvokeFlags(kind), call.params(),
                    kind == InvokeKind::PropertyPut ? nullptr : &result.v, &exception.info, &badArg);
    if (FAILED(hr)) throw EngineError(DescribeFailure(hr, &exception.info));
    return FromVariant(result.v, apartment_);
}

std::u16string DescribeFailure(HRESULT hr, EXCEPINFO* info)
{
    if (hr == DISP_E_EXCEPTION && info) return ExceptionText(*info);
    if (hr == DISP_E_UNKNOWNNAME || hr == DISP_E_MEMBERNOTFOUND) return std::u16string(errtext::kNoSuchMember);
    if (hr == DISP_E_TYPEMISMATCH) return std::u16string(errtext::kTypeMismatch);
    if (OneOf(hr, kServerGoneCodes)) return std::u16string(errtext::kServerGone);
    if (OneOf(hr, kCallFailedCodes)) return std::u16string(errtext::kServerHung);
    return SystemMessage(hr);  // e.g. RPC_E_CALL_REJECTED: the server is busy
}

}  // namespace marigal::engine::com
