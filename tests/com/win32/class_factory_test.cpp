// The class object's rules, over a small object of the test's own that
// counts itself as a live instance, as AdFilter does.
#include "com/win32/class_factory.h"

#include <gtest/gtest.h>

#include "com/win32/com_ptr.h"
#include "com/win32/module_lock.h"

namespace tamsel {
namespace {

int g_created = 0;

// One live object holds one count of the module lock, like every instance.
class Counted final : public IUnknown {
public:
    Counted() { LockModule(); }
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        *ppv = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown)) return E_NOINTERFACE;
        *ppv = this;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG n = --refs_;
        if (n == 0) delete this;
        return n;
    }

private:
    ~Counted() { UnlockModule(); }
    ULONG refs_ = 0;
};

HRESULT CreateCounted(IUnknown* outer, REFIID riid, void** ppv) {
    ++g_created;
    if (outer != nullptr) return E_UNEXPECTED;  // the factory must have refused it
    auto* object = new Counted;
    object->AddRef();
    const HRESULT hr = object->QueryInterface(riid, ppv);
    object->Release();  // destroyed here when the query failed
    return hr;
}

class ClassFactoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_created = 0;
        ASSERT_EQ(ModuleLockCount(), 0);
    }
    void TearDown() override {
        slot_.Release();
        EXPECT_EQ(ModuleLockCount(), 0) << "every lock the test took is given back";
    }
    ComPtr<IClassFactory> Factory() {
        ComPtr<IClassFactory> factory;
        EXPECT_EQ(slot_.Get(IID_IClassFactory, factory.put_void()), S_OK);
        return factory;
    }

    ClassObjectSlot slot_{&CreateCounted};
};

TEST_F(ClassFactoryTest, OnlyReferencesBeyondTheKeepersHoldTheModule) {
    ComPtr<IClassFactory> factory = Factory();
    ASSERT_TRUE(factory);
    EXPECT_EQ(ModuleLockCount(), 1);
    ComPtr<IClassFactory> second = factory;
    EXPECT_EQ(ModuleLockCount(), 1) << "one count however many references beyond the first";
    second = nullptr;
    factory = nullptr;
    EXPECT_EQ(ModuleLockCount(), 0);
    // The slot kept its object: the same one comes back.
    ComPtr<IUnknown> a;
    ComPtr<IUnknown> b;
    ASSERT_EQ(slot_.Get(IID_IUnknown, a.put_void()), S_OK);
    ASSERT_EQ(slot_.Get(IID_IClassFactory, b.put_void()), S_OK);
    ComPtr<IUnknown> bIdentity;
    bIdentity.QueryFrom(b.get());
    EXPECT_EQ(a.get(), bIdentity.get());
}

TEST_F(ClassFactoryTest, LockServerCountsUpAndDown) {
    ComPtr<IClassFactory> factory = Factory();
    factory->LockServer(TRUE);
    factory->LockServer(TRUE);
    factory = nullptr;
    EXPECT_EQ(ModuleLockCount(), 2);
    Factory()->LockServer(FALSE);
    EXPECT_EQ(ModuleLockCount(), 1);
    EXPECT_EQ(Factory()->LockServer(FALSE), S_OK);
    EXPECT_EQ(ModuleLockCount(), 0);
}

TEST_F(ClassFactoryTest, AggregationOnlyForIUnknownAndTheOutPointerNulled) {
    ComPtr<IClassFactory> factory = Factory();
    Counted* outerObject = nullptr;
    ASSERT_EQ(CreateCounted(nullptr, IID_IUnknown, reinterpret_cast<void**>(&outerObject)), S_OK);
    ComPtr<IUnknown> outer = ComPtr<IUnknown>::Adopt(outerObject);
    g_created = 0;

    void* out = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(factory->CreateInstance(outer.get(), IID_IClassFactory, &out), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(g_created, 0) << "refused before anything is made";
    // With IUnknown the creator is asked (and, being the test's, refuses).
    EXPECT_EQ(factory->CreateInstance(outer.get(), IID_IUnknown, &out), E_UNEXPECTED);
    EXPECT_EQ(g_created, 1);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, nullptr), E_POINTER);
}

TEST_F(ClassFactoryTest, AnInstanceHoldsTheModuleUntilReleased) {
    ComPtr<IClassFactory> factory = Factory();
    factory = nullptr;
    ComPtr<IUnknown> instance;
    ASSERT_EQ(Factory()->CreateInstance(nullptr, IID_IUnknown, instance.put_void()), S_OK);
    EXPECT_EQ(ModuleLockCount(), 1);
    void* out = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(Factory()->CreateInstance(nullptr, IID_IDispatch, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(ModuleLockCount(), 1) << "the instance without the interface is gone again";
    instance = nullptr;
    EXPECT_EQ(ModuleLockCount(), 0);
}

}  // namespace
}  // namespace tamsel
