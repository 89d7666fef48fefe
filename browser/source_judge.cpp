#include "browser/source_judge.h"

#include "patterns/request_url.h"

namespace tamsel {

// Only the host and the path meet the lists, and both are lower-cased as the
// request is prepared; the scheme is read without regard to case.
Judgement JudgeSourceUrl(std::string_view url, const ListSet& lists) {
    return JudgeRequest(ParseRequestView(url, std::nullopt), lists);
}

}  // namespace tamsel
