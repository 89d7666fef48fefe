#include "browser/source_judge.h"

#include "patterns/request_url.h"
#include "patterns/text.h"

namespace tamsel {

Judgement JudgeSourceUrl(std::string& url, const ListSet& lists) {
    LowerAscii(url);
    return JudgeRequest(ParseRequestView(url, std::nullopt), lists);
}

}  // namespace tamsel
