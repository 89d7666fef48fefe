#include "browser/source_judge.h"

#include "patterns/request_url.h"
#include "patterns/text.h"

namespace tamsel {

Judgement JudgeSourceUrl(std::string& url, const ListSet& lists) {
    LowerAscii(url);
    RequestUrl request;
    ParseRequestUrl(url.c_str(), nullptr, &request);
    return JudgeRequestUrl(request, lists);
}

}  // namespace tamsel
