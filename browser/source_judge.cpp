#include "browser/source_judge.h"

#include <string>

#include "intercept/lookup.h"
#include "patterns/request_url.h"
#include "patterns/text.h"

namespace tamsel {

// Only the host and the path meet the lists, and both are lower-cased as the
// request is prepared; the scheme is read without regard to case.
Judgement JudgeSourceUrl(std::string_view url, const ListSet& lists) {
    return JudgeRequest(ParseRequestView(url, std::nullopt), lists);
}

UrlJudgement JudgeUrlAtEarliestStage(std::string_view url, const ListSet& lists) {
    std::string lowered(url);
    LowerAscii(lowered);
    RequestUrl parsed;
    ParseRequestUrl(lowered.c_str(), nullptr, &parsed);
    if (parsed.host) {
        const Judgement lookup = InspectLookupWith(*parsed.host, lists);
        if (lookup.verdict == Verdict::Refused) return {lookup, true};
    }
    return {JudgeSourceUrl(url, lists), false};
}

}  // namespace tamsel
