// The walk over a finished page: images, plug-in objects, embedded plug-ins
// and inline frames, each judged and, when judged an advertisement, shrunk or
// emptied in place. Nothing is removed from the document.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "browser/page_model.h"
#include "runtime/shared_state.h"

namespace tamsel {

struct AdSize {
    int32_t width;
    int32_t height;
};

// The sizes that mark an element as an advertisement, give or take one pixel
// on each axis.
inline constexpr std::array<AdSize, 16> StandardAdSizes = {{
    {468, 60},
    {234, 60},
    {88, 31},
    {120, 90},
    {120, 60},
    {120, 240},
    {125, 125},
    {160, 600},
    {120, 600},
    {300, 250},
    {250, 250},
    {240, 400},
    {336, 280},
    {180, 150},
    {460, 55},
    {392, 72},
}};

// Sites of these kinds use one-pixel images for layout, not for tracking: an
// image whose lower-cased URL holds one of them escapes the one-pixel rule
// (and only that rule).
inline constexpr std::array<std::string_view, 6> ExemptSiteMarkers = {
    ".edu/", ".org/", ".gov/", ".edu.", ".org.", ".gov.",
};

bool HasStandardAdSize(int32_t width, int32_t height);

// Walks `page` (null: nothing to walk) against the lists of `state`. Stops
// before each kind of element while `state.AllowAds` is set, and at the first
// read that fails where the rest of the page cannot be trusted to answer. An
// element without a source is left alone and the walk goes on.
void WalkPage(PageDocument* page, const SharedState& state);

}  // namespace tamsel
