#pragma once
// One automation object of the server, as the adapter's Dispatch, and the
// thread's COM set-up that every such object keeps alive. Windows only.

#include "engine/com/com_ptr.h"
#include "engine/object.h"

#include <windows.h>
#include <ole2.h>

#include <memory>
#include <string>

namespace marigal::engine::com {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows strings are UTF-16, as std::u16string");

inline const wchar_t* W(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }

// COM initialised on the constructing thread, undone when the last owner
// (the backend, or an object outliving it) lets go. Undoing it while an
// object is still held would leave that object dangling.
class ComApartment {
public:
    ComApartment();
    ~ComApartment();
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

    // False when COM could not be set up on this thread at all.
    bool usable() const { return usable_; }

private:
    bool usable_ = false;
    bool owned_ = false;  // ours to undo (it was not set up differently already)
};

class ComDispatch : public Dispatch {
public:
    // Takes over the reference `d` holds.
    ComDispatch(ComPtr<IDispatch> d, std::shared_ptr<ComApartment> apartment);

    Value invoke(const std::u16string& member, InvokeKind kind, const Args& args) override;

    IDispatch* get() const { return d_.get(); }
    const std::shared_ptr<ComApartment>& apartment() const { return apartment_; }

private:
    std::shared_ptr<ComApartment> apartment_;  // declared first: outlives d_
    ComPtr<IDispatch> d_;
};

// The text the error box shows for a failed call; `info` is the exception
// the server described, when the failure is DISP_E_EXCEPTION.
std::u16string DescribeFailure(HRESULT hr, EXCEPINFO* info = nullptr);

}  // namespace marigal::engine::com
