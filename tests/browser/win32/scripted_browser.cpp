#include "scripted_browser.h"

#include <exdispid.h>

namespace tamsel::testing {

namespace {

std::string Narrow(const std::optional<std::wstring>& text) {
    if (!text) return "(null)";
    return std::string(text->begin(), text->end());  // the tests use ASCII only
}

std::string Narrow(BSTR text) { return text ? Narrow(std::optional<std::wstring>(text)) : "(null)"; }

HRESULT GiveText(HRESULT result, const std::optional<std::wstring>& text, BSTR* out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (FAILED(result)) return result;
    if (text) *out = SysAllocString(text->c_str());
    return S_OK;
}

// --- img ---------------------------------------------------------------

HRESULT STDMETHODCALLTYPE ImgGetSrc(Face* f, BSTR* out) {
    auto& img = Self<FakeImg>(f);
    return GiveText(img.srcResult, img.src, out);
}
HRESULT STDMETHODCALLTYPE ImgGetWidth(Face* f, LONG* out) {
    auto& img = Self<FakeImg>(f);
    *out = img.width;
    return img.widthResult;
}
HRESULT STDMETHODCALLTYPE ImgGetHeight(Face* f, LONG* out) {
    auto& img = Self<FakeImg>(f);
    *out = img.height;
    return img.heightResult;
}
HRESULT STDMETHODCALLTYPE ImgPutWidth(Face* f, LONG v) {
    auto& img = Self<FakeImg>(f);
    img.log.push_back(img.name + " width=" + std::to_string(v));
    return S_OK;
}
HRESULT STDMETHODCALLTYPE ImgPutHeight(Face* f, LONG v) {
    auto& img = Self<FakeImg>(f);
    img.log.push_back(img.name + " height=" + std::to_string(v));
    return S_OK;
}
HRESULT STDMETHODCALLTYPE ImgPutAlt(Face* f, BSTR v) {
    auto& img = Self<FakeImg>(f);
    img.log.push_back(img.name + " alt=" + Narrow(v));
    return S_OK;
}

const VTable& ImgTable() {
    static const VTable table = VTable()
                                    .Set(&IHTMLImgElement::get_src, &ImgGetSrc)
                                    .Set(&IHTMLImgElement::get_width, &ImgGetWidth)
                                    .Set(&IHTMLImgElement::get_height, &ImgGetHeight)
                                    .Set(&IHTMLImgElement::put_width, &ImgPutWidth)
                                    .Set(&IHTMLImgElement::put_height, &ImgPutHeight)
                                    .Set(&IHTMLImgElement::put_alt, &ImgPutAlt);
    return table;
}

// --- object and embed ------------------------------------------------------

template <class Interface>
struct PluginEntries {
    using Plugin = FakePlugin<Interface>;
    static HRESULT Give(const FakeSize& size, VARIANT* out) {
        VariantInit(out);
        if (FAILED(size.result)) return size.result;
        V_VT(out) = size.type;
        if (size.type == VT_BSTR) V_BSTR(out) = size.text ? SysAllocString(size.text->c_str()) : nullptr;
        if (size.type == VT_I4) V_I4(out) = size.number;
        return S_OK;
    }
    static void Log(Plugin& p, const char* what, const VARIANT& v) {
        p.log.push_back(p.name + " " + what + "=" + (V_VT(&v) == VT_EMPTY ? "empty" : "other"));
    }
    static HRESULT STDMETHODCALLTYPE GetWidth(Face* f, VARIANT* out) { return Give(Self<Plugin>(f).width, out); }
    static HRESULT STDMETHODCALLTYPE GetHeight(Face* f, VARIANT* out) { return Give(Self<Plugin>(f).height, out); }
    static HRESULT STDMETHODCALLTYPE PutWidth(Face* f, VARIANT v) {
        Log(Self<Plugin>(f), "width", v);
        return S_OK;
    }
    static HRESULT STDMETHODCALLTYPE PutHeight(Face* f, VARIANT v) {
        Log(Self<Plugin>(f), "height", v);
        return S_OK;
    }
    static const VTable& Table() {
        static const VTable table = VTable()
                                        .Set(&Interface::get_width, &GetWidth)
                                        .Set(&Interface::get_height, &GetHeight)
                                        .Set(&Interface::put_width, &PutWidth)
                                        .Set(&Interface::put_height, &PutHeight);
        return table;
    }
};

// --- iframe ------------------------------------------------------------------

HRESULT STDMETHODCALLTYPE FrameGetSrc(Face* f, BSTR* out) {
    auto& frame = Self<FakeFrame>(f);
    return GiveText(frame.srcResult, frame.src, out);
}
HRESULT STDMETHODCALLTYPE FramePutSrc(Face* f, BSTR v) {
    auto& frame = Self<FakeFrame>(f);
    frame.log.push_back(frame.name + " src=" + Narrow(v));
    return S_OK;
}

const VTable& FrameTable() {
    static const VTable table =
        VTable().Set(&IHTMLFrameBase::get_src, &FrameGetSrc).Set(&IHTMLFrameBase::put_src, &FramePutSrc);
    return table;
}

// --- collections and the document ----------------------------------------------

HRESULT STDMETHODCALLTYPE CollectionGetLength(Face* f, LONG* out) {
    auto& c = Self<FakeCollection>(f);
    *out = static_cast<LONG>(c.items.size());
    return c.lengthResult;
}

HRESULT GiveObject(FakeObject* object, IDispatch** out) {
    *out = nullptr;
    if (object == nullptr) return S_OK;
    return object->Query(IID_IDispatch, reinterpret_cast<void**>(out));
}

HRESULT STDMETHODCALLTYPE CollectionItem(Face* f, VARIANT name, VARIANT index, IDispatch** out) {
    auto& c = Self<FakeCollection>(f);
    *out = nullptr;
    if (V_VT(&name) != VT_I4 || V_VT(&index) != VT_EMPTY) c.badArguments = true;
    const LONG i = V_I4(&name);
    if (i < 0 || i >= static_cast<LONG>(c.items.size()) || c.items[i] == nullptr) return E_INVALIDARG;
    return GiveObject(c.items[i], out);
}

HRESULT STDMETHODCALLTYPE CollectionTags(Face* f, VARIANT tag, IDispatch** out) {
    auto& c = Self<FakeCollection>(f);
    *out = nullptr;
    if (V_VT(&tag) != VT_BSTR || V_BSTR(&tag) == nullptr) {
        c.badArguments = true;
        return E_INVALIDARG;
    }
    const std::wstring name = V_BSTR(&tag);
    c.askedTags.push_back(name);
    if (c.failingTags.count(name)) return E_FAIL;
    const auto found = c.byTag.find(name);
    return GiveObject(found == c.byTag.end() ? nullptr : found->second, out);
}

const VTable& CollectionTable() {
    static const VTable table = VTable()
                                    .Set(&IHTMLElementCollection::get_length, &CollectionGetLength)
                                    .Set(&IHTMLElementCollection::item, &CollectionItem)
                                    .Set(&IHTMLElementCollection::tags, &CollectionTags);
    return table;
}

HRESULT STDMETHODCALLTYPE DocumentGetAll(Face* f, IHTMLElementCollection** out) {
    auto& document = Self<FakeDocument>(f);
    return document.all.Query(IID_IHTMLElementCollection, reinterpret_cast<void**>(out));
}

const VTable& DocumentTable() {
    static const VTable table = VTable().Set(&IHTMLDocument2::get_all, &DocumentGetAll);
    return table;
}

const VTable& PlainTable() {
    static const VTable table;
    return table;
}

}  // namespace

FakeImg::FakeImg(ChangeLog& l, std::string n, std::optional<std::wstring> s, LONG w, LONG h)
    : src(std::move(s)), width(w), height(h), log(l), name(std::move(n)) {
    Offer(IID_IDispatch, ImgTable());
    Offer(IID_IHTMLImgElement, ImgTable());
}

template <class Interface>
FakePlugin<Interface>::FakePlugin(ChangeLog& l, std::string n, FakeSize w, FakeSize h)
    : width(std::move(w)), height(std::move(h)), log(l), name(std::move(n)) {
    Offer(IID_IDispatch, PluginEntries<Interface>::Table());
    Offer(IidOf<Interface>(), PluginEntries<Interface>::Table());
}
template class FakePlugin<IHTMLObjectElement>;
template class FakePlugin<IHTMLEmbedElement>;

FakeFrame::FakeFrame(ChangeLog& l, std::string n, std::optional<std::wstring> s)
    : src(std::move(s)), log(l), name(std::move(n)) {
    Offer(IID_IDispatch, FrameTable());
    Offer(IID_IHTMLFrameBase, FrameTable());
}

FakePlain::FakePlain() { Offer(IID_IDispatch, PlainTable()); }

FakeCollection::FakeCollection() {
    Offer(IID_IDispatch, CollectionTable());
    Offer(IID_IHTMLElementCollection, CollectionTable());
}

FakeDocument::FakeDocument(bool html) {
    Offer(IID_IDispatch, html ? DocumentTable() : PlainTable());
    if (html) Offer(IID_IHTMLDocument2, DocumentTable());
}

}  // namespace tamsel::testing
