// How an element's source URL meets the lists: lower-cased, then parsed as a
// one-token request line with no host value, then judged in the lists' fixed
// order. The page walk and `tamsel check` share it so that they always agree.
#pragma once

#include <string>

#include "patterns/judge.h"

namespace tamsel {

// Lower-cases A to Z of `url` in place and judges it against `lists`.
Judgement JudgeSourceUrl(std::string& url, const ListSet& lists);

}  // namespace tamsel
