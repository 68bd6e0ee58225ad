#pragma once
// Owns one reference to a COM interface: released exactly once, whichever
// way the owner goes. Needs nothing of the interface but AddRef and Release,
// so it builds (and is tested) without the Windows headers.

#include <utility>

namespace marigal::engine::com {

template <class T>
class ComPtr {
public:
    ComPtr() = default;
    // Takes over a reference the caller owns, as a creating call hands it out.
    static ComPtr adopt(T* p)
    {
        ComPtr c;
        c.p_ = p;
        return c;
    }
    // Keeps a pointer the caller merely borrows, e.g. one inside a VARIANT
    // that is cleared afterwards.
    static ComPtr share(T* p)
    {
        if (p) p->AddRef();
        return adopt(p);
    }

    ComPtr(const ComPtr& o) : p_(o.p_)
    {
        if (p_) p_->AddRef();
    }
    ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    ComPtr& operator=(ComPtr o) noexcept
    {
        std::swap(p_, o.p_);
        return *this;
    }
    ~ComPtr() { reset(); }

    void reset()
    {
        if (T* p = std::exchange(p_, nullptr)) p->Release();
    }

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }

    // The slot for an out-parameter; whatever was held is released first.
    T** put()
    {
        reset();
        return &p_;
    }

private:
    T* p_ = nullptr;
};

}  // namespace marigal::engine::com
