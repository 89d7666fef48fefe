#include "intercept/inspect.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

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

// Lines end at LF, CR LF or CR. The end of the line that starts at `from`.
size_t LineEnd(std::string_view text, size_t from) {
    const size_t end = text.find_first_of("\r\n", from);
    return end == std::string_view::npos ? text.size() : end;
}

// The start of the line after the one that ends at `end`.
size_t NextLine(std::string_view text, size_t end) {
    if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') return end + 2;
    return end + 1;
}

bool IsBlankOrTab(char c) { return c == ' ' || c == '\t'; }

// The value of the first header line (after the request line) whose name is
// Host in any case: blanks and tabs after the colon skipped, ended by a blank,
// a tab or the line end. Nothing when there is no such line.
std::optional<std::string_view> HostHeaderValue(std::string_view head) {
    for (size_t pos = NextLine(head, LineEnd(head, 0)); pos < head.size();) {
        const size_t end = LineEnd(head, pos);
        std::string_view line = head.substr(pos, end - pos);
        if (StartsWithNoCase(line, "host:")) {
            line.remove_prefix(5);
            while (!line.empty() && IsBlankOrTab(line.front())) line.remove_prefix(1);
            size_t length = 0;
            while (length < line.size() && !IsBlankOrTab(line[length])) ++length;
            return line.substr(0, length);
        }
        pos = NextLine(head, end);
    }
    return std::nullopt;
}

// The inspection after the method test has passed. The request is judged
// from views into the buffer; only a caller that asks for it gets a copy.
Judgement InspectHead(const char* buffer, int32_t length, const ListSet& lists, RequestUrl* parsed) {
    const std::string_view head = RequestHead(buffer, static_cast<size_t>(length));
    const auto host = HostHeaderValue(head);
    if (!host) return {};
    const std::string_view requestLine = head.substr(0, LineEnd(head, 0));
    const RequestView request = ParseRequestView(requestLine, *host);
    const Judgement judgement = JudgeRequest(request, lists);
    if (parsed != nullptr) KeepRequest(request, requestLine, parsed);
    return judgement;
}

}  // namespace

std::string RequestUrlText(const RequestUrl& url) {
    std::string text = "http://" + url.host.value_or("");
    if (url.port != 80) text += ":" + std::to_string(url.port);
    return text + url.path.value_or("");
}

std::string_view RequestHead(const char* buffer, size_t length) {
    const size_t limit = std::min(length, kMaxInspectedBytes);
    size_t lineStart = 0;
    for (size_t i = 0; i < limit; ++i) {
        const char c = buffer[i];
        if (c == '\0') return {buffer, i};
        if (c != '\r' && c != '\n') continue;
        if (i == lineStart && i > 0) return {buffer, i};  // the blank line that ends the head
        if (c == '\r' && i + 1 < limit && buffer[i + 1] == '\n') ++i;
        lineStart = i + 1;
    }
    return {buffer, limit};
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
