// Owners for COM references, BSTRs and VARIANTs.
//
// ComPtr<T> holds one reference. Assigning a pointer adds a reference to the
// new object before releasing the old one (so assigning an object to itself
// is safe); a query-assign stores null when the source does not offer the
// interface. The interface identifier comes from IidOf<T>(), which is
// __uuidof(T) unless the interface's header specialises it.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <cstddef>
#include <utility>

#include "base/unique_any.h"

namespace tamsel {

template <class T>
inline const IID& IidOf() {
    return __uuidof(T);
}

template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Shares `p`: adds a reference of its own.
    explicit ComPtr(T* p) : p_(p) {
        if (p_) p_->AddRef();
    }
    ComPtr(const ComPtr& other) : ComPtr(other.p_) {}
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ~ComPtr() { reset(); }

    ComPtr& operator=(const ComPtr& other) { return *this = other.p_; }
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            reset();
            p_ = std::exchange(other.p_, nullptr);
        }
        return *this;
    }
    ComPtr& operator=(T* p) {
        if (p) p->AddRef();
        T* old = std::exchange(p_, p);
        if (old) old->Release();
        return *this;
    }
    ComPtr& operator=(std::nullptr_t) {
        reset();
        return *this;
    }

    // Takes over a reference the caller already owns.
    static ComPtr Adopt(T* p) {
        ComPtr result;
        result.p_ = p;
        return result;
    }

    // Query-assign: this holds the answer of `source` for T, or null when
    // the source is null or does not offer T. Returns the query's result.
    HRESULT QueryFrom(IUnknown* source) {
        T* answer = nullptr;
        HRESULT hr = E_NOINTERFACE;
        if (source) hr = source->QueryInterface(IidOf<T>(), reinterpret_cast<void**>(&answer));
        if (FAILED(hr)) answer = nullptr;
        reset();
        p_ = answer;
        return hr;
    }

    void reset() {
        if (T* old = std::exchange(p_, nullptr)) old->Release();
    }
    // For an out-parameter: drops the current object and lends the slot.
    T** put() {
        reset();
        return &p_;
    }
    // For an out-parameter typed void** or IUnknown**.
    void** put_void() { return reinterpret_cast<void**>(put()); }
    T* detach() { return std::exchange(p_, nullptr); }

    // Hands a new reference to an out-parameter (null stays null).
    void CopyTo(T** out) const {
        if (p_) p_->AddRef();
        *out = p_;
    }

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }

private:
    T* p_ = nullptr;
};

// One BSTR; null is a valid value and stays distinct from the empty string.
class Bstr : public UniqueAny<BSTR, &SysFreeString> {
public:
    Bstr() = default;
    explicit Bstr(const wchar_t* text) : UniqueAny(text ? SysAllocString(text) : nullptr) {}
    UINT length() const { return get() ? SysStringLen(get()) : 0; }
};

// One VARIANT, cleared when it goes or is reused.
class Variant {
public:
    Variant() { VariantInit(&v_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    ~Variant() { VariantClear(&v_); }

    // Clears the value and lends the record for an out-parameter.
    VARIANT* put() {
        VariantClear(&v_);
        return &v_;
    }
    VARIANT* get() { return &v_; }
    const VARIANT* get() const { return &v_; }
    VARTYPE type() const { return V_VT(&v_); }

private:
    VARIANT v_;
};

}  // namespace tamsel
