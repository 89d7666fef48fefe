#include "browser/source_judge.h"

#include "intercept/lookup.h"
#include "patterns/request_url.h"

namespace tamsel {

// Only the host and the path meet the lists, and both are lower-cased as the
// request is prepared; the scheme is read without regard to case.
Judgement JudgeSourceUrl(std::string_view url, const ListSet& lists) {
    return JudgeRequest(ParseRequestView(url, std::nullopt), lists);
}

// One parse serves both stages; the lookup gate reads a name without regard
// to case, as the resolver hands names over.
UrlJudgement JudgeUrlAtEarliestStage(std::string_view url, const ListSet& lists) {
    const RequestView request = ParseRequestView(url, std::nullopt);
    if (request.host) {
        const Judgement lookup = InspectLookupWith(*request.host, lists);
        if (lookup.verdict == Verdict::Refused) return {lookup, true};
    }
    return {JudgeRequest(request, lists), false};
}

}  // namespace tamsel
