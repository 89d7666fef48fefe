// The verdict on one request against the three lists, in their fixed order:
// the user's trust list, then the user's block list, then the shipped one.
#pragma once

#include "patterns/matcher.h"

namespace tamsel {

// The three lists one decision consults; any may be null. Whoever fills it
// keeps the lists alive for the length of the decision.
struct ListSet {
    const PatternList* trust = nullptr;
    const PatternList* userBlock = nullptr;
    const PatternList* shippedBlock = nullptr;
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
