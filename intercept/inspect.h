// The gate on every outgoing buffer: is it the head of a GET or POST request
// that the lists refuse?
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "patterns/judge.h"

namespace tamsel {

// First position i < bound at which `needle` agrees with `text` (A to Z
// without regard to case, every other byte exactly) and lies wholly within
// `readable` bytes. With `stopAtLineEnd`, a CR or LF at a candidate start
// ends the search.
std::optional<size_t> FindTextNoCase(const char* text, size_t readable, const char* needle, int64_t bound,
                                     bool stopAtLineEnd);

// Whether the buffer carries "GET " or "POST " within its first eight bytes,
// before any line end, after any empty lines that lead it (a client may send
// line ends before a request). Reads the caller's bytes only; allocates nothing.
bool LooksLikeRequestHead(const char* buffer, int32_t length);

// What a buffer about to be sent starts with, as far as the send filter cares.
enum class OutgoingKind { Other, RequestHead, ClientHello };

// A buffer about to be sent, with its kind as ClassifyOutgoing found it. The
// inspection that follows takes the kind as found and does not test it again.
struct OutgoingBuffer {
    const char* bytes = nullptr;
    size_t length = 0;
    OutgoingKind kind = OutgoingKind::Other;
    size_t headStart = 0;  // a request head's first byte, past the empty lines that lead it
};

// The one look at every buffer a process sends: a request head as
// LooksLikeRequestHead finds one, else a ClientHello as LooksLikeClientHello
// (intercept/tls_client_hello.h) does. Reads at most the leading line ends
// and the eight bytes after them, or the first six bytes.
OutgoingBuffer ClassifyOutgoing(const char* bytes, size_t length);

// The most of one request head the inspection reads: a head is judged on
// its first 64 KB, and a body is skipped by its Content-Length, unread.
inline constexpr size_t kMaxInspectedBytes = 64 * 1024;

// The request head at the start of a sent buffer: its bytes up to the first
// NUL, the blank line that ends the head (lines end at LF, CR LF or CR), or
// kMaxInspectedBytes, whichever comes first. No byte after that is read.
std::string_view RequestHead(const char* buffer, size_t length);

// Where the body of the last request head of a buffer lies, counted from the
// buffer's start: from `bodyStart` to `bodyEnd`, which is past the buffer's
// end when the body goes on in later sends. Both zero when no body is due.
struct BodyTrail {
    uint64_t bodyStart = 0;
    uint64_t bodyEnd = 0;
};

// What is left of a trailing body once the first `sent` bytes of its buffer
// went out; 0 when none is due (or the head itself did not go out whole).
uint64_t BodyLeftAfter(const BodyTrail& trail, uint64_t sent);

// Judges every request head in bytes a connection sends, as pipelined
// requests follow one another: a head, its body as long as its
// Content-Length says (skipped unread), then the next head after any empty
// lines. `bodyLeft` bytes at the start are the rest of a body announced
// before. A head without its blank line within the bound, or with a body of
// no stated length (chunked), ends the reading. The first refusal decides;
// else the first head's judgement. `trail`, when given, receives where the
// last head's body lies. Never throws: any failure lets the bytes pass.
Judgement InspectStreamWith(const char* buffer, size_t length, uint64_t bodyLeft, const ListSet& lists,
                            BodyTrail* trail = nullptr, RequestUrl* parsed = nullptr);

// The same for a buffer that starts a request head, on its own.
Judgement InspectRequestWith(const char* buffer, int32_t length, const ListSet& lists, RequestUrl* parsed = nullptr);

// The verdict word of a request head refused by the send filter, in the
// refusal log.
inline constexpr const char* kRefusedStage = "refused";
inline constexpr const char* kRefusedAtLookupStage = "refused at lookup";
inline constexpr const char* kRefusedByServerNameStage = "refused by server name";

// The URL a parsed request head asked for: http://HOST[:PORT]PATH.
std::string RequestUrlText(const RequestUrl& url);

// The inspection against the lists of the shared state, loaded and followed
// by the list supply, of a buffer classified as a request head (any other
// passes): true when refused. A refusal goes to the refusal log. `trail`,
// when given, receives where the last head's body lies.
bool InspectRequest(const OutgoingBuffer& buffer, BodyTrail* trail = nullptr);

// The same for bytes of a connection, as InspectStreamWith reads them.
bool InspectStream(const char* buffer, size_t length, uint64_t bodyLeft, BodyTrail* trail);

}  // namespace tamsel
