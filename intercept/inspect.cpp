#include "intercept/inspect.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <string_view>

#include "intercept/refusal.h"
#include "intercept/tls_client_hello.h"
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

namespace {

bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

// The empty lines a client may send before a request line, within the
// bound of a head: a file write of many of them stays cheap.
size_t LeadingLineEnds(const char* buffer, size_t length) {
    const size_t limit = std::min(length, kMaxInspectedBytes);
    size_t at = 0;
    while (at < limit && IsLineEnd(buffer[at])) ++at;
    return at;
}

// Where the request line of a head starts, past the empty lines that lead
// it, or nullopt when the buffer does not start a head.
std::optional<size_t> RequestHeadStart(const char* buffer, size_t length) {
    if (buffer == nullptr || length == 0) return std::nullopt;
    const size_t skipped = LeadingLineEnds(buffer, length);
    const char* line = buffer + skipped;
    const size_t readable = length - skipped;
    const auto bound = static_cast<int64_t>(std::min<size_t>(readable, 8));
    // Every send of the process comes here, so the common answer "no" must
    // be cheap: "GET " or "POST " starts within the first eight bytes, so one
    // of them is a G or a P, and most buffers are turned away on that alone.
    bool candidate = false;
    for (int64_t i = 0; i < bound && !candidate; ++i) {
        const int folded = static_cast<unsigned char>(line[i]) | 0x20;
        candidate = folded == 'g' || folded == 'p';
    }
    if (!candidate) return std::nullopt;
    if (FindTextNoCase(line, readable, "GET ", bound, true) || FindTextNoCase(line, readable, "POST ", bound, true)) {
        return skipped;
    }
    return std::nullopt;
}

}  // namespace

bool LooksLikeRequestHead(const char* buffer, int32_t length) {
    return length > 0 && RequestHeadStart(buffer, static_cast<size_t>(length)).has_value();
}

OutgoingBuffer ClassifyOutgoing(const char* bytes, size_t length) {
    OutgoingBuffer buffer{bytes, length};
    if (const std::optional<size_t> start = RequestHeadStart(bytes, length)) {
        buffer.kind = OutgoingKind::RequestHead;
        buffer.headStart = *start;
    } else if (LooksLikeClientHello(reinterpret_cast<const unsigned char*>(bytes), length)) {
        buffer.kind = OutgoingKind::ClientHello;
    }
    return buffer;
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

// A header's value: blanks and tabs after the colon skipped, ended by a
// blank, a tab or the line end.
std::string_view HeaderValue(std::string_view line, size_t nameLength) {
    line.remove_prefix(nameLength);
    while (!line.empty() && IsBlankOrTab(line.front())) line.remove_prefix(1);
    size_t length = 0;
    while (length < line.size() && !IsBlankOrTab(line[length])) ++length;
    return line.substr(0, length);
}

// The header lines (after the request line) the inspection reads: the first
// of each name, in any case. A name matches only as a whole header name.
struct HeadFields {
    std::optional<std::string_view> host;
    std::optional<std::string_view> contentLength;
    bool transferEncoding = false;
};

HeadFields ReadFields(std::string_view head) {
    HeadFields fields;
    for (size_t pos = NextLine(head, LineEnd(head, 0)); pos < head.size();) {
        const size_t end = LineEnd(head, pos);
        const std::string_view line = head.substr(pos, end - pos);
        if (!fields.host && StartsWithNoCase(line, "host:")) {
            fields.host = HeaderValue(line, 5);
        } else if (!fields.contentLength && StartsWithNoCase(line, "content-length:")) {
            fields.contentLength = HeaderValue(line, 15);
        } else if (StartsWithNoCase(line, "transfer-encoding:")) {
            fields.transferEncoding = true;
        }
        pos = NextLine(head, end);
    }
    return fields;
}

// A head and where its blank line starts, or nullopt when the head is not
// ended within what was read.
struct HeadExtent {
    std::string_view head;
    std::optional<size_t> blankLine;
};

HeadExtent FindHead(const char* buffer, size_t length) {
    const size_t limit = std::min(length, kMaxInspectedBytes);
    size_t lineStart = 0;
    for (size_t i = 0; i < limit; ++i) {
        const char c = buffer[i];
        if (c == '\0') return {{buffer, i}, std::nullopt};
        if (!IsLineEnd(c)) continue;
        if (i == lineStart && i > 0) return {{buffer, i}, i};
        if (c == '\r' && i + 1 < limit && buffer[i + 1] == '\n') ++i;
        lineStart = i + 1;
    }
    return {{buffer, limit}, std::nullopt};
}

// Just past the blank line that starts at `blank`. Read only once the head
// has been judged: a refused head's next byte is never looked at.
size_t PastBlankLine(const char* buffer, size_t length, size_t blank) {
    const bool crlf = buffer[blank] == '\r' && blank + 1 < length && buffer[blank + 1] == '\n';
    return blank + (crlf ? 2 : 1);
}

// The body length a head announces: zero without Content-Length, nullopt
// when it cannot be known (chunked, or a length that is not a number).
std::optional<uint64_t> BodyLength(const HeadFields& fields) {
    if (fields.transferEncoding) return std::nullopt;
    if (!fields.contentLength) return 0;
    const std::string_view digits = *fields.contentLength;
    if (digits.empty() || digits.size() > 18) return std::nullopt;
    uint64_t value = 0;
    for (const char c : digits) {
        if (!IsAsciiDigit(c)) return std::nullopt;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    return value;
}

// Judges one head whose method test has passed, from views into the buffer.
// `parsed`, when given, receives a copy of a refused request, and of any
// other when `keepAny` is set.
Judgement JudgeHead(std::string_view head, const HeadFields& fields, const ListSet& lists, RequestUrl* parsed,
                    bool keepAny) {
    const std::string_view requestLine = head.substr(0, LineEnd(head, 0));
    const RequestView request = ParseRequestView(requestLine, fields.host);
    const Judgement judgement = JudgeRequest(request, lists);
    if (parsed != nullptr && (keepAny || judgement.verdict == Verdict::Refused)) {
        KeepRequest(request, requestLine, parsed);
    }
    return judgement;
}

// Where the next request starts, past the empty lines at `at`, and whether
// it is a head the lists judge.
struct NextRequest {
    size_t at;
    bool judged;
};

NextRequest FindNextRequest(const char* buffer, size_t length, size_t at) {
    at += LeadingLineEnds(buffer + at, length - at);
    const auto readable = static_cast<int32_t>(std::min<size_t>(length - at, INT32_MAX));
    return {at, LooksLikeRequestHead(buffer + at, readable)};
}

// The walk behind InspectStreamWith, which catches what it throws. The
// caller's `parsed` names the first head, or the refused one. `knownHead` is
// where the first head starts when the caller has found it already.
Judgement WalkHeads(const char* buffer, size_t length, uint64_t bodyLeft, std::optional<size_t> knownHead,
                    const ListSet& lists, BodyTrail* trail, RequestUrl* parsed) {
    if (bodyLeft >= length) {
        *trail = {0, bodyLeft};
        return {};
    }
    std::optional<Judgement> first;
    // After a body, whatever comes is the next request; a buffer of its own
    // must show a request head first.
    bool inRequests = bodyLeft > 0;
    for (size_t at = static_cast<size_t>(bodyLeft); at < length;) {
        const NextRequest next = knownHead ? NextRequest{*knownHead, true} : FindNextRequest(buffer, length, at);
        knownHead.reset();
        at = next.at;
        const size_t rest = length - at;
        if (rest == 0 || (!next.judged && !inRequests)) break;
        inRequests = true;
        const HeadExtent extent = FindHead(buffer + at, rest);
        const HeadFields fields = ReadFields(extent.head);
        if (next.judged) {
            const Judgement judgement = JudgeHead(extent.head, fields, lists, parsed, !first);
            if (judgement.verdict == Verdict::Refused) return judgement;
            if (!first) first = judgement;
        }
        const std::optional<uint64_t> body = BodyLength(fields);
        if (!extent.blankLine || !body) break;
        const uint64_t bodyStart = at + PastBlankLine(buffer + at, rest, *extent.blankLine);
        if (bodyStart + *body > length) {
            *trail = {bodyStart, bodyStart + *body};
            break;
        }
        at = static_cast<size_t>(bodyStart + *body);
    }
    return first.value_or(Judgement{});
}

// InspectStreamWith, for a caller that may have found the first head.
Judgement InspectHeads(const char* buffer, size_t length, uint64_t bodyLeft, std::optional<size_t> knownHead,
                       const ListSet& lists, BodyTrail* trail, RequestUrl* parsed) {
    BodyTrail ignored;
    if (trail == nullptr) trail = &ignored;
    *trail = {};
    if (buffer == nullptr) return {};
    try {
        return WalkHeads(buffer, length, bodyLeft, knownHead, lists, trail, parsed);
    } catch (...) {
        *trail = {};
        return {};  // fail open
    }
}

// The same against the lists of the moment; a refusal goes to the log.
bool RefusedNow(const char* buffer, size_t length, uint64_t bodyLeft, std::optional<size_t> knownHead,
                BodyTrail* trail) {
    BodyTrail ignored;
    if (trail == nullptr) trail = &ignored;
    *trail = {};
    return RefusedWithCurrentLists(kRefusedStage, [&](const ListSet& lists, std::string* subject) {
        // The request is kept only when a log will name it.
        RequestUrl url;
        const bool logged = RefusalLogNamed();
        const Judgement judgement =
            InspectHeads(buffer, length, bodyLeft, knownHead, lists, trail, logged ? &url : nullptr);
        if (logged && judgement.verdict == Verdict::Refused) *subject = RequestUrlText(url);
        return judgement;
    });
}

}  // namespace

std::string RequestUrlText(const RequestUrl& url) {
    std::string text = "http://" + url.host.value_or("");
    if (url.port != 80) text += ":" + std::to_string(url.port);
    return text + url.path.value_or("");
}

std::string_view RequestHead(const char* buffer, size_t length) { return FindHead(buffer, length).head; }

uint64_t BodyLeftAfter(const BodyTrail& trail, uint64_t sent) {
    if (sent < trail.bodyStart || sent >= trail.bodyEnd) return 0;
    return trail.bodyEnd - sent;
}

Judgement InspectStreamWith(const char* buffer, size_t length, uint64_t bodyLeft, const ListSet& lists,
                            BodyTrail* trail, RequestUrl* parsed) {
    return InspectHeads(buffer, length, bodyLeft, std::nullopt, lists, trail, parsed);
}

Judgement InspectRequestWith(const char* buffer, int32_t length, const ListSet& lists, RequestUrl* parsed) {
    if (length <= 0) return {};
    const size_t size = static_cast<size_t>(length);
    const std::optional<size_t> start = RequestHeadStart(buffer, size);
    if (!start) return {};
    return InspectHeads(buffer, size, 0, start, lists, nullptr, parsed);
}

bool InspectStream(const char* buffer, size_t length, uint64_t bodyLeft, BodyTrail* trail) {
    return RefusedNow(buffer, length, bodyLeft, std::nullopt, trail);
}

bool InspectRequest(const OutgoingBuffer& buffer, BodyTrail* trail) {
    // Most traffic was found to be something else and never needs the lists.
    if (buffer.kind != OutgoingKind::RequestHead) {
        if (trail != nullptr) *trail = {};
        return false;
    }
    return RefusedNow(buffer.bytes, buffer.length, 0, buffer.headStart, trail);
}

}  // namespace tamsel
