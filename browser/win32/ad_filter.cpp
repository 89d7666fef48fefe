// AdFilter: lifetime, identity, site and event connection, toolbar command.
#include "browser/win32/ad_filter.h"

#include <exdispid.h>

#include <new>

#include "base/boundary.h"
#include "com/win32/module_lock.h"
#include "ui/user_lists.h"
#include "ui/win32/settings_dialog.h"

namespace tamsel {

AdFilter::AdFilter(IUnknown* outer) : controlling_(outer != nullptr ? outer : &inner_) { LockModule(); }

AdFilter::~AdFilter() {
    eventSource_ = nullptr;
    browser_ = nullptr;
    site_ = nullptr;
    UnlockModule();
}

HRESULT CreateAdFilterInstance(IUnknown* outer, REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (outer != nullptr && !IsEqualIID(riid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
    AdFilter* filter = new (std::nothrow) AdFilter(outer);
    if (filter == nullptr) return E_OUTOFMEMORY;
    // Hold the object while it loads and answers, so that a failed query
    // destroys it through its own count.
    filter->inner_.AddRef();
    HRESULT hr = AtBoundary(E_OUTOFMEMORY, E_UNEXPECTED, [] {
        LoadPatternTextLists();
        return S_OK;
    });
    if (SUCCEEDED(hr)) hr = filter->inner_.QueryInterface(riid, ppv);
    filter->inner_.Release();
    return hr;
}

// --- IUnknown ------------------------------------------------------------

STDMETHODIMP AdFilter::Inner::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    const bool aggregated = self_.controlling_ != this;
    if (IsEqualIID(riid, IID_IUnknown)) {
        // Aggregated, the inner unknown is ours to give only to the outer
        // object; alone, the IAdFilter interface is the object's identity.
        *ppv = aggregated ? static_cast<IUnknown*>(this) : static_cast<IAdFilter*>(&self_);
    } else if (IsEqualIID(riid, IidOf<IAdFilter>()) || IsEqualIID(riid, IID_IDispatch)) {
        *ppv = static_cast<IAdFilter*>(&self_);
    } else if (IsEqualIID(riid, IID_IObjectWithSite)) {
        *ppv = static_cast<IObjectWithSite*>(&self_);
    } else if (IsEqualIID(riid, IID_IOleCommandTarget)) {
        *ppv = static_cast<IOleCommandTarget*>(&self_);
    } else {
        return E_NOINTERFACE;
    }
    static_cast<IUnknown*>(*ppv)->AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) AdFilter::Inner::AddRef() { return static_cast<ULONG>(++refCount_); }

STDMETHODIMP_(ULONG) AdFilter::Inner::Release() {
    const LONG left = --refCount_;
    if (left == 0) delete &self_;
    return static_cast<ULONG>(left);
}

STDMETHODIMP AdFilter::QueryInterface(REFIID riid, void** ppv) { return controlling_->QueryInterface(riid, ppv); }
STDMETHODIMP_(ULONG) AdFilter::AddRef() { return controlling_->AddRef(); }
STDMETHODIMP_(ULONG) AdFilter::Release() { return controlling_->Release(); }

// --- IObjectWithSite -----------------------------------------------------

STDMETHODIMP AdFilter::SetSite(IUnknown* site) {
    // Whatever came before ends first: the event source holds this object,
    // so a connection left behind would keep both alive and walk each page
    // once more per connection.
    DisconnectEvents();
    eventSource_ = nullptr;
    site_ = site;
    browser_.QueryFrom(site);
    if (!browser_) return E_INVALIDARG;
    eventSource_.QueryFrom(browser_.get());
    if (!eventSource_) return E_POINTER;
    return ConnectEvents();
}

STDMETHODIMP AdFilter::GetSite(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (!site_) return E_FAIL;
    return site_->QueryInterface(riid, ppv);
}

// --- Events ----------------------------------------------------------------

HRESULT AdFilter::ConnectEvents() {
    if (!eventSource_) return E_POINTER;
    ComPtr<IConnectionPoint> point;
    HRESULT hr = eventSource_->FindConnectionPoint(DIID_DWebBrowserEvents2, point.put());
    if (FAILED(hr)) return hr;
    if (!point) return E_POINTER;
    DWORD cookie = 0;
    hr = point->Advise(static_cast<IAdFilter*>(this), &cookie);
    if (SUCCEEDED(hr)) eventCookie_ = cookie;
    return hr;
}

HRESULT AdFilter::DisconnectEvents() {
    if (!eventCookie_ || !eventSource_) return OLE_E_NOCONNECTION;
    // The cookie is spent whatever comes next: it is never offered twice.
    const DWORD cookie = *eventCookie_;
    eventCookie_.reset();
    ComPtr<IConnectionPoint> point;
    HRESULT hr = eventSource_->FindConnectionPoint(DIID_DWebBrowserEvents2, point.put());
    if (FAILED(hr)) return hr;
    if (!point) return E_POINTER;
    return point->Unadvise(cookie);
}

HRESULT AdFilter::HandleQuit() {
    DisconnectEvents();
    return S_OK;
}

// --- IOleCommandTarget -----------------------------------------------------

STDMETHODIMP AdFilter::QueryStatus(const GUID*, ULONG count, OLECMD commands[], OLECMDTEXT*) {
    if (commands == nullptr) return E_POINTER;
    for (ULONG i = 0; i < count; ++i) commands[i].cmdf = OLECMDF_SUPPORTED | OLECMDF_ENABLED;
    return S_OK;
}

STDMETHODIMP AdFilter::Exec(const GUID*, DWORD, DWORD option, VARIANT*, VARIANT*) {
    if (option != OLECMDEXECOPT_DODEFAULT) return S_OK;
    // Keep the object alive while the dialog's modal loop delivers events.
    ComPtr<IUnknown> self(controlling_);
    // The dialog shows no failure; neither does the button.
    return AtBoundary(S_OK, [] {
        SettingsDialog();
        return S_OK;
    });
}

}  // namespace tamsel
