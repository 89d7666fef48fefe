// AdFilter's IDispatch: the type description of IAdFilter and the browser's
// events, which arrive through Invoke.
#include <exdispid.h>

#include <atomic>

#include "base/boundary.h"
#include "browser/page_walk.h"
#include "browser/win32/ad_filter.h"
#include "browser/win32/ansi_text.h"
#include "browser/win32/mshtml_page.h"
#include "patterns/text.h"
#include "runtime/list_supply.h"
#include "runtime/shared_state.h"

namespace tamsel {

namespace {

// Loaded once per process, with the locale of the first caller, and kept
// until the module is terminated. Objects of several browser windows (each on
// its own thread) may race to load it: the first to publish wins.
std::atomic<ITypeInfo*> g_typeInfo{nullptr};

HRESULT AdFilterTypeInfo(LCID lcid, ComPtr<ITypeInfo>* info) {
    if (ITypeInfo* shared = g_typeInfo.load()) {
        *info = shared;
        return S_OK;
    }
    ComPtr<ITypeLib> library;
    HRESULT hr = LoadRegTypeLib(kLibidTamselLib, 1, 0, lcid, library.put());
    // The library is registered in US English only; a caller of another
    // locale (LOCALE_USER_DEFAULT included) is given that one.
    constexpr LCID kLibraryLanguage = 0x0409;
    if (hr == TYPE_E_LIBNOTREGISTERED && lcid != kLibraryLanguage)
        hr = LoadRegTypeLib(kLibidTamselLib, 1, 0, kLibraryLanguage, library.put());
    if (FAILED(hr)) return hr;
    ComPtr<ITypeInfo> loaded;
    hr = library->GetTypeInfoOfGuid(kIidIAdFilter, loaded.put());
    if (FAILED(hr)) return hr;
    ITypeInfo* expected = nullptr;
    if (g_typeInfo.compare_exchange_strong(expected, loaded.get())) {
        *info = loaded;
        loaded.detach();  // the published reference
    } else {
        *info = expected;
    }
    return S_OK;
}

// The VARIANT a by-reference argument points to, or the argument itself.
VARIANT* Dereferenced(VARIANT& arg) {
    if (V_VT(&arg) == (VT_VARIANT | VT_BYREF)) return V_VARIANTREF(&arg);
    return &arg;
}

// The browser an event names: an IDispatch (or IUnknown), maybe by reference.
IUnknown* EventObject(const VARIANT& arg) {
    switch (V_VT(&arg)) {
        case VT_DISPATCH: return V_DISPATCH(&arg);
        case VT_UNKNOWN: return V_UNKNOWN(&arg);
        case VT_DISPATCH | VT_BYREF: return V_DISPATCHREF(&arg) ? *V_DISPATCHREF(&arg) : nullptr;
        case VT_UNKNOWN | VT_BYREF: return V_UNKNOWNREF(&arg) ? *V_UNKNOWNREF(&arg) : nullptr;
        default: return nullptr;
    }
}

// The URL of a DocumentComplete event as narrow text; nullopt when it has no
// text. A string is used as it is, any other value converted to one.
// Only values, never objects: converting an object to a string would call
// into it, and the browser sends a string.
bool IsPlainValue(VARTYPE type) {
    const VARTYPE base = type & VT_TYPEMASK;
    if ((type & (VT_ARRAY | VT_VECTOR)) != 0) return false;
    return base != VT_DISPATCH && base != VT_UNKNOWN && base != VT_VARIANT && base != VT_RECORD;
}

std::optional<std::string> EventUrl(VARIANT& arg) {
    VARIANT* url = Dereferenced(arg);
    if (url == nullptr || !IsPlainValue(V_VT(url))) return std::nullopt;
    if ((V_VT(url) & VT_BYREF) != 0 && V_BYREF(url) == nullptr) return std::nullopt;
    Variant copy;
    if (FAILED(VariantChangeType(copy.put(), url, 0, VT_BSTR))) return std::nullopt;
    const BSTR text = V_BSTR(copy.get());
    if (text == nullptr) return std::nullopt;
    return NarrowAnsi(text, SysStringLen(text));
}

bool IsWebUrl(const std::optional<std::string>& url) {
    // The first bytes of the text always begin characters, so a byte-wise
    // compare cannot mistake the trail byte of a double-byte character.
    return url && (StartsWithNoCase(*url, "http://") || StartsWithNoCase(*url, "https://"));
}

}  // namespace

void ReleaseAdFilterTypeInfo() { ComPtr<ITypeInfo>::Adopt(g_typeInfo.exchange(nullptr)); }

STDMETHODIMP AdFilter::GetTypeInfoCount(UINT* count) {
    if (count == nullptr) return E_POINTER;
    *count = 1;
    return S_OK;
}

STDMETHODIMP AdFilter::GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) {
    if (info == nullptr) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    ComPtr<ITypeInfo> shared;
    const HRESULT hr = AdFilterTypeInfo(lcid, &shared);
    if (FAILED(hr)) return hr;
    shared.CopyTo(info);
    return S_OK;
}

STDMETHODIMP AdFilter::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) {
    if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    ComPtr<ITypeInfo> shared;
    const HRESULT hr = AdFilterTypeInfo(lcid, &shared);
    if (FAILED(hr)) return hr;
    return DispGetIDsOfNames(shared.get(), names, count, ids);
}

STDMETHODIMP AdFilter::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) {
    // While ads are allowed every event is ignored, the quit event included.
    if (TheSharedState().AllowAds.load() != 0) return S_OK;
    if (params == nullptr) return E_INVALIDARG;
    // Ending the connection may drop the event source's reference, which can
    // be the last one: hold the object until the event is handled.
    ComPtr<IUnknown> self(controlling_);
    // Out of memory during the walk: the event is over, the page as it is.
    return AtBoundary(S_OK, [&] {
        if (id == DISPID_DOCUMENTCOMPLETE) {
            OnDocumentComplete(*params);
        } else if (id == DISPID_ONQUIT) {
            HandleQuit();
        }
        return S_OK;
    });
}

void AdFilter::OnDocumentComplete(const DISPPARAMS& params) {
    // Arguments come last first: 0 is the URL, 1 the browser that completed.
    if (params.cArgs < 2 || params.rgvarg == nullptr) return;
    if (!IsWebUrl(EventUrl(params.rgvarg[0]))) return;
    browser_.QueryFrom(EventObject(params.rgvarg[1]));
    FilterPageElements();
}

HRESULT AdFilter::FilterPageElements() {
    // A page may finish before any request of the process needed the lists.
    // When another thread's first load is slow the walk goes on with the
    // lists in place, and the sizes still count.
    ListsReady();
    const std::unique_ptr<PageDocument> page = OpenMshtmlPage(browser_.get());
    WalkPage(page.get(), TheSharedState());
    return S_OK;
}

}  // namespace tamsel
