#include "patterns/judge.h"

namespace tamsel {

Judgement JudgeRequestUrl(const RequestUrl& url, const ListSet& lists) {
    Judgement result;
    if (!url.host) return result;
    // Split and lower-case once for all three lists.
    const HostLabels labels = SplitHostLabels(*url.host);
    const PreparedRequest request(url, labels);
    const struct {
        const PatternList* list;
        Verdict onMatch;
    } order[] = {
        {lists.trust, Verdict::Trusted},
        {lists.userBlock, Verdict::Refused},
        {lists.shippedBlock, Verdict::Refused},
    };
    for (const auto& step : order) {
        const PatternEntry* entry = FindDecidingEntry(request, step.list);
        if (entry == nullptr) continue;
        if (entry->positive) return {step.onMatch, step.list, entry};
        if (result.entry == nullptr) result = {Verdict::Passed, step.list, entry};
    }
    return result;
}

}  // namespace tamsel
