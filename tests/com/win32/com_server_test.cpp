// The exported entry points of the built Tamsel.dll, loaded as COM loads an
// in-process server: by LoadLibrary and GetProcAddress, without registration.
#include <windows.h>
#include <objbase.h>
#include <ocidl.h>
#include <docobj.h>

#include <gtest/gtest.h>

#include "com/win32/com_ptr.h"
#include "com/win32/guids.h"

namespace tamsel {
namespace {

using CanUnloadNow = HRESULT(STDAPICALLTYPE*)();
using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);

// An export by name or ordinal, as an address to compare.
const void* Export(HMODULE module, const char* nameOrOrdinal) {
    return reinterpret_cast<const void*>(GetProcAddress(module, nameOrOrdinal));
}

template <class F>
F ExportAs(HMODULE module, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

class ComServerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        module_ = LoadLibraryA(TAMSEL_MODULE);
        ASSERT_NE(module_, nullptr) << "error " << GetLastError();
        canUnloadNow_ = ExportAs<CanUnloadNow>(module_, "DllCanUnloadNow");
        getClassObject_ = ExportAs<GetClassObject>(module_, "DllGetClassObject");
    }
    void SetUp() override {
        ASSERT_NE(canUnloadNow_, nullptr);
        ASSERT_NE(getClassObject_, nullptr);
        ASSERT_EQ(canUnloadNow_(), S_OK) << "each case starts with nothing held";
    }
    void TearDown() override { EXPECT_EQ(canUnloadNow_(), S_OK) << "each case gives back all it took"; }

    ComPtr<IClassFactory> Factory() {
        ComPtr<IClassFactory> factory;
        EXPECT_EQ(getClassObject_(kClsidAdFilter, IID_IClassFactory, factory.put_void()), S_OK);
        return factory;
    }

    static HMODULE module_;
    static CanUnloadNow canUnloadNow_;
    static GetClassObject getClassObject_;
};

HMODULE ComServerTest::module_ = nullptr;
CanUnloadNow ComServerTest::canUnloadNow_ = nullptr;
GetClassObject ComServerTest::getClassObject_ = nullptr;

TEST_F(ComServerTest, ExportsSitAtTheirOrdinals) {
    const char* names[] = {"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer", "DllUnregisterServer",
                           "ApiHookChain"};
    for (WORD ordinal = 1; ordinal <= 5; ++ordinal) {
        const void* byName = Export(module_, names[ordinal - 1]);
        EXPECT_NE(byName, nullptr) << names[ordinal - 1];
        EXPECT_EQ(Export(module_, MAKEINTRESOURCEA(ordinal)), byName) << names[ordinal - 1];
    }
}

TEST_F(ComServerTest, AnotherClassIsRefusedAndNothingIsMade) {
    const CLSID other = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
    void* out = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(getClassObject_(other, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(canUnloadNow_(), S_OK);
    EXPECT_EQ(getClassObject_(kClsidAdFilter, IID_IClassFactory, nullptr), E_POINTER);
}

TEST_F(ComServerTest, AnInstanceOrALockKeepsTheModule) {
    ComPtr<IUnknown> instance;
    ASSERT_EQ(Factory()->CreateInstance(nullptr, IID_IUnknown, instance.put_void()), S_OK);
    EXPECT_EQ(canUnloadNow_(), S_FALSE);
    instance = nullptr;
    EXPECT_EQ(canUnloadNow_(), S_OK);

    ASSERT_EQ(Factory()->LockServer(TRUE), S_OK);
    EXPECT_EQ(canUnloadNow_(), S_FALSE);
    ASSERT_EQ(Factory()->LockServer(FALSE), S_OK);
    EXPECT_EQ(canUnloadNow_(), S_OK);

    // A held class object counts too, beyond the module's own reference.
    ComPtr<IClassFactory> held = Factory();
    EXPECT_EQ(canUnloadNow_(), S_FALSE);
}

TEST_F(ComServerTest, AggregationOnlyThroughIUnknown) {
    // The test's own object stands for the outer object: any IUnknown will do
    // as long as the inner object only delegates to it.
    ComPtr<IUnknown> outer;
    ASSERT_EQ(Factory()->CreateInstance(nullptr, IID_IUnknown, outer.put_void()), S_OK);

    void* out = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(Factory()->CreateInstance(outer.get(), kIidIAdFilter, &out), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(Factory()->CreateInstance(outer.get(), IID_IDispatch, &out), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(out, nullptr);

    ComPtr<IUnknown> inner;
    ASSERT_EQ(Factory()->CreateInstance(outer.get(), IID_IUnknown, inner.put_void()), S_OK);
    ASSERT_TRUE(inner);
    EXPECT_NE(inner.get(), outer.get()) << "the inner IUnknown is the aggregated object's own";
    // Its interfaces answer IUnknown with the outer object's identity.
    ComPtr<IObjectWithSite> site;
    ASSERT_EQ(site.QueryFrom(inner.get()), S_OK);
    ComPtr<IUnknown> identity;
    ASSERT_EQ(identity.QueryFrom(site.get()), S_OK);
    EXPECT_EQ(identity.get(), outer.get());
}

TEST_F(ComServerTest, EveryInterfaceAnswersWithOneIdentity) {
    ComPtr<IUnknown> object;
    ASSERT_EQ(Factory()->CreateInstance(nullptr, IID_IUnknown, object.put_void()), S_OK);
    const IID* iids[] = {&IID_IUnknown, &IID_IDispatch, &kIidIAdFilter, &IID_IObjectWithSite, &IID_IOleCommandTarget};
    for (const IID* iid : iids) {
        ComPtr<IUnknown> asked;
        ASSERT_EQ(object->QueryInterface(*iid, asked.put_void()), S_OK);
        ComPtr<IUnknown> identity;
        ASSERT_EQ(identity.QueryFrom(asked.get()), S_OK);
        EXPECT_EQ(identity.get(), object.get());
    }
    ComPtr<IUnknown> dispatch;
    ComPtr<IUnknown> adFilter;
    object->QueryInterface(IID_IDispatch, dispatch.put_void());
    object->QueryInterface(kIidIAdFilter, adFilter.put_void());
    EXPECT_EQ(dispatch.get(), adFilter.get()) << "IDispatch is the dual IAdFilter";
    void* out = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(object->QueryInterface(IID_IClassFactory, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
}

}  // namespace
}  // namespace tamsel
