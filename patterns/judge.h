// The verdict on one request against the three lists, in their fixed order:
// the user's trust list, then the user's block list, then the shipped one.
#pragma once

#include <string_view>

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

// With PathMode::Unknown only lines without a path take part. Allocates
// nothing for hosts and paths within the inline bounds of HostLabels and
// LoweredPath (the regex engine aside, on the lines that need it).
Judgement JudgeRequest(const RequestView& request, const ListSet& lists, PathMode mode = PathMode::Known);

// The same for an owned record.
Judgement JudgeRequestUrl(const RequestUrl& url, const ListSet& lists, PathMode mode = PathMode::Known);

// Whether every request to `host`, on any port and any path, is refused, so
// that its name need not even be looked up. Refused (with the block line
// that decides every such request) only when no trust line can match the
// host (a trust line without a host matches them all), and the user block
// list or the shipped one holds a line without path or port that matches
// it, with no exception line after it in that list whose host can match.
// Anything less certain passes and is left to the request's own judgement.
Judgement JudgeHostLookup(std::string_view host, const ListSet& lists);

}  // namespace tamsel
