#pragma once
// The adapter's values as VARIANTs and back, and the argument block of one
// automation call. Windows only; where each argument goes is decided by
// LayOut (call_layout.h), here only carried out.

#include "engine/com/call_layout.h"
#include "engine/com/com_dispatch.h"

#include <vector>

namespace marigal::engine::com {

// A VARIANT cleared (its string freed, its object released) when it goes.
struct OwnedVariant {
    VARIANT v;
    OwnedVariant() { VariantInit(&v); }
    ~OwnedVariant() { VariantClear(&v); }
    OwnedVariant(const OwnedVariant&) = delete;
    OwnedVariant& operator=(const OwnedVariant&) = delete;
};

// The DISPPARAMS of one Invoke. Owns every string it allocated and every
// object reference it took, and gives them back when it goes.
class CallArgs {
public:
    // `ids`: what GetIDsOfNames answered for layout.names, index for index.
    // Raises "Type mismatch" for an object that is not a COM object.
    CallArgs(const Args& args, const CallLayout& layout, const std::vector<DISPID>& ids);
    ~CallArgs() { clear(); }
    CallArgs(const CallArgs&) = delete;
    CallArgs& operator=(const CallArgs&) = delete;

    DISPPARAMS* params() { return &params_; }

private:
    void clear();

    std::vector<VARIANT> vars_;
    std::vector<DISPID> namedIds_;
    // The strings passed by reference, which the variants point into: sized
    // once and never moved. The server may replace one; whatever is there at
    // the end is freed.
    std::vector<BSTR> refs_;
    DISPPARAMS params_{};
};

// A result as the adapter's value; an object keeps `apartment` alive.
// Raises "Type mismatch" for a result that has no text form.
Value FromVariant(const VARIANT& v, const std::shared_ptr<ComApartment>& apartment);

}  // namespace marigal::engine::com
