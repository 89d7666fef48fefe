#include "com/win32/class_factory.h"

#include <new>
#include <utility>

#include "base/boundary.h"
#include "com/win32/module_lock.h"

namespace tamsel {

STDMETHODIMP ClassFactory::QueryInterface(REFIID riid, void** ppv) noexcept {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IClassFactory)) return E_NOINTERFACE;
    *ppv = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) ClassFactory::AddRef() noexcept {
    std::lock_guard lock(refMutex_);
    if (++refCount_ == 2) LockModule();
    return refCount_;
}

STDMETHODIMP_(ULONG) ClassFactory::Release() noexcept {
    ULONG count;
    {
        std::lock_guard lock(refMutex_);
        count = --refCount_;
        if (count == 1) UnlockModule();
    }
    if (count == 0) delete this;
    return count;
}

STDMETHODIMP ClassFactory::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) noexcept {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (outer != nullptr && !IsEqualIID(riid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
    const HRESULT hr = AtBoundary(E_OUTOFMEMORY, E_UNEXPECTED, [&] { return creator_(outer, riid, ppv); });
    if (FAILED(hr)) *ppv = nullptr;
    return hr;
}

STDMETHODIMP ClassFactory::LockServer(BOOL lock) noexcept {
    if (lock) {
        LockModule();
    } else {
        UnlockModule();
    }
    return S_OK;
}

HRESULT ClassObjectSlot::Get(REFIID riid, void** ppv) noexcept {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    std::lock_guard lock(mutex_);
    if (kept_ == nullptr) {
        kept_ = new (std::nothrow) ClassFactory(creator_);
        if (kept_ == nullptr) return E_OUTOFMEMORY;
    }
    return kept_->QueryInterface(riid, ppv);
}

void ClassObjectSlot::Release() noexcept {
    ClassFactory* kept;
    {
        std::lock_guard lock(mutex_);
        kept = std::exchange(kept_, nullptr);
    }
    if (kept != nullptr) kept->Release();
}

}  // namespace tamsel
