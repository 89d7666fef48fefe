// AdFilter, the module's one COM class: the browser helper object of each
// browser window (IObjectWithSite, events through IDispatch::Invoke) and the
// toolbar button's command target (IOleCommandTarget).
#pragma once

#include <windows.h>
#include <docobj.h>
#include <exdisp.h>
#include <ocidl.h>

#include <optional>

#include "com/win32/com_ptr.h"
#include "com/win32/guids.h"

// The class's own dual interface. It declares no members: it exists so that
// the class has a described IDispatch.
struct IAdFilter : public IDispatch {};

namespace tamsel {

template <>
inline const IID& IidOf<IAdFilter>() {
    return kIidIAdFilter;
}

// Creates an AdFilter as its class object must: E_POINTER for a null `ppv`
// (set to null first otherwise); CLASS_E_NOAGGREGATION for an outer object
// with any interface but IUnknown; E_OUTOFMEMORY; else the answer of the new
// object for `riid`, which is destroyed again when it has none.
HRESULT CreateAdFilterInstance(IUnknown* outer, REFIID riid, void** ppv);

// Releases the type description the objects share. Run when the module is
// terminated; a later use loads it again.
void ReleaseAdFilterTypeInfo();

class AdFilter final : public IObjectWithSite, public IOleCommandTarget, public IAdFilter {
public:
    AdFilter(const AdFilter&) = delete;
    AdFilter& operator=(const AdFilter&) = delete;

    // IUnknown of every interface below: the controlling object's.
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IObjectWithSite
    STDMETHODIMP SetSite(IUnknown* site) override;
    STDMETHODIMP GetSite(REFIID riid, void** ppv) override;

    // IOleCommandTarget
    STDMETHODIMP QueryStatus(const GUID* group, ULONG count, OLECMD commands[], OLECMDTEXT* text) override;
    STDMETHODIMP Exec(const GUID* group, DWORD id, DWORD option, VARIANT* in, VARIANT* out) override;

    // IDispatch (IAdFilter)
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* argError) override;

    HRESULT HandleQuit();
    HRESULT ConnectEvents();
    HRESULT DisconnectEvents();
    HRESULT FilterPageElements();

private:
    friend HRESULT CreateAdFilterInstance(IUnknown* outer, REFIID riid, void** ppv);

    // The non-delegating IUnknown: it owns the count and answers for the
    // object when an outer object aggregates it.
    class Inner : public IUnknown {
    public:
        explicit Inner(AdFilter& self) : self_(self) {}
        STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
        STDMETHODIMP_(ULONG) AddRef() override;
        STDMETHODIMP_(ULONG) Release() override;

    private:
        AdFilter& self_;
        LONG refCount_ = 0;  // apartment-threaded: one thread only
    };

    explicit AdFilter(IUnknown* outer);
    ~AdFilter();

    void OnDocumentComplete(const DISPPARAMS& params);

    Inner inner_{*this};
    IUnknown* const controlling_;  // the outer object, or inner_
    // Released in reverse order at destruction: eventSource, browser, site.
    ComPtr<IUnknown> site_;
    ComPtr<IWebBrowser2> browser_;
    ComPtr<IConnectionPointContainer> eventSource_;
    std::optional<DWORD> eventCookie_;  // set only while connected
};

}  // namespace tamsel
