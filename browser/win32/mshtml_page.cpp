#include "browser/win32/mshtml_page.h"

#include <mshtml.h>

#include <cwchar>
#include <new>

#include "browser/win32/ansi_text.h"
#include "com/win32/com_ptr.h"

namespace tamsel {

namespace {

// A source URL as a string property gives it: absent stays absent, and a
// text the code page cannot carry or lower-case fails the read.
SourceRead ReadSource(HRESULT hr, const Bstr& value) {
    SourceRead result;
    if (FAILED(hr)) return result;
    if (value.get() == nullptr) {
        result.status = SourceRead::Status::Absent;
        return result;
    }
    // The lists see the URL up to its first NUL; the markers must see the
    // same text, not what hides behind it.
    const UINT length = static_cast<UINT>(wcsnlen(value.get(), value.length()));
    std::optional<std::string> narrow = NarrowAnsi(value.get(), length);
    if (!narrow || !LowerAnsi(*narrow)) return result;
    result.status = SourceRead::Status::Present;
    result.text = std::move(*narrow);
    return result;
}

// The source of an image or frame, both of which give it as their "src".
template <class Element>
SourceRead ReadSourceOf(const ComPtr<Element>& element) {
    Bstr src;
    const HRESULT hr = element->get_src(src.put());
    return ReadSource(hr, src);
}

class MshtmlImage : public ImageElement {
public:
    explicit MshtmlImage(ComPtr<IHTMLImgElement> image) : image_(std::move(image)) {}
    SourceRead Source() override { return ReadSourceOf(image_); }
    std::optional<int32_t> Width() override { return Pixels(&IHTMLImgElement::get_width); }
    std::optional<int32_t> Height() override { return Pixels(&IHTMLImgElement::get_height); }
    void PutWidth(int32_t pixels) override { image_->put_width(pixels); }
    void PutHeight(int32_t pixels) override { image_->put_height(pixels); }
    void PutEmptyAlt() override { image_->put_alt(nullptr); }

private:
    std::optional<int32_t> Pixels(HRESULT (STDMETHODCALLTYPE IHTMLImgElement::*get)(LONG*)) {
        LONG value = 0;
        if (FAILED((image_.get()->*get)(&value))) return std::nullopt;
        return static_cast<int32_t>(value);
    }
    ComPtr<IHTMLImgElement> image_;
};

// "object" and "embed" elements: the same four properties on two interfaces.
template <class Interface>
class MshtmlPlugin : public PluginElement {
public:
    explicit MshtmlPlugin(ComPtr<Interface> plugin) : plugin_(std::move(plugin)) {}
    std::optional<PluginSize> Width() override { return Size(&Interface::get_width); }
    std::optional<PluginSize> Height() override { return Size(&Interface::get_height); }
    void PutEmptyWidth() override { plugin_->put_width(EmptyVariant()); }
    void PutEmptyHeight() override { plugin_->put_height(EmptyVariant()); }

private:
    static VARIANT EmptyVariant() {
        VARIANT empty;
        VariantInit(&empty);
        return empty;
    }
    std::optional<PluginSize> Size(HRESULT (STDMETHODCALLTYPE Interface::*get)(VARIANT*)) {
        Variant value;
        if (FAILED((plugin_.get()->*get)(value.put()))) return std::nullopt;
        PluginSize size;
        const VARIANT* v = value.get();
        if (V_VT(v) == VT_BSTR && V_BSTR(v) != nullptr) {
            size.text = NarrowAnsi(V_BSTR(v), SysStringLen(V_BSTR(v)));
            // Text the code page cannot carry is no size of ours.
        }
        return size;
    }
    ComPtr<Interface> plugin_;
};

class MshtmlFrame : public FrameElement {
public:
    explicit MshtmlFrame(ComPtr<IHTMLFrameBase> frame) : frame_(std::move(frame)) {}
    SourceRead Source() override { return ReadSourceOf(frame_); }
    void PutEmptySource() override { frame_->put_src(nullptr); }

private:
    ComPtr<IHTMLFrameBase> frame_;
};

// The elements of one tag name; Made wraps the kind's interface.
template <class Element, class Interface, class Made>
class MshtmlList : public ElementList<Element> {
public:
    explicit MshtmlList(ComPtr<IHTMLElementCollection> list) : list_(std::move(list)) {}
    std::optional<int32_t> Length() override {
        LONG length = 0;
        if (FAILED(list_->get_length(&length))) return std::nullopt;
        return static_cast<int32_t>(length);
    }
    std::unique_ptr<Element> Item(int32_t index) override {
        VARIANT name;
        VariantInit(&name);
        V_VT(&name) = VT_I4;
        V_I4(&name) = index;
        VARIANT none;
        VariantInit(&none);
        ComPtr<IDispatch> item;
        if (FAILED(list_->item(name, none, item.put()))) return nullptr;
        ComPtr<Interface> element;
        element.QueryFrom(item.get());
        if (!element) return nullptr;
        return std::make_unique<Made>(std::move(element));
    }

private:
    ComPtr<IHTMLElementCollection> list_;
};

class MshtmlPage : public PageDocument {
public:
    explicit MshtmlPage(ComPtr<IHTMLElementCollection> all) : all_(std::move(all)) {}
    Tags<ImageElement> Images() override { return Ask<ImageElement, IHTMLImgElement, MshtmlImage>(L"img"); }
    Tags<PluginElement> Objects() override {
        return Ask<PluginElement, IHTMLObjectElement, MshtmlPlugin<IHTMLObjectElement>>(L"object");
    }
    Tags<PluginElement> Embeds() override {
        return Ask<PluginElement, IHTMLEmbedElement, MshtmlPlugin<IHTMLEmbedElement>>(L"embed");
    }
    Tags<FrameElement> Frames() override { return Ask<FrameElement, IHTMLFrameBase, MshtmlFrame>(L"iframe"); }

private:
    template <class Element, class Interface, class Made>
    Tags<Element> Ask(const wchar_t* tagName) {
        Tags<Element> tags;
        Bstr name(tagName);
        if (name.get() == nullptr) throw std::bad_alloc();
        VARIANT arg;
        VariantInit(&arg);
        V_VT(&arg) = VT_BSTR;
        V_BSTR(&arg) = name.get();  // lent: `name` frees it
        ComPtr<IDispatch> found;
        if (FAILED(all_->tags(arg, found.put()))) {
            tags.failed = true;
            return tags;
        }
        ComPtr<IHTMLElementCollection> list;
        list.QueryFrom(found.get());
        if (list) tags.list = std::make_unique<MshtmlList<Element, Interface, Made>>(std::move(list));
        return tags;
    }
    ComPtr<IHTMLElementCollection> all_;
};

}  // namespace

std::unique_ptr<PageDocument> OpenMshtmlPage(IWebBrowser2* browser) {
    if (browser == nullptr) return nullptr;
    ComPtr<IDispatch> document;
    if (FAILED(browser->get_Document(document.put())) || !document) return nullptr;
    ComPtr<IHTMLDocument2> html;
    html.QueryFrom(document.get());
    if (!html) return nullptr;
    ComPtr<IHTMLElementCollection> all;
    if (FAILED(html->get_all(all.put())) || !all) return nullptr;
    return std::make_unique<MshtmlPage>(std::move(all));
}

}  // namespace tamsel
