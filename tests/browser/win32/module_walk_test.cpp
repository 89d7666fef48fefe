// The built Tamsel.dll as the browser meets it: AdFilter created through the
// module's class object, judged against the list files beside the module.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "com/win32/guids.h"
#include "scripted_browser.h"

namespace tamsel {
namespace {

using namespace tamsel::testing;

std::string ProgramFolder() {
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, n);
    return folder.erase(folder.rfind('\\') + 1);
}

// An exported function of the module, under its own type.
template <class Function>
Function Entry(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// A copy of the module in a folder of its own, beside list files of the test.
class ModuleCopy {
public:
    ModuleCopy() {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        folder_ = std::string(temp) + "tamsel-walk-" + std::to_string(GetCurrentProcessId()) + "\\";
        CreateDirectoryA(folder_.c_str(), nullptr);
        copied_ = CopyFileA((ProgramFolder() + "Tamsel.dll").c_str(), (folder_ + "Tamsel.dll").c_str(), FALSE);
        Write("BlockList.txt", "ads.example.com\r\n");
        Write("UserTrust.txt", "ads.example.com/house/\r\n");
        Write("UserBlock.txt", "tracker.example.net\r\n");
    }
    ~ModuleCopy() {
        // The module may stay loaded (it pins itself once it hooks), so the
        // folder may stay too; the lists go regardless.
        for (const char* name : {"BlockList.txt", "UserTrust.txt", "UserBlock.txt"})
            DeleteFileA((folder_ + name).c_str());
    }
    bool copied() const { return copied_ != FALSE; }
    std::string path() const { return folder_ + "Tamsel.dll"; }

private:
    void Write(const char* name, const char* text) { std::ofstream(folder_ + name, std::ios::binary) << text; }
    std::string folder_;
    BOOL copied_ = FALSE;
};

TEST(ModuleWalk, TheModulesAdFilterCollapsesWhatItsListsAndSizesName) {
    const ModuleCopy copy;
    ASSERT_TRUE(copy.copied());
    const HMODULE module = LoadLibraryA(copy.path().c_str());
    ASSERT_NE(module, nullptr);
    using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    using CanUnloadNow = HRESULT(STDAPICALLTYPE*)();
    const auto getClassObject = Entry<GetClassObject>(module, "DllGetClassObject");
    const auto canUnloadNow = Entry<CanUnloadNow>(module, "DllCanUnloadNow");
    ASSERT_NE(getClassObject, nullptr);
    ASSERT_NE(canUnloadNow, nullptr);

    ChangeLog log;
    FakeImg listed(log, "img0", L"http://ads.example.com/banner.gif", 10, 10);
    FakeImg trusted(log, "img1", L"http://ads.example.com/house/banner.gif", 468, 60);
    FakeImg sized(log, "img2", L"http://www.example.com/pic.gif", 469, 61);
    FakeImg plain(log, "img3", L"http://www.example.com/pic.gif", 100, 100);
    FakeImg blocked(log, "img4", L"http://TRACKER.example.net/t.gif", 10, 10);
    FakeDocument document;
    FakeCollection images;
    images.items = {&listed, &trusted, &sized, &plain, &blocked};
    document.all.byTag = {{L"img", &images}};
    FakeBrowser browser;
    browser.document = document.As<IDispatch>();
    {
        ComPtr<IClassFactory> factory;
        ASSERT_EQ(getClassObject(kClsidAdFilter, IID_IClassFactory, factory.put_void()), S_OK);
        ComPtr<IObjectWithSite> filter;
        ASSERT_EQ(factory->CreateInstance(nullptr, IID_IObjectWithSite, filter.put_void()), S_OK);
        ASSERT_EQ(filter->SetSite(browser.As<IUnknown>()), S_OK);
        browser.FireDocumentComplete(browser, L"http://www.example.com/");
        browser.FireQuit();
        EXPECT_TRUE(browser.events.sinks.empty());
        EXPECT_EQ(filter->SetSite(nullptr), E_INVALIDARG);
    }
    EXPECT_EQ(log, (ChangeLog{"img0 width=0", "img0 height=0", "img0 alt=(null)", "img2 width=0", "img2 height=0",
                              "img2 alt=(null)", "img4 width=0", "img4 height=0", "img4 alt=(null)"}));
    EXPECT_EQ(browser.refs, 0);
    EXPECT_EQ(document.refs, 0);
    EXPECT_EQ(canUnloadNow(), S_OK);
}

}  // namespace
}  // namespace tamsel
