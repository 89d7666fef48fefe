// A scripted browser and its page, behind the interfaces AdFilter uses:
// IWebBrowser2::get_Document, a connection point for DWebBrowserEvents2, an
// HTML document with its "all" collection, and image, object, embed and
// inline frame elements. Every change made to an element is logged.
#pragma once

#include <exdisp.h>
#include <mshtml.h>
#include <ocidl.h>

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "fake_com.h"

namespace tamsel::testing {

using ChangeLog = std::vector<std::string>;

class FakeImg : public FakeObject {
public:
    FakeImg(ChangeLog& log, std::string name, std::optional<std::wstring> src, LONG width, LONG height);
    std::optional<std::wstring> src;  // nullopt: a null string
    LONG width, height;
    HRESULT srcResult = S_OK, widthResult = S_OK, heightResult = S_OK;
    ChangeLog& log;
    const std::string name;
};

// What get_width or get_height of a plug-in hands back.
struct FakeSize {
    HRESULT result = S_OK;
    VARTYPE type = VT_EMPTY;
    std::optional<std::wstring> text;  // for VT_BSTR; nullopt: a null string
    LONG number = 0;                   // for VT_I4
};
inline FakeSize Str(std::wstring text) { return {S_OK, VT_BSTR, std::move(text), 0}; }
inline FakeSize NullStr() { return {S_OK, VT_BSTR, std::nullopt, 0}; }
inline FakeSize Num(LONG number) { return {S_OK, VT_I4, std::nullopt, number}; }
inline FakeSize FailedSize() { return {E_FAIL, VT_EMPTY, std::nullopt, 0}; }

// An "object" (IHTMLObjectElement) or "embed" (IHTMLEmbedElement) element.
template <class Interface>
class FakePlugin : public FakeObject {
public:
    FakePlugin(ChangeLog& log, std::string name, FakeSize width, FakeSize height);
    FakeSize width, height;
    ChangeLog& log;
    const std::string name;
};
using FakeObjectElement = FakePlugin<IHTMLObjectElement>;
using FakeEmbed = FakePlugin<IHTMLEmbedElement>;

class FakeFrame : public FakeObject {
public:
    FakeFrame(ChangeLog& log, std::string name, std::optional<std::wstring> src);
    std::optional<std::wstring> src;
    HRESULT srcResult = S_OK;
    ChangeLog& log;
    const std::string name;
};

// An object that is only an IDispatch: no element interface, no collection.
class FakePlain : public FakeObject {
public:
    FakePlain();
};

class FakeCollection : public FakeObject {
public:
    FakeCollection();
    std::vector<FakeObject*> items;  // null: item() fails at that index
    HRESULT lengthResult = S_OK;
    std::map<std::wstring, FakeObject*> byTag;  // for the "all" collection
    std::set<std::wstring> failingTags;
    std::vector<std::wstring> askedTags;
    bool badArguments = false;  // item() or tags() got arguments of the wrong form
};

class FakeDocument : public FakeObject {
public:
    explicit FakeDocument(bool html = true);
    FakeCollection all;
};

class FakeConnectionPoint : public FakeObject {
public:
    FakeConnectionPoint();
    // Calls Invoke on every connected sink, as the browser does.
    void Fire(DISPID id, DISPPARAMS* params);
    std::map<DWORD, ComPtr<IDispatch>> sinks;
    DWORD nextCookie = 41;
    int advises = 0, unadvises = 0, badUnadvises = 0;
};

class FakeBrowser : public FakeObject {
public:
    explicit FakeBrowser(bool withEvents = true);  // false: no IConnectionPointContainer
    IDispatch* document = nullptr;                 // what get_Document gives
    HRESULT documentResult = S_OK;
    FakeConnectionPoint events;

    void FireDocumentComplete(FakeBrowser& which, const wchar_t* url);
    void FireQuit();
};

}  // namespace tamsel::testing
