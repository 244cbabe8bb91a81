#pragma once
// A small owning pointer for COM interfaces held in locals: one reference,
// released when the pointer goes out of scope. Fields of the state that the
// design keeps as raw pointers stay raw; this is for the objects a function
// makes and drops; SafeRelease below is for those raw fields. Works the same
// with MSVC and MinGW (no compiler extensions).
#include <cstddef>
#include <utility>

template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Takes over a reference the caller already owns.
    static ComPtr Attach(T* p) { ComPtr c; c.p_ = p; return c; }
    ComPtr(const ComPtr& other) : p_(other.p_) { if (p_) p_->AddRef(); }
    ComPtr(ComPtr&& other) noexcept : p_(other.p_) { other.p_ = nullptr; }
    ComPtr& operator=(ComPtr other) noexcept { std::swap(p_, other.p_); return *this; }
    ~ComPtr() { Reset(); }

    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }

    // For out-parameters: drops the current reference and hands out the slot.
    T** Put() { Reset(); return &p_; }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }

    // Gives the reference to the caller (for example into a state field).
    T* Detach() { T* p = p_; p_ = nullptr; return p; }

    void Reset() {
        if (p_) {
            T* p = p_;
            p_ = nullptr;
            p->Release();
        }
    }

private:
    T* p_ = nullptr;
};

// For the raw COM fields the records keep: releases *p and clears the field
// first, so nobody sees a dangling pointer.
template <typename T>
void SafeRelease(T** p) {
    if (p && *p) {
        T* old = *p;
        *p = nullptr;
        old->Release();
    }
}
