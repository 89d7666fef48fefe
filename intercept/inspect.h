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
// before any line end. Reads the caller's bytes only; allocates nothing.
bool LooksLikeRequestHead(const char* buffer, int32_t length);

// The most of one send the inspection reads: a request head is judged on
// its first 64 KB, and the body after it is never read.
inline constexpr size_t kMaxInspectedBytes = 64 * 1024;

// The request head at the start of a sent buffer: its bytes up to the first
// NUL, the blank line that ends the head (lines end at LF, CR LF or CR), or
// kMaxInspectedBytes, whichever comes first. No byte after that is read.
std::string_view RequestHead(const char* buffer, size_t length);

// The full inspection against the given lists. Never throws: any failure
// lets the request pass. When `parsed` is given, it receives the request as
// the lists saw it (left empty for a buffer that fails the method test).
Judgement InspectRequestWith(const char* buffer, int32_t length, const ListSet& lists,
                             RequestUrl* parsed = nullptr);

// The verdict word of a request head refused by the send filter, in the
// refusal log.
inline constexpr const char* kRefusedStage = "refused";
inline constexpr const char* kRefusedAtLookupStage = "refused at lookup";
inline constexpr const char* kRefusedByServerNameStage = "refused by server name";

// The URL a parsed request head asked for: http://HOST[:PORT]PATH.
std::string RequestUrlText(const RequestUrl& url);

// The inspection against the lists of the shared state, loaded and followed
// by the list supply: true when refused. A refusal goes to the refusal log.
bool InspectRequest(const char* buffer, int32_t length);

}  // namespace tamsel
