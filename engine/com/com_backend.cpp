#include "engine/com/com_backend.h"

#include "engine/com/com_dispatch.h"

namespace marigal::engine {

using com::ComApartment;
using com::ComDispatch;
using com::ComPtr;
using com::W;

ComBackend::ComBackend() : apartment_(std::make_shared<ComApartment>()) {}

ComBackend::~ComBackend() = default;

Object ComBackend::create(const std::u16string& progId)
{
    if (!apartment_->usable()) throw EngineError(errtext::kCannotCreate);
    CLSID clsid;
    if (FAILED(CLSIDFromProgID(W(progId), &clsid))) throw EngineError(errtext::kCannotCreate);

    // An application runs as a process of its own (a local server). A helper
    // such as the file-system object exists only as a library, in process.
    ComPtr<IDispatch> d;
    const auto make = [&](DWORD where) {
        return CoCreateInstance(clsid, nullptr, where, IID_IDispatch, reinterpret_cast<void**>(d.put()));
    };
    HRESULT hr = make(CLSCTX_LOCAL_SERVER);
    if (hr == REGDB_E_CLASSNOTREG) hr = make(CLSCTX_INPROC_SERVER);  // no local server for this class
    if (FAILED(hr) || !d) throw EngineError(errtext::kCannotCreate);
    return Object(std::make_shared<ComDispatch>(std::move(d), apartment_));
}

}  // namespace marigal::engine
