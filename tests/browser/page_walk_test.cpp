#include "browser/page_walk.h"

#include <gtest/gtest.h>

#include <climits>

#include "browser/source_judge.h"
#include "fake_page.h"
#include "patterns/pattern_list.h"

namespace tamsel {
namespace {

using namespace tamsel::testing;
using Log = std::vector<std::string>;

std::unique_ptr<PatternList> List(const std::string& text) { return ParsePatternListText(text, "list.txt").value(); }

class PageWalk : public ::testing::Test {
protected:
    PageWalk() {
        state.Replace(ListKind::ShippedBlock, List("ads.example.com\nlocalhost/banners/\n"));
        state.Replace(ListKind::UserBlock, List("tracker.example.net\n"));
        state.Replace(ListKind::UserTrust, List("ads.example.com/house/\n"));
    }
    ~PageWalk() override { state.ClearLists(); }  // a SharedState never frees its lists itself
    void Walk() {
        FakePage page(r);
        WalkPage(&page, state);
    }
    static Log Collapsed(const std::string& name) { return {name + " width=0", name + " height=0", name + " alt="}; }
    // Walks one image of the given source and size and says whether it shrank.
    bool ImageCollapsed(const std::string& src, int32_t w, int32_t h) {
        r = {};
        r.images.items = {{Src(src), w, h}};
        Walk();
        return r.log == Collapsed("img0");
    }
    SharedState state;
    FakePageRecords r;
};

TEST_F(PageWalk, ImagesOfAStandardSizeWithinOnePixelCollapse) {
    const std::string plain = "http://www.example.com/pic.gif";
    EXPECT_TRUE(ImageCollapsed(plain, 468, 60));
    EXPECT_TRUE(ImageCollapsed(plain, 469, 61));
    EXPECT_TRUE(ImageCollapsed(plain, 467, 59));
    EXPECT_TRUE(ImageCollapsed(plain, 392, 72));
    EXPECT_FALSE(ImageCollapsed(plain, 470, 60));
    EXPECT_FALSE(ImageCollapsed(plain, 468, 62));
    EXPECT_FALSE(ImageCollapsed(plain, 100, 100));
    EXPECT_TRUE(ImageCollapsed("http://www.example.org/pic.gif", 468, 60));
}

TEST_F(PageWalk, ExtremeSizesNeitherOverflowNorMatch) {
    EXPECT_FALSE(HasStandardAdSize(INT32_MIN, INT32_MIN));
    EXPECT_FALSE(HasStandardAdSize(INT32_MAX, 60));
    EXPECT_FALSE(HasStandardAdSize(468, INT32_MIN));
    EXPECT_FALSE(HasStandardAdSize(-468, -60));
    EXPECT_FALSE(ImageCollapsed("http://www.example.com/p.gif", INT32_MIN, INT32_MAX));
}

TEST_F(PageWalk, OnePixelImagesCollapseUnlessTheUrlCarriesAMarker) {
    EXPECT_TRUE(ImageCollapsed("http://www.example.com/dot.gif", 1, 1));
    EXPECT_FALSE(ImageCollapsed("http://www.example.com/dot.gif", 1, 2));
    for (const char* url : {"http://www.mit.edu/dot.gif", "http://www.w3.org/dot.gif", "http://www.nasa.gov/dot.gif",
                            "http://www.mit.edu.au/dot.gif", "http://ex.org.uk/dot.gif", "http://x.gov.uk/dot.gif"}) {
        EXPECT_FALSE(ImageCollapsed(url, 1, 1)) << url;
    }
    // Markers are looked for after lower-casing.
    EXPECT_FALSE(ImageCollapsed("HTTP://WWW.W3.ORG/DOT.GIF", 1, 1));
}

TEST_F(PageWalk, ListsDecideImagesInTrustUserShippedOrder) {
    EXPECT_TRUE(ImageCollapsed("http://ads.example.com/a.gif", 10, 10));      // shipped list
    EXPECT_TRUE(ImageCollapsed("http://tracker.example.net/t.gif", 10, 10));  // user block list
    EXPECT_TRUE(ImageCollapsed("HTTP://ADS.EXAMPLE.COM/A.GIF", 10, 10));      // lower-cased first
    // The trust list beats both the shipped list and the size rules.
    EXPECT_FALSE(ImageCollapsed("http://ads.example.com/house/a.gif", 10, 10));
    EXPECT_FALSE(ImageCollapsed("http://ads.example.com/house/a.gif", 468, 60));
    EXPECT_FALSE(ImageCollapsed("http://ads.example.com/house/a.gif", 1, 1));
}

TEST_F(PageWalk, RelativeAndEmptySourcesAreJudgedAsLocalhost) {
    EXPECT_TRUE(ImageCollapsed("/banners/top.gif", 10, 10));
    EXPECT_FALSE(ImageCollapsed("/pictures/top.gif", 10, 10));
    EXPECT_FALSE(ImageCollapsed("", 10, 10));
    EXPECT_TRUE(ImageCollapsed("", 468, 60));
}

TEST_F(PageWalk, CollapseShrinksAndBlanksAltButKeepsTheSource) {
    r.images.items = {{Src("http://www.example.com/a.gif"), 5, 5}, {Src("http://ads.example.com/b.gif"), 5, 5}};
    Walk();
    // The fake has no put_src for images at all; only these three calls come.
    EXPECT_EQ(r.log, Collapsed("img1"));
}

TEST_F(PageWalk, PluginsAreJudgedBySizeStringsOnly) {
    r.objects.items = {
        {Text("468"), Text("60")},          // emptied
        {NotText(), NotText()},             // numbers: left
        {Text("100%"), Text("60")},         // left
        {Text(" +120px"), Text("600")},     // read as atoi would: emptied
        {Text("99999999999"), Text("60")},  // saturates, no size
        {Text("468"), NotText()},
    };
    r.embeds.items = {{Text("88"), Text("31")}, {Text("88"), Text("40")}};
    Walk();
    EXPECT_EQ(r.log, (Log{"object0 width=empty", "object0 height=empty", "object3 width=empty", "object3 height=empty",
                          "embed0 width=empty", "embed0 height=empty"}));
}

TEST_F(PageWalk, ObjectHeightFailureLeavesItButEmbedHeightFailureEndsTheWalk) {
    r.objects.items = {{Text("468"), std::nullopt}, {Text("468"), Text("60")}};
    r.embeds.items = {{Text("468"), std::nullopt}, {Text("468"), Text("60")}};
    r.frames.items = {{Src("http://ads.example.com/f.html")}};
    Walk();
    EXPECT_EQ(r.log, (Log{"object1 width=empty", "object1 height=empty"}));
    EXPECT_EQ(r.asked, (Log{"img", "object", "embed"}));
}

TEST_F(PageWalk, FramesAreJudgedByListsOnly) {
    r.frames.items = {{Src("http://www.example.com/468x60.html")},
                      {Src("http://ads.example.com/f.html")},
                      {Src("http://ads.example.com/house/f.html")},
                      {Src("HTTP://TRACKER.EXAMPLE.NET/")}};
    Walk();
    EXPECT_EQ(r.log, (Log{"frame1 src=", "frame3 src="}));
}

// Lazy images and empty frames have no source at all: they are left alone,
// whatever their size, and every element after them is still judged.
TEST_F(PageWalk, AnElementWithoutASourceIsLeftAndTheWalkGoesOn) {
    r.images.items = {{NoSrc(), 468, 60}, {Src("http://ads.example.com/1.gif"), 5, 5}};
    r.objects.items = {{Text("468"), Text("60")}};
    r.frames.items = {{NoSrc()}, {Src("http://ads.example.com/f.html")}};
    Walk();
    Log expected = Collapsed("img1");
    for (const char* change : {"object0 width=empty", "object0 height=empty", "frame1 src="})
        expected.push_back(change);
    EXPECT_EQ(r.log, expected);
    EXPECT_EQ(r.asked, (Log{"img", "object", "embed", "frame"}));
}

TEST_F(PageWalk, FailedReadsEndTheWalkWhereTheyHappen) {
    const FakeImage ad{Src("http://ads.example.com/a.gif"), 5, 5};
    auto walkWith = [&](auto breakPage) {
        r = {};
        r.images.items = {ad};
        r.frames.items = {{Src("http://ads.example.com/f.html")}};
        breakPage();
        Walk();
        return r.asked;
    };
    EXPECT_EQ(walkWith([&] { r.images.items.push_back({FailedSrc(), 5, 5}); }), Log{"img"});
    EXPECT_EQ(walkWith([&] { r.images.items.push_back({Src("x"), std::nullopt, 5}); }), Log{"img"});
    EXPECT_EQ(walkWith([&] { r.images.items.push_back({Src("x"), 5, std::nullopt}); }), Log{"img"});
    EXPECT_EQ(walkWith([&] { r.objects.items = {{std::nullopt, Text("60")}}; }), (Log{"img", "object"}));
    EXPECT_EQ(walkWith([&] { r.embeds.items = {{std::nullopt, Text("60")}}; }), (Log{"img", "object", "embed"}));
    EXPECT_EQ(walkWith([&] { r.objects.tagsFail = true; }), (Log{"img", "object"}));
    EXPECT_EQ(walkWith([&] { r.embeds.lengthFails = true; }), (Log{"img", "object", "embed"}));
    EXPECT_EQ(r.log, Collapsed("img0"));  // what was done before the failure stays
    r = {};
    r.frames.items = {{FailedSrc()}, {Src("http://ads.example.com/f.html")}};
    Walk();
    EXPECT_TRUE(r.log.empty());
}

TEST_F(PageWalk, MissingItemsAndNonCollectionsAreSkipped) {
    r.images.items = {{Src("http://ads.example.com/0.gif"), 5, 5}, {Src("http://ads.example.com/1.gif"), 5, 5}};
    r.images.missing = {0};
    r.objects.notCollection = true;
    r.frames.items = {{Src("http://ads.example.com/f.html")}};
    Walk();
    EXPECT_EQ(r.log, (Log{"img1 width=0", "img1 height=0", "img1 alt=", "frame0 src="}));
    EXPECT_EQ(r.asked, (Log{"img", "object", "embed", "frame"}));
}

TEST_F(PageWalk, AllowAdsOrNoDocumentLeavesThePageAlone) {
    r.images.items = {{Src("http://ads.example.com/a.gif"), 468, 60}};
    r.frames.items = {{Src("http://ads.example.com/f.html")}};
    state.AllowAds = 1;
    Walk();
    EXPECT_TRUE(r.asked.empty());
    EXPECT_TRUE(r.log.empty());
    state.AllowAds = 0;
    WalkPage(nullptr, state);  // no HTML document: nothing to do, nothing to crash
}

TEST(SourceJudge, JudgesTheLowerCasedBareUrl) {
    auto shipped = List("ads.example.com:8080/banner\n");
    const ListSet lists{nullptr, nullptr, shipped.get()};
    EXPECT_EQ(JudgeSourceUrl("HTTP://ADS.EXAMPLE.COM:8080/BANNER/1.GIF", lists).verdict, Verdict::Refused);
    std::string otherPort = "http://ads.example.com/banner/1.gif";
    EXPECT_EQ(JudgeSourceUrl(otherPort, lists).verdict, Verdict::Passed);
}

}  // namespace
}  // namespace tamsel
