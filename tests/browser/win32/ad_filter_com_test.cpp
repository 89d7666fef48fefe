// AdFilter as a COM object: identity, creation and aggregation, site and
// connection, reference counts, the toolbar command and IDispatch.
#include <gtest/gtest.h>

#include "browser/win32/ad_filter.h"
#include "com/win32/module_lock.h"
#include "scripted_browser.h"

namespace tamsel {

extern int g_settingsDialogsShown;

namespace {

using namespace tamsel::testing;

class AdFilterCom : public ::testing::Test {
protected:
    void SetUp() override {
        locksAtStart = ModuleLockCount();
        ASSERT_EQ(CreateAdFilterInstance(nullptr, IID_IUnknown, filter.put_void()), S_OK);
        ASSERT_EQ(withSite.QueryFrom(filter.get()), S_OK);
    }
    // The filter's own count, seen through an AddRef and Release pair.
    ULONG FilterRefs() {
        filter->AddRef();
        return filter->Release();
    }
    LONG locksAtStart = 0;
    ComPtr<IUnknown> filter;
    ComPtr<IObjectWithSite> withSite;
    FakeBrowser browser;
};

TEST_F(AdFilterCom, FakeVtablesPutMethodsInTheirSlots) {
    EXPECT_EQ(SlotOf(&IUnknown::AddRef), 1u);
    EXPECT_EQ(SlotOf(&IUnknown::Release), 2u);
    EXPECT_EQ(SlotOf(&IDispatch::Invoke), 6u);
}

TEST_F(AdFilterCom, IUnknownIDispatchAndIAdFilterAreOnePointer) {
    ComPtr<IDispatch> dispatch;
    ComPtr<IAdFilter> adFilter;
    ComPtr<IUnknown> unknown;
    ComPtr<IOleCommandTarget> command;
    ASSERT_EQ(dispatch.QueryFrom(withSite.get()), S_OK);
    ASSERT_EQ(adFilter.QueryFrom(withSite.get()), S_OK);
    ASSERT_EQ(unknown.QueryFrom(dispatch.get()), S_OK);
    ASSERT_EQ(command.QueryFrom(dispatch.get()), S_OK);
    EXPECT_EQ(static_cast<void*>(dispatch.get()), static_cast<void*>(adFilter.get()));
    EXPECT_EQ(static_cast<void*>(unknown.get()), static_cast<void*>(adFilter.get()));
    EXPECT_EQ(unknown.get(), filter.get());
    void* events = reinterpret_cast<void*>(1);
    EXPECT_EQ(filter->QueryInterface(DIID_DWebBrowserEvents2, &events), E_NOINTERFACE);
    EXPECT_EQ(events, nullptr);
    EXPECT_EQ(filter->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
}

TEST_F(AdFilterCom, CreationRulesAndTheModuleLock) {
    EXPECT_EQ(ModuleLockCount(), locksAtStart + 1);
    EXPECT_EQ(CreateAdFilterInstance(nullptr, IID_IUnknown, nullptr), E_POINTER);
    void* out = reinterpret_cast<void*>(1);
    FakePlain outer;
    EXPECT_EQ(CreateAdFilterInstance(outer.As<IUnknown>(), IID_IDispatch, &out), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(out, nullptr);
    out = reinterpret_cast<void*>(1);
    EXPECT_EQ(CreateAdFilterInstance(nullptr, IID_IPersist, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(ModuleLockCount(), locksAtStart + 1);  // the refused object is gone
    withSite = nullptr;
    filter = nullptr;
    EXPECT_EQ(ModuleLockCount(), locksAtStart);
}

TEST_F(AdFilterCom, AnAggregatedObjectDelegatesToItsOuterObject) {
    FakePlain outer;
    ComPtr<IUnknown> inner;
    ASSERT_EQ(CreateAdFilterInstance(outer.As<IUnknown>(), IID_IUnknown, inner.put_void()), S_OK);
    EXPECT_EQ(outer.refs, 0);
    ComPtr<IUnknown> innerAgain;
    ASSERT_EQ(innerAgain.QueryFrom(inner.get()), S_OK);
    EXPECT_EQ(innerAgain.get(), inner.get());  // the inner unknown answers IUnknown with itself
    ComPtr<IObjectWithSite> part;
    ASSERT_EQ(part.QueryFrom(inner.get()), S_OK);
    EXPECT_EQ(outer.refs, 1);  // the interface's reference belongs to the outer object
    ComPtr<IOleCommandTarget> viaOuter;
    EXPECT_EQ(viaOuter.QueryFrom(part.get()), E_NOINTERFACE);  // asked of the outer object
    part = nullptr;
    EXPECT_EQ(outer.refs, 0);
    EXPECT_EQ(ModuleLockCount(), locksAtStart + 2);
    innerAgain = nullptr;
    inner = nullptr;
    EXPECT_EQ(ModuleLockCount(), locksAtStart + 1);
}

TEST_F(AdFilterCom, SetSiteConnectsOnceAndNullSiteEndsIt) {
    const ULONG alone = FilterRefs();
    ASSERT_EQ(withSite->SetSite(browser.As<IUnknown>()), S_OK);
    EXPECT_EQ(browser.events.advises, 1);
    EXPECT_EQ(browser.events.sinks.size(), 1u);
    EXPECT_EQ(FilterRefs(), alone + 1);  // held by the event source
    ASSERT_EQ(withSite->SetSite(browser.As<IUnknown>()), S_OK);
    EXPECT_EQ(browser.events.advises, 2);
    EXPECT_EQ(browser.events.unadvises, 1);
    EXPECT_EQ(browser.events.sinks.size(), 1u);
    EXPECT_EQ(withSite->SetSite(nullptr), E_INVALIDARG);
    EXPECT_EQ(browser.events.unadvises, 2);
    EXPECT_EQ(browser.events.badUnadvises, 0);
    EXPECT_TRUE(browser.events.sinks.empty());
    EXPECT_EQ(browser.refs, 0);
    EXPECT_EQ(browser.events.refs, 0);
    EXPECT_EQ(FilterRefs(), alone);
    withSite = nullptr;
    filter = nullptr;
    EXPECT_EQ(ModuleLockCount(), locksAtStart);
}

TEST_F(AdFilterCom, ANewBrowserEndsTheConnectionToTheOldOne) {
    FakeBrowser other;
    ASSERT_EQ(withSite->SetSite(browser.As<IUnknown>()), S_OK);
    ASSERT_EQ(withSite->SetSite(other.As<IUnknown>()), S_OK);
    EXPECT_TRUE(browser.events.sinks.empty());
    EXPECT_EQ(browser.refs, 0);
    EXPECT_EQ(other.events.sinks.size(), 1u);
    // A site that is no browser ends the connection too.
    FakePlain plain;
    EXPECT_EQ(withSite->SetSite(plain.As<IUnknown>()), E_INVALIDARG);
    EXPECT_TRUE(other.events.sinks.empty());
    EXPECT_EQ(other.refs, 0);
    EXPECT_EQ(other.events.advises, 1);
    EXPECT_EQ(plain.refs, 1);  // kept as the site
    withSite->SetSite(nullptr);
    EXPECT_EQ(plain.refs, 0);
}

TEST_F(AdFilterCom, SitesThatAreNoBrowserOrOfferNoEvents) {
    FakePlain plain;
    EXPECT_EQ(withSite->SetSite(plain.As<IUnknown>()), E_INVALIDARG);
    FakeBrowser mute(false);
    EXPECT_EQ(withSite->SetSite(mute.As<IUnknown>()), E_POINTER);
    EXPECT_EQ(mute.events.advises, 0);
    EXPECT_EQ(withSite->SetSite(nullptr), E_INVALIDARG);
    EXPECT_EQ(mute.refs, 0);
}

TEST_F(AdFilterCom, GetSiteAnswersFromTheLastSite) {
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(withSite->GetSite(IID_IUnknown, &out), E_FAIL);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(withSite->GetSite(IID_IUnknown, nullptr), E_POINTER);
    ASSERT_EQ(withSite->SetSite(browser.As<IUnknown>()), S_OK);
    ComPtr<IWebBrowser2> got;
    ASSERT_EQ(withSite->GetSite(IID_IWebBrowser2, got.put_void()), S_OK);
    EXPECT_EQ(got.get(), browser.As<IWebBrowser2>());
    EXPECT_EQ(withSite->GetSite(IID_IPersist, &out), E_NOINTERFACE);
    got = nullptr;
    withSite->SetSite(nullptr);
    out = reinterpret_cast<void*>(1);
    EXPECT_EQ(withSite->GetSite(IID_IUnknown, &out), E_FAIL);
    EXPECT_EQ(out, nullptr);
}

TEST_F(AdFilterCom, TheQuitEventDisconnectsEvenWhenItHoldsTheLastReference) {
    ASSERT_EQ(withSite->SetSite(browser.As<IUnknown>()), S_OK);
    withSite = nullptr;
    filter = nullptr;
    EXPECT_EQ(ModuleLockCount(), locksAtStart + 1);  // the event source keeps it
    browser.FireQuit();
    EXPECT_TRUE(browser.events.sinks.empty());
    EXPECT_EQ(browser.events.unadvises, 1);
    EXPECT_EQ(browser.refs, 0);
    EXPECT_EQ(ModuleLockCount(), locksAtStart);
}

TEST_F(AdFilterCom, QueryStatusAndExec) {
    ComPtr<IOleCommandTarget> command;
    ASSERT_EQ(command.QueryFrom(filter.get()), S_OK);
    OLECMD commands[3] = {{1, 0}, {2, 0}, {0x7fff, 0}};
    EXPECT_EQ(command->QueryStatus(nullptr, 3, commands, nullptr), S_OK);
    for (const OLECMD& c : commands) EXPECT_EQ(c.cmdf, 3u);
    EXPECT_EQ(command->QueryStatus(nullptr, 3, nullptr, nullptr), E_POINTER);
    const int shown = g_settingsDialogsShown;
    EXPECT_EQ(command->Exec(nullptr, 0, OLECMDEXECOPT_DONTPROMPTUSER, nullptr, nullptr), S_OK);
    EXPECT_EQ(g_settingsDialogsShown, shown);
    EXPECT_EQ(command->Exec(nullptr, 0, OLECMDEXECOPT_DODEFAULT, nullptr, nullptr), S_OK);
    EXPECT_EQ(g_settingsDialogsShown, shown + 1);
}

TEST_F(AdFilterCom, DispatchDescribesOneInterface) {
    ComPtr<IDispatch> dispatch;
    ASSERT_EQ(dispatch.QueryFrom(filter.get()), S_OK);
    UINT count = 0;
    EXPECT_EQ(dispatch->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(dispatch->GetTypeInfo(0, 0, nullptr), E_POINTER);
    ITypeInfo* info = reinterpret_cast<ITypeInfo*>(1);
    EXPECT_EQ(dispatch->GetTypeInfo(1, 0, &info), DISP_E_BADINDEX);
    EXPECT_EQ(info, nullptr);
}

// The type library as the module's build compiles it, registered for the
// length of one test in the test's own Wine prefix.
class RegisteredTypeLibrary {
public:
    RegisteredTypeLibrary() {
        std::wstring path = L"Z:" TAMSEL_TYPELIB_PATH;
        for (wchar_t& c : path) c = c == L'/' ? L'\\' : c;
        ComPtr<ITypeLib> library;
        result_ = LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.put());
        if (SUCCEEDED(result_)) result_ = RegisterTypeLib(library.get(), path.data(), nullptr);
    }
    ~RegisteredTypeLibrary() {
        ReleaseAdFilterTypeInfo();
        if (SUCCEEDED(result_)) UnRegisterTypeLib(kLibidTamselLib, 1, 0, 0, SYS_WIN32);
    }
    HRESULT result() const { return result_; }

private:
    HRESULT result_;
};

TEST_F(AdFilterCom, TypeInfoComesFromTheRegisteredLibraryAndIsLoadedOnce) {
    const RegisteredTypeLibrary library;
    ASSERT_EQ(library.result(), S_OK);
    ComPtr<IDispatch> dispatch;
    ASSERT_EQ(dispatch.QueryFrom(filter.get()), S_OK);
    ComPtr<ITypeInfo> first, second;
    ASSERT_EQ(dispatch->GetTypeInfo(0, LOCALE_USER_DEFAULT, first.put()), S_OK);
    ASSERT_EQ(dispatch->GetTypeInfo(0, 0x0407, second.put()), S_OK);
    EXPECT_EQ(first.get(), second.get());
    TYPEATTR* attributes = nullptr;
    ASSERT_EQ(first->GetTypeAttr(&attributes), S_OK);
    EXPECT_TRUE(IsEqualIID(attributes->guid, kIidIAdFilter));
    first->ReleaseTypeAttr(attributes);
    OLECHAR name[] = L"Navigate";
    LPOLESTR names[] = {name};
    DISPID id = 0;
    EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(dispatch->GetIDsOfNames(IID_IDispatch, names, 1, LOCALE_USER_DEFAULT, &id), DISP_E_UNKNOWNINTERFACE);
}

}  // namespace
}  // namespace tamsel
