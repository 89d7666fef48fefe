// The class object of a COM class: IClassFactory over a function that makes
// the instances, and the slot in which the module keeps it.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <mutex>

namespace tamsel {

// Makes one instance, aggregated when `outer` is given, and answers it for
// `riid`; E_OUTOFMEMORY when it cannot be made.
using InstanceCreator = HRESULT (*)(IUnknown* outer, REFIID riid, void** ppv);

class ClassFactory final : public IClassFactory {
public:
    // Starts with one reference, the creator's.
    explicit ClassFactory(InstanceCreator creator) : creator_(creator) {}
    ClassFactory(const ClassFactory&) = delete;
    ClassFactory& operator=(const ClassFactory&) = delete;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) noexcept override;
    // References beyond the first hold one count of the module lock, so the
    // module stays while anyone but its keeper holds the class object.
    STDMETHODIMP_(ULONG) AddRef() noexcept override;
    STDMETHODIMP_(ULONG) Release() noexcept override;

    // An outer object may ask only for IUnknown: an aggregated object must
    // hand its controlling object the inner IUnknown and nothing else.
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) noexcept override;
    // Nonzero adds one to the module lock count, zero takes one away.
    STDMETHODIMP LockServer(BOOL lock) noexcept override;

private:
    ~ClassFactory() = default;

    const InstanceCreator creator_;
    std::mutex refMutex_;  // the count is shared by every apartment
    ULONG refCount_ = 1;
};

// The class object of one class, made on first request and kept until the
// module ends.
class ClassObjectSlot {
public:
    explicit ClassObjectSlot(InstanceCreator creator) : creator_(creator) {}
    ClassObjectSlot(const ClassObjectSlot&) = delete;
    ClassObjectSlot& operator=(const ClassObjectSlot&) = delete;

    // The kept class object's answer for `riid`; *ppv is null on failure.
    HRESULT Get(REFIID riid, void** ppv) noexcept;
    // Drops the kept reference; a later Get makes a new class object.
    void Release() noexcept;

private:
    const InstanceCreator creator_;
    std::mutex mutex_;
    ClassFactory* kept_ = nullptr;  // one reference, the slot's
};

}  // namespace tamsel
