#include "intercept/inspect.h"

#include <cstring>
#include <string>

#include "module/list_supply.h"
#include "module/refusal_log.h"
#include "module/shared_state.h"
#include "patterns/text.h"

namespace tamsel {

std::optional<size_t> FindTextNoCase(const char* text, size_t readable, const char* needle, int64_t bound,
                                     bool stopAtLineEnd) {
    if (text == nullptr) return std::nullopt;
    const size_t needleLength = std::strlen(needle);
    for (int64_t i = 0; i < bound && static_cast<size_t>(i) < readable; ++i) {
        const size_t at = static_cast<size_t>(i);
        if (stopAtLineEnd && (text[at] == '\n' || text[at] == '\r')) return std::nullopt;
        if (readable - at < needleLength) continue;
        size_t k = 0;
        while (k < needleLength && AsciiLower(text[at + k]) == AsciiLower(needle[k])) ++k;
        if (k == needleLength) return at;
    }
    return std::nullopt;
}

bool LooksLikeRequestHead(const char* buffer, int32_t length) {
    if (buffer == nullptr || length <= 0) return false;
    const int64_t bound = length < 8 ? length : 8;
    // Every send of the process comes here, so the common answer "no" must
    // be cheap: "GET " or "POST " starts within the first eight bytes, so one
    // of them is a G or a P, and most buffers are turned away on that alone.
    bool candidate = false;
    for (int64_t i = 0; i < bound && !candidate; ++i) {
        const int folded = static_cast<unsigned char>(buffer[i]) | 0x20;
        candidate = folded == 'g' || folded == 'p';
    }
    if (!candidate) return false;
    const size_t readable = static_cast<size_t>(length);
    return FindTextNoCase(buffer, readable, "GET ", bound, true) ||
           FindTextNoCase(buffer, readable, "POST ", bound, true);
}

namespace {

// The inspection after the method test has passed.
Judgement InspectHead(const char* buffer, int32_t length, const ListSet& lists, RequestUrl* parsed) {
    // The private copy ends at the first NUL or after `length` bytes.
    const void* nul = std::memchr(buffer, '\0', static_cast<size_t>(length));
    const size_t copyLength = nul ? static_cast<size_t>(static_cast<const char*>(nul) - buffer)
                                  : static_cast<size_t>(length);
    std::string copy(buffer, copyLength);
    char* text = copy.data();

    // The search bound is the sender's length, clamped to the copy so no
    // byte past it is ever read.
    const auto host = FindTextNoCase(text, copyLength, "host:", static_cast<int64_t>(copyLength), false);
    if (!host) return {};
    size_t begin = *host + 5;
    while (begin < copyLength && text[begin] == ' ') ++begin;
    size_t end = begin;
    while (end < copyLength && text[end] != ' ' && text[end] != '\r' && text[end] != '\n') ++end;
    text[end] = '\0';  // the copy's own terminator when end == copyLength
    const std::string hostValue(text + begin, end - begin);

    text[std::strcspn(text, "\r\n")] = '\0';
    RequestUrl url;
    ParseRequestUrl(text, hostValue.c_str(), &url);
    const Judgement judgement = JudgeRequestUrl(url, lists);
    if (parsed != nullptr) *parsed = std::move(url);
    return judgement;
}

}  // namespace

std::string RequestUrlText(const RequestUrl& url) {
    std::string text = "http://" + url.host.value_or("");
    if (url.port != 80) text += ":" + std::to_string(url.port);
    return text + url.path.value_or("");
}

Judgement InspectRequestWith(const char* buffer, int32_t length, const ListSet& lists, RequestUrl* parsed) {
    if (!LooksLikeRequestHead(buffer, length)) return {};
    try {
        return InspectHead(buffer, length, lists, parsed);
    } catch (...) {
        return {};  // fail open
    }
}

bool InspectRequest(const char* buffer, int32_t length) {
    // The cheap test first: most traffic never needs the lists at all.
    if (!LooksLikeRequestHead(buffer, length)) return false;
    if (!ListsReady()) return false;  // fail open
    try {
        const SharedState::Reader reader(TheSharedState());
        // The request is kept only when a log will name it.
        RequestUrl url;
        const bool logged = RefusalLogNamed();
        const Judgement judgement = InspectHead(buffer, length, reader.lists(), logged ? &url : nullptr);
        if (judgement.verdict != Verdict::Refused) return false;
        if (logged) LogRefusal(kRefusedStage, RequestUrlText(url), judgement);
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace tamsel
