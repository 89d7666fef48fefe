#include "com/win32/com_ptr.h"

#include <gtest/gtest.h>

#include "scripted_browser.h"

namespace tamsel {
namespace {

using namespace tamsel::testing;

TEST(ComPtr, QueryAssignStoresNullWhenTheInterfaceIsMissing) {
    FakePlain object;
    ComPtr<IDispatch> dispatch;
    EXPECT_EQ(dispatch.QueryFrom(object.As<IUnknown>()), S_OK);
    EXPECT_EQ(object.refs, 1);
    ComPtr<IWebBrowser2> browser;
    EXPECT_EQ(browser.QueryFrom(object.As<IUnknown>()), E_NOINTERFACE);
    EXPECT_FALSE(browser);
    EXPECT_EQ(dispatch.QueryFrom(nullptr), E_NOINTERFACE);  // the old object goes
    EXPECT_FALSE(dispatch);
    EXPECT_EQ(object.refs, 0);
}

TEST(ComPtr, AssignmentCopiesMovesAndSelfAssignmentKeepOneReferenceEach) {
    FakePlain object;
    FakePlain other;
    {
        ComPtr<IUnknown> a(object.As<IUnknown>());
        a = a.get();
        EXPECT_EQ(object.refs, 1);
        ComPtr<IUnknown> b = a;
        EXPECT_EQ(object.refs, 2);
        ComPtr<IUnknown> c = std::move(b);
        EXPECT_EQ(object.refs, 2);
        c = other.As<IUnknown>();  // releases the old object
        EXPECT_EQ(object.refs, 1);
        EXPECT_EQ(other.refs, 1);
        IUnknown* out = nullptr;
        c.CopyTo(&out);
        EXPECT_EQ(other.refs, 2);
        ComPtr<IUnknown>::Adopt(out);  // takes that reference over and drops it
        EXPECT_EQ(other.refs, 1);
    }
    EXPECT_EQ(object.refs, 0);
    EXPECT_EQ(other.refs, 0);
}

}  // namespace
}  // namespace tamsel
