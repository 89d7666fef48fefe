// The verdict on one request against the three lists, in their fixed order:
// the user's trust list, then the user's block list, then the shipped one.
#pragma once

#include <memory>

#include "patterns/matcher.h"

namespace tamsel {

// One reader's view of the three lists, held for the length of one decision
// so that none of them can be freed under it.
struct ListSet {
    std::shared_ptr<const PatternList> trust;
    std::shared_ptr<const PatternList> userBlock;
    std::shared_ptr<const PatternList> shippedBlock;
};

enum class Verdict { Passed, Trusted, Refused };

struct Judgement {
    Verdict verdict = Verdict::Passed;
    // The list and entry that decided a Trusted or Refused verdict; for a
    // pass, the first exception line that answered "no", if any.
    const PatternList* list = nullptr;
    const PatternEntry* entry = nullptr;
};

Judgement JudgeRequestUrl(const RequestUrl& url, const ListSet& lists);

}  // namespace tamsel
