#pragma once
// One counted reference on a COM interface, given back when the holder goes: the client's own
// code keeps every interface reference it holds in a ComPtr, so no path (an early return, a
// failed step) leaves one behind or gives one back twice. The same code on every back end:
// T is any IUnknown-derived interface (fw/com.h), or an object that implements several of
// them with AddRef and Release of its own.
#include <cstddef>
#include <utility>

#include "fw/com.h"

namespace fw {

template <class T>
class ComPtr;

// The interface `iid` of the object behind p as U, with a reference of its own; null when p
// is null or the object does not offer it. p's own count is not touched otherwise.
template <class U, class T>
ComPtr<U> QueryAs(T* p, REFIID iid);

template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Adds a reference of the holder's own; Attach takes one over instead.
    explicit ComPtr(T* p) : p_(p) {
        if (p_) p_->AddRef();
    }
    ComPtr(const ComPtr& o) : ComPtr(o.p_) {}
    ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    ~ComPtr() { Reset(); }

    ComPtr& operator=(const ComPtr& o) {
        ComPtr(o).Swap(*this);  // the new reference first: assigning the same object keeps it alive
        return *this;
    }
    ComPtr& operator=(ComPtr&& o) noexcept {
        ComPtr(std::move(o)).Swap(*this);
        return *this;
    }
    ComPtr& operator=(std::nullptr_t) {
        Reset();
        return *this;
    }

    // Gives the reference back. The pointer is null before Release runs, so whatever the
    // release sets off (the object's deletion, calls back into the holder) finds it empty.
    void Reset() {
        if (T* old = std::exchange(p_, nullptr)) old->Release();
    }
    // Takes over a reference the caller already holds (a creator's first, an out-parameter's).
    void Attach(T* p) {
        T* old = std::exchange(p_, p);
        if (old) old->Release();
    }
    // Hands the reference to the caller, who gives it back.
    [[nodiscard]] T* Detach() { return std::exchange(p_, nullptr); }
    // For a call that hands out a reference through a T** parameter: whatever was held is
    // given back first.
    [[nodiscard]] T** Put() {
        Reset();
        return &p_;
    }
    void Swap(ComPtr& o) noexcept { std::swap(p_, o.p_); }

    // The object's interface `iid` as U, with a reference of its own; null when the object
    // does not offer it (or this holds nothing).
    template <class U>
    ComPtr<U> As(REFIID iid) const {
        return QueryAs<U>(p_, iid);
    }

    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    T& operator*() const { return *p_; }
    explicit operator bool() const { return p_ != nullptr; }

    friend bool operator==(const ComPtr& a, const ComPtr& b) { return a.p_ == b.p_; }
    friend bool operator==(const ComPtr& a, std::nullptr_t) { return a.p_ == nullptr; }

private:
    T* p_ = nullptr;
};

template <class U, class T>
ComPtr<U> QueryAs(T* p, REFIID iid) {
    ComPtr<U> out;
    void* q = nullptr;
    if (p && SUCCEEDED(p->QueryInterface(iid, &q)) && q) out.Attach(static_cast<U*>(q));
    return out;
}

}  // namespace fw
