// AdFilter end to end: the scripted browser fires its events through
// IDispatch::Invoke and the page changes through the HTML interfaces.
#include <exdispid.h>
#include <gtest/gtest.h>

#include "browser/win32/ad_filter.h"
#include "patterns/pattern_list.h"
#include "runtime/shared_state.h"
#include "scripted_browser.h"

namespace tamsel {
namespace {

using namespace tamsel::testing;

std::unique_ptr<PatternList> List(const std::string& text) { return ParsePatternListText(text, "list.txt").value(); }

// A page: the document, one collection per tag and the elements in them.
struct ScriptedPage {
    ScriptedPage() {
        document.all.byTag = {{L"img", &images}, {L"object", &objects}, {L"embed", &embeds}, {L"iframe", &frames}};
    }
    template <class Element, class... Args>
    Element& Add(FakeCollection& where, Args&&... args) {
        elements.push_back(std::make_unique<Element>(log, std::forward<Args>(args)...));
        where.items.push_back(elements.back().get());
        return static_cast<Element&>(*elements.back());
    }
    // Every reference the walk took has been given back.
    bool AllReleased() const {
        for (const auto& e : elements) {
            if (e->refs != 0) return false;
        }
        return document.refs == 0 && document.all.refs == 0 && images.refs == 0 && objects.refs == 0 &&
               embeds.refs == 0 && frames.refs == 0;
    }
    ChangeLog log;
    FakeDocument document;
    FakeCollection images, objects, embeds, frames;
    std::vector<std::unique_ptr<FakeObject>> elements;
};

class AdFilterWalk : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(CreateAdFilterInstance(nullptr, IID_IObjectWithSite, withSite.put_void()), S_OK);
        // After creation: creating an AdFilter renews the user lists from files.
        SharedState& state = TheSharedState();
        state.AllowAds = 0;
        state.Replace(ListKind::ShippedBlock, List("ads.example.com\nlocalhost/banners/\n"));
        state.Replace(ListKind::UserBlock, List("tracker.example.net\n"));
        state.Replace(ListKind::UserTrust, List("ads.example.com/house/\n"));
        browser.document = page.document.As<IDispatch>();
        ASSERT_EQ(withSite->SetSite(browser.As<IUnknown>()), S_OK);
    }
    void TearDown() override {
        withSite->SetSite(nullptr);
        withSite = nullptr;
        TheSharedState().AllowAds = 0;
        TheSharedState().ClearLists();
        EXPECT_TRUE(page.AllReleased());
        EXPECT_EQ(browser.refs, 0);
        EXPECT_FALSE(page.document.all.badArguments);
    }
    static ChangeLog Collapsed(const std::string& name) {
        return {name + " width=0", name + " height=0", name + " alt=(null)"};
    }
    ComPtr<IObjectWithSite> withSite;
    FakeBrowser browser;
    ScriptedPage page;
};

TEST_F(AdFilterWalk, ImagesBySizeOnePixelMarkersAndLists) {
    page.Add<FakeImg>(page.images, "img0", L"http://www.example.com/a.gif", 468, 60);
    page.Add<FakeImg>(page.images, "img1", L"http://www.example.com/b.gif", 470, 60);
    page.Add<FakeImg>(page.images, "img2", L"http://www.example.com/c.gif", 1, 1);
    page.Add<FakeImg>(page.images, "img3", L"HTTP://WWW.W3.ORG/DOT.GIF", 1, 1);
    page.Add<FakeImg>(page.images, "img4", L"http://ads.example.com/house/x.gif", 468, 60);
    page.Add<FakeImg>(page.images, "img5", L"HTTP://ADS.EXAMPLE.COM/X.GIF", 10, 10);
    page.Add<FakeImg>(page.images, "img6", L"/banners/rel.gif", 10, 10);
    page.Add<FakeImg>(page.images, "img7", L"http://www.w3.org/wide.gif", 469, 61);
    browser.FireDocumentComplete(browser, L"http://www.example.com/");
    ChangeLog expected;
    for (const char* name : {"img0", "img2", "img5", "img6", "img7"}) {
        for (auto& line : Collapsed(name)) expected.push_back(line);
    }
    EXPECT_EQ(page.log, expected);
    EXPECT_EQ(page.document.all.askedTags, (std::vector<std::wstring>{L"img", L"object", L"embed", L"iframe"}));
}

TEST_F(AdFilterWalk, PluginsBySizeStringsAndFramesByLists) {
    page.Add<FakeObjectElement>(page.objects, "object0", Str(L"468"), Str(L"60"));
    page.Add<FakeObjectElement>(page.objects, "object1", Num(468), Num(60));
    page.Add<FakeObjectElement>(page.objects, "object2", Str(L"100%"), Str(L"60"));
    page.Add<FakeObjectElement>(page.objects, "object3", NullStr(), Str(L"60"));
    page.Add<FakeObjectElement>(page.objects, "object4", Str(L"468"), FailedSize());
    page.Add<FakeEmbed>(page.embeds, "embed0", Str(L"88"), Str(L"31"));
    page.Add<FakeFrame>(page.frames, "frame0", L"http://www.example.com/468x60.html");
    page.Add<FakeFrame>(page.frames, "frame1", L"http://ads.example.com/f.html");
    page.Add<FakeFrame>(page.frames, "frame2", L"http://ads.example.com/house/f.html");
    browser.FireDocumentComplete(browser, L"https://www.example.com/");
    EXPECT_EQ(page.log, (ChangeLog{"object0 width=empty", "object0 height=empty", "embed0 width=empty",
                                   "embed0 height=empty", "frame1 src=(null)"}));
}

// A null source (a lazy image) leaves that image alone; the ad image after
// it is still collapsed. A failed read ends the walk.
TEST_F(AdFilterWalk, AnAbsentSourceIsSkippedAndAFailedReadEndsTheWalk) {
    page.Add<FakeImg>(page.images, "img0", L"http://ads.example.com/1.gif", 5, 5);
    page.Add<FakeImg>(page.images, "img1", std::nullopt, 468, 60);
    page.Add<FakeImg>(page.images, "img2", L"http://ads.example.com/3.gif", 5, 5);
    page.Add<FakeFrame>(page.frames, "frame0", std::nullopt);
    page.Add<FakeFrame>(page.frames, "frame1", L"http://ads.example.com/f.html");
    browser.FireDocumentComplete(browser, L"http://www.example.com/");
    ChangeLog expected = Collapsed("img0");
    for (const std::string& change : Collapsed("img2")) expected.push_back(change);
    expected.push_back("frame1 src=(null)");
    EXPECT_EQ(page.log, expected);
    EXPECT_EQ(page.document.all.askedTags, (std::vector<std::wstring>{L"img", L"object", L"embed", L"iframe"}));

    page.log.clear();
    page.document.all.askedTags.clear();
    static_cast<FakeImg&>(*page.elements[1]).srcResult = E_FAIL;
    browser.FireDocumentComplete(browser, L"http://www.example.com/");
    EXPECT_EQ(page.log, Collapsed("img0"));
    EXPECT_EQ(page.document.all.askedTags, std::vector<std::wstring>{L"img"});

    // A failed width read of an embed ends it too; an object's height does not.
    page.log.clear();
    page.document.all.askedTags.clear();
    static_cast<FakeImg&>(*page.elements[1]).srcResult = S_OK;
    static_cast<FakeImg&>(*page.elements[1]).src = L"http://www.example.com/ok.gif";
    page.Add<FakeEmbed>(page.embeds, "embed0", Str(L"468"), FailedSize());
    browser.FireDocumentComplete(browser, L"http://www.example.com/");
    EXPECT_EQ(page.document.all.askedTags, (std::vector<std::wstring>{L"img", L"object", L"embed"}));
}

TEST_F(AdFilterWalk, MissingItemsWrongKindsAndFailingTags) {
    FakePlain notAnImage;
    page.images.items.push_back(nullptr);  // item() fails
    page.images.items.push_back(&notAnImage);
    page.Add<FakeImg>(page.images, "img2", L"http://ads.example.com/a.gif", 5, 5);
    page.document.all.byTag.erase(L"object");  // tags() gives nothing
    page.document.all.failingTags.insert(L"embed");
    page.Add<FakeFrame>(page.frames, "frame0", L"http://ads.example.com/f.html");
    browser.FireDocumentComplete(browser, L"http://www.example.com/");
    EXPECT_EQ(page.log, Collapsed("img2"));
    EXPECT_EQ(notAnImage.refs, 0);
}

TEST_F(AdFilterWalk, PagesThatAreNoHtmlDocumentAreLeftAlone) {
    page.Add<FakeImg>(page.images, "img0", L"http://ads.example.com/a.gif", 468, 60);
    FakeDocument text(false);
    browser.document = text.As<IDispatch>();
    browser.FireDocumentComplete(browser, L"http://www.example.com/a.txt");
    browser.document = nullptr;
    browser.FireDocumentComplete(browser, L"http://www.example.com/");
    browser.documentResult = E_FAIL;
    browser.FireDocumentComplete(browser, L"http://www.example.com/");
    EXPECT_TRUE(page.log.empty());
    EXPECT_EQ(text.refs, 0);
}

TEST_F(AdFilterWalk, OnlyHttpAndHttpsUrlsAreWalkedAndTheyNameTheBrowser) {
    page.Add<FakeImg>(page.images, "img0", L"http://ads.example.com/a.gif", 5, 5);
    FakeBrowser frame;
    FakeDocument frameDocument;
    frame.document = frameDocument.As<IDispatch>();
    for (const wchar_t* url : {L"about:blank", L"file:///c:/page.html", L"res://ieframe.dll/x.htm",
                               L"ftp://ftp.example.com/", L"", L"http:/x", L"httpx://a/"}) {
        browser.FireDocumentComplete(frame, url);
        EXPECT_EQ(frame.refs, 0) << "the browser changed for an event of another scheme";
    }
    browser.FireDocumentComplete(browser, L"about:blank");
    EXPECT_TRUE(page.log.empty());
    browser.FireDocumentComplete(frame, L"HTTP://WWW.EXAMPLE.COM/");
    EXPECT_EQ(frame.refs, 1);  // now the browser the walk works on
    EXPECT_EQ(frameDocument.all.askedTags.size(), 4u);
    EXPECT_TRUE(page.log.empty());
    browser.FireDocumentComplete(browser, L"HtTpS://www.example.com/");
    EXPECT_EQ(frame.refs, 0);
    EXPECT_EQ(page.log, Collapsed("img0"));
}

TEST_F(AdFilterWalk, AllowAdsIgnoresEveryEvent) {
    page.Add<FakeImg>(page.images, "img0", L"http://ads.example.com/a.gif", 468, 60);
    TheSharedState().AllowAds = 1;
    ComPtr<IDispatch> sink = browser.events.sinks.begin()->second;
    EXPECT_EQ(sink->Invoke(DISPID_DOCUMENTCOMPLETE, IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr),
              S_OK);
    browser.FireDocumentComplete(browser, L"http://www.example.com/");
    browser.FireQuit();
    EXPECT_TRUE(page.log.empty());
    EXPECT_EQ(browser.events.sinks.size(), 1u);
    TheSharedState().AllowAds = 0;
    EXPECT_EQ(sink->Invoke(DISPID_DOCUMENTCOMPLETE, IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr),
              E_INVALIDARG);
}

TEST_F(AdFilterWalk, MalformedDocumentCompleteArgumentsAreRefused) {
    page.Add<FakeImg>(page.images, "img0", L"http://ads.example.com/a.gif", 5, 5);
    ComPtr<IDispatch> sink = browser.events.sinks.begin()->second;
    Bstr url(L"http://www.example.com/");
    VARIANT args[2];
    VariantInit(&args[0]);
    VariantInit(&args[1]);
    V_VT(&args[0]) = VT_BSTR;
    V_BSTR(&args[0]) = url.get();
    auto fire = [&](UINT count) {
        DISPPARAMS params = {args, nullptr, count, 0};
        return sink->Invoke(DISPID_DOCUMENTCOMPLETE, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
    };
    EXPECT_EQ(fire(1), S_OK);  // no browser argument at all
    V_VT(&args[1]) = VT_I4;
    V_I4(&args[1]) = 0x1234;  // not an object
    EXPECT_EQ(fire(2), S_OK);
    EXPECT_TRUE(page.log.empty());
    V_VT(&args[1]) = VT_DISPATCH;
    V_DISPATCH(&args[1]) = browser.As<IDispatch>();
    FakePlain object;  // converting it to text would call it, and stop the test
    V_VT(&args[0]) = VT_DISPATCH;
    V_DISPATCH(&args[0]) = object.As<IDispatch>();
    EXPECT_EQ(fire(2), S_OK);
    EXPECT_TRUE(page.log.empty());
    V_VT(&args[0]) = VT_BSTR;
    V_BSTR(&args[0]) = url.get();
    IDispatch* which = browser.As<IDispatch>();
    V_VT(&args[1]) = VT_DISPATCH | VT_BYREF;
    V_DISPATCHREF(&args[1]) = &which;
    EXPECT_EQ(fire(2), S_OK);  // a plain string URL and a browser by reference
    EXPECT_EQ(page.log, Collapsed("img0"));
}

TEST_F(AdFilterWalk, OneWalkPerEventAfterTheSiteIsSetAgain) {
    page.Add<FakeImg>(page.images, "img0", L"http://ads.example.com/a.gif", 5, 5);
    ASSERT_EQ(withSite->SetSite(browser.As<IUnknown>()), S_OK);
    browser.FireDocumentComplete(browser, L"http://www.example.com/");
    EXPECT_EQ(page.log, Collapsed("img0"));
    EXPECT_EQ(page.document.all.askedTags.size(), 4u);
}

TEST_F(AdFilterWalk, QuitEndsTheConnection) {
    page.Add<FakeImg>(page.images, "img0", L"http://ads.example.com/a.gif", 5, 5);
    browser.FireQuit();
    EXPECT_TRUE(browser.events.sinks.empty());
    browser.FireDocumentComplete(browser, L"http://www.example.com/");
    EXPECT_TRUE(page.log.empty());
}

TEST_F(AdFilterWalk, UrlsAreConvertedToTheCodePageAndLowerCased) {
    ASSERT_EQ(GetACP(), 1252u) << "the cases below are written for the Western code page";
    // A capital A with diaeresis lower-cases in the code page; a character
    // the code page lacks is replaced, not fatal; a NUL ends the URL.
    TheSharedState().Replace(ListKind::UserBlock, List("tracker.example.net/\xe4\n"));
    page.Add<FakeImg>(page.images, "img0", L"HTTP://TRACKER.EXAMPLE.NET/\u00c4.GIF", 5, 5);
    page.Add<FakeImg>(page.images, "img1", L"http://www.example.com/\u4e2d.gif", 5, 5);
    page.Add<FakeImg>(page.images, "img2", std::wstring(L"http://www.example.com/x\0.org/", 31), 1, 1);
    page.Add<FakeObjectElement>(page.objects, "object0", Str(L" 468 "), Str(L"+60px"));
    browser.FireDocumentComplete(browser, L"http://www.example.com/");
    ChangeLog expected = Collapsed("img0");
    for (auto& line : Collapsed("img2")) expected.push_back(line);
    expected.push_back("object0 width=empty");
    expected.push_back("object0 height=empty");
    EXPECT_EQ(page.log, expected);
}

// Each conversion lives on the heap: a page of many elements with long URLs
// needs no more stack than a page of one.
TEST_F(AdFilterWalk, AWalkOverManyLongUrlsFitsInASmallStack) {
    FakeImg& image = page.Add<FakeImg>(page.images, "img0", L"", 10, 10);
    image.src = L"http://www.example.com/" + std::wstring(16000, L'a');
    page.images.items.assign(2000, &image);
    struct Run {
        FakeBrowser* browser;
        static DWORD WINAPI Main(void* self) {
            FakeBrowser& b = *static_cast<Run*>(self)->browser;
            b.FireDocumentComplete(b, L"http://www.example.com/");
            return 0;
        }
    } run{&browser};
    const std::unique_ptr<void, BOOL(WINAPI*)(HANDLE)> thread(
        CreateThread(nullptr, 256 * 1024, &Run::Main, &run, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr), &CloseHandle);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(WaitForSingleObject(thread.get(), 60000), WAIT_OBJECT_0);
    DWORD code = 1;
    GetExitCodeThread(thread.get(), &code);
    EXPECT_EQ(code, 0u);
    EXPECT_TRUE(page.log.empty());
    EXPECT_EQ(page.document.all.askedTags.size(), 4u);
}

}  // namespace
}  // namespace tamsel
