#include "browser/page_walk.h"

#include <cstdlib>

#include "browser/source_judge.h"
#include "patterns/text.h"

namespace tamsel {

namespace {

enum class Next { Go, End };

bool WithinOnePixel(int32_t value, int32_t target) {
    // 64 bits: the difference of two int32 values can exceed the int32 range.
    return std::llabs(static_cast<int64_t>(value) - target) <= 1;
}

bool HasExemptMarker(const std::string& url) {
    for (std::string_view marker : ExemptSiteMarkers) {
        if (url.find(marker) != std::string::npos) return true;
    }
    return false;
}

// The verdict of the lists on one source, read in one section so that a list
// replaced meanwhile is not freed under the judgement. The source is
// lower-cased in place: its markers are looked for in that form.
Verdict JudgeSource(std::string& url, const SharedState& state) {
    LowerAscii(url);
    const SharedState::Reader reader(state);
    return JudgeSourceUrl(url, reader.lists()).verdict;
}

bool ImageIsAd(std::string& url, int32_t width, int32_t height, const SharedState& state) {
    switch (JudgeSource(url, state)) {
        case Verdict::Trusted: return false;
        case Verdict::Refused: return true;
        case Verdict::Passed: break;
    }
    if (width == 1 && height == 1 && !HasExemptMarker(url)) return true;
    return HasStandardAdSize(width, height);
}

// An element without a source (a lazy image, an empty frame) is no failure:
// it is left as it is and the walk goes on. A failed read ends the walk.
Next JudgeImage(ImageElement& image, const SharedState& state) {
    SourceRead source = image.Source();
    if (source.status == SourceRead::Status::Absent) return Next::Go;
    if (source.status != SourceRead::Status::Present) return Next::End;
    const std::optional<int32_t> width = image.Width();
    if (!width) return Next::End;
    const std::optional<int32_t> height = image.Height();
    if (!height) return Next::End;
    if (ImageIsAd(source.text, *width, *height, state)) {
        image.PutWidth(0);
        image.PutHeight(0);
        image.PutEmptyAlt();
    }
    return Next::Go;
}

// Objects let a failed height read pass as "no size"; embeds end the walk.
enum class HeightFailure { NoSize, EndsWalk };

Next JudgePlugin(PluginElement& plugin, HeightFailure onHeightFailure) {
    const std::optional<PluginSize> width = plugin.Width();
    if (!width) return Next::End;
    const std::optional<PluginSize> height = plugin.Height();
    if (!height && onHeightFailure == HeightFailure::EndsWalk) return Next::End;
    if (!width->text || !height || !height->text) return Next::Go;
    if (HasStandardAdSize(AtoiSaturating(*width->text), AtoiSaturating(*height->text))) {
        plugin.PutEmptyWidth();
        plugin.PutEmptyHeight();
    }
    return Next::Go;
}

Next JudgeFrame(FrameElement& frame, const SharedState& state) {
    SourceRead source = frame.Source();
    if (source.status == SourceRead::Status::Absent) return Next::Go;
    if (source.status != SourceRead::Status::Present) return Next::End;
    if (JudgeSource(source.text, state) == Verdict::Refused) frame.PutEmptySource();
    return Next::Go;
}

// Walks the elements of one kind; `judge` decides each one.
template <class Element, class Judge>
Next WalkKind(Tags<Element> tags, Judge judge) {
    if (tags.failed) return Next::End;
    if (!tags.list) return Next::Go;
    const std::optional<int32_t> length = tags.list->Length();
    if (!length) return Next::End;
    for (int32_t i = 0; i < *length; ++i) {
        const std::unique_ptr<Element> element = tags.list->Item(i);
        if (element && judge(*element) == Next::End) return Next::End;
    }
    return Next::Go;
}

}  // namespace

bool HasStandardAdSize(int32_t width, int32_t height) {
    for (const AdSize& size : StandardAdSizes) {
        if (WithinOnePixel(width, size.width) && WithinOnePixel(height, size.height)) return true;
    }
    return false;
}

void WalkPage(PageDocument* page, const SharedState& state) {
    if (page == nullptr) return;
    auto images = [&](ImageElement& e) { return JudgeImage(e, state); };
    auto objects = [](PluginElement& e) { return JudgePlugin(e, HeightFailure::NoSize); };
    auto embeds = [](PluginElement& e) { return JudgePlugin(e, HeightFailure::EndsWalk); };
    auto frames = [&](FrameElement& e) { return JudgeFrame(e, state); };
    // The switch is read afresh before each kind, before its elements are
    // asked for, so a change made meanwhile takes effect at the next kind.
    auto allowed = [&] { return state.AllowAds.load() != 0; };
    if (allowed() || WalkKind(page->Images(), images) == Next::End) return;
    if (allowed() || WalkKind(page->Objects(), objects) == Next::End) return;
    if (allowed() || WalkKind(page->Embeds(), embeds) == Next::End) return;
    if (allowed()) return;
    WalkKind(page->Frames(), frames);
}

}  // namespace tamsel
