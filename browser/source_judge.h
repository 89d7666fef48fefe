// How an element's source URL meets the lists: parsed as a one-token request
// line with no host value, its host and path compared lower-cased, then
// judged in the lists' fixed order. The page walk and `tamsel check` share it
// so that they always agree.
#pragma once

#include <string_view>

#include "patterns/judge.h"

namespace tamsel {

// Judges `url` against `lists` as its lower-cased form would be judged. The
// URL is read in place: nothing is copied to the heap for hosts and paths
// within the inline bounds of HostLabels and LoweredPath.
Judgement JudgeSourceUrl(std::string_view url, const ListSet& lists);

}  // namespace tamsel
