// The browser half of the scripted browser: get_Document and the
// DWebBrowserEvents2 connection point.
#include <exdispid.h>

#include "scripted_browser.h"

namespace tamsel::testing {

namespace {

HRESULT STDMETHODCALLTYPE BrowserGetDocument(Face* f, IDispatch** out) {
    auto& browser = Self<FakeBrowser>(f);
    *out = nullptr;
    if (FAILED(browser.documentResult)) return browser.documentResult;
    if (browser.document) {
        browser.document->AddRef();
        *out = browser.document;
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FindConnectionPoint(Face* f, REFIID iid, IConnectionPoint** out) {
    auto& browser = Self<FakeBrowser>(f);
    *out = nullptr;
    if (!IsEqualIID(iid, DIID_DWebBrowserEvents2)) return CONNECT_E_NOCONNECTION;
    return browser.events.Query(IID_IConnectionPoint, reinterpret_cast<void**>(out));
}

HRESULT STDMETHODCALLTYPE Advise(Face* f, IUnknown* sink, DWORD* cookie) {
    auto& point = Self<FakeConnectionPoint>(f);
    *cookie = 0;
    ++point.advises;
    // The browser calls its sinks through IDispatch.
    ComPtr<IDispatch> dispatch;
    if (sink == nullptr || FAILED(dispatch.QueryFrom(sink))) return CONNECT_E_CANNOTCONNECT;
    *cookie = point.nextCookie++;
    point.sinks[*cookie] = std::move(dispatch);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE Unadvise(Face* f, DWORD cookie) {
    auto& point = Self<FakeConnectionPoint>(f);
    ++point.unadvises;
    // Moved out before erasing: releasing the sink may re-enter the point.
    const auto found = point.sinks.find(cookie);
    if (found == point.sinks.end()) {
        ++point.badUnadvises;
        return CONNECT_E_NOCONNECTION;
    }
    ComPtr<IDispatch> sink = std::move(found->second);
    point.sinks.erase(found);
    return S_OK;
}

const VTable& BrowserTable() {
    static const VTable table = VTable().Set(&IWebBrowser2::get_Document, &BrowserGetDocument);
    return table;
}

const VTable& ContainerTable() {
    static const VTable table = VTable().Set(&IConnectionPointContainer::FindConnectionPoint, &FindConnectionPoint);
    return table;
}

const VTable& PointTable() {
    static const VTable table =
        VTable().Set(&IConnectionPoint::Advise, &Advise).Set(&IConnectionPoint::Unadvise, &Unadvise);
    return table;
}

}  // namespace

FakeConnectionPoint::FakeConnectionPoint() { Offer(IID_IConnectionPoint, PointTable()); }

void FakeConnectionPoint::Fire(DISPID id, DISPPARAMS* params) {
    std::vector<ComPtr<IDispatch>> targets;
    for (const auto& [cookie, sink] : sinks) targets.push_back(sink);
    for (const auto& sink : targets) sink->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, params, nullptr, nullptr, nullptr);
}

FakeBrowser::FakeBrowser(bool withEvents) {
    Offer(IID_IWebBrowser2, BrowserTable());
    Offer(IID_IDispatch, BrowserTable());
    if (withEvents) Offer(IID_IConnectionPointContainer, ContainerTable());
}

void FakeBrowser::FireDocumentComplete(FakeBrowser& which, const wchar_t* url) {
    // As the browser sends it: the arguments last first, the URL by reference.
    Bstr text(url);
    VARIANT urlValue;
    VariantInit(&urlValue);
    V_VT(&urlValue) = VT_BSTR;
    V_BSTR(&urlValue) = text.get();
    VARIANT args[2];
    VariantInit(&args[0]);
    V_VT(&args[0]) = VT_VARIANT | VT_BYREF;
    V_VARIANTREF(&args[0]) = &urlValue;
    VariantInit(&args[1]);
    V_VT(&args[1]) = VT_DISPATCH;
    V_DISPATCH(&args[1]) = which.As<IDispatch>();
    DISPPARAMS params = {args, nullptr, 2, 0};
    events.Fire(DISPID_DOCUMENTCOMPLETE, &params);
}

void FakeBrowser::FireQuit() {
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    events.Fire(DISPID_ONQUIT, &none);
}

}  // namespace tamsel::testing
