#include "patterns/pattern_list.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "patterns/file_bytes.h"
#include "patterns/text.h"

namespace tamsel {

void LineNumbers::Add(int32_t lineNumber) {
    if (count_ == 0 || lineNumber != last_ + 1) jumpsBuilt_.push_back(Jump{count_, lineNumber});
    last_ = lineNumber;
    ++count_;
}

void LineNumbers::Seal() {
    jumpsBuilt_.shrink_to_fit();
    jumps_.Adopt(std::move(jumpsBuilt_));
}

int32_t LineNumbers::Of(size_t fileIndex) const {
    const auto after = std::upper_bound(jumps_.begin(), jumps_.end(), fileIndex,
                                        [](size_t i, const Jump& jump) { return i < jump.fileIndex; });
    if (after == jumps_.begin()) return 0;
    const Jump& run = *(after - 1);
    return run.lineNumber + static_cast<int32_t>(fileIndex - run.fileIndex);
}

int32_t PatternList::Port(const PatternEntry& e) const {
    if (!e.hasPort) return 0;
    const std::string_view t = Text(e);
    const size_t colon = e.hostLength + 1;
    return AtoiSaturating(t.substr(colon, t.find('/', colon) - colon));
}

namespace {

// What the cleaning makes of each byte: kept, dropped (white space), or the
// end of the pattern (CR, LF, NUL and "#").
enum ByteClass : uint8_t { kKeep, kDrop, kStop };

constexpr std::array<uint8_t, 256> kByteClasses = [] {
    std::array<uint8_t, 256> classes{};
    for (int c = 0; c < 256; ++c) {
        const char ch = static_cast<char>(c);
        classes[c] = (ch == '\r' || ch == '\n' || ch == '\0' || ch == '#') ? kStop : IsCSpace(ch) ? kDrop : kKeep;
    }
    return classes;
}();

// Whether any of eight bytes is one the cleaning must look at: white space,
// a stop byte (all of them but "#" are below 0x21) or "#".
constexpr bool HasSpecialByte(uint64_t word) {
    constexpr uint64_t kOnes = 0x0101010101010101u;
    constexpr uint64_t kHighs = 0x8080808080808080u;
    const uint64_t below21 = (word - kOnes * 0x21) & ~word & kHighs;
    const uint64_t hash = word ^ (kOnes * '#');
    return (below21 | ((hash - kOnes) & ~hash & kHighs)) != 0;
}

// How many line feeds `text` holds, eight bytes at a time.
size_t CountLineFeeds(std::string_view text) {
    constexpr uint64_t kLows = 0x7f7f7f7f7f7f7f7fu;
    size_t count = 0;
    size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        uint64_t word;
        std::memcpy(&word, text.data() + i, 8);
        const uint64_t x = word ^ 0x0a0a0a0a0a0a0a0au;                     // a zero byte where a line feed was
        const uint64_t marks = ~(((x & kLows) + kLows) | x | kLows) >> 7;  // one low bit per line feed
        count += static_cast<size_t>((marks * 0x0101010101010101u) >> 56);
    }
    return count + static_cast<size_t>(std::count(text.begin() + static_cast<ptrdiff_t>(i), text.end(), '\n'));
}

// The first CR or LF in [p, limit), else limit.
const char* FindLineEnd(const char* p, const char* limit) {
    const void* lf = std::memchr(p, '\n', static_cast<size_t>(limit - p));
    const char* end = lf == nullptr ? limit : static_cast<const char*>(lf);
    const void* cr = std::memchr(p, '\r', static_cast<size_t>(end - p));
    return cr == nullptr ? end : static_cast<const char*>(cr);
}

// Cleans the piece [*in, limit) to `out`, which may be the piece itself or
// lie before it: everything up to its first stop byte, white space dropped.
// Plain runs move eight bytes at a time; each word is read before it is
// written, and the writing never passes the reading. Leaves `*in` just past
// the piece (past its line end, if it has one) and returns the end of what
// was written. A line ends at an LF, a CR, or a CR and LF together, whose
// LF the caller takes (the piece's limit may fall between the two).
char* CleanPiece(const char** in, const char* limit, char* out) {
    const char* p = *in;
    while (p < limit) {
        uint64_t word;
        if (limit - p >= 8 && (std::memcpy(&word, p, 8), !HasSpecialByte(word))) {
            std::memcpy(out, &word, 8);
            out += 8;
            p += 8;
            continue;
        }
        const uint8_t cls = kByteClasses[static_cast<unsigned char>(*p)];
        if (cls == kStop) break;
        *out = *p++;
        out += cls == kKeep;
    }
    if (p < limit && *p != '\n' && *p != '\r') p = FindLineEnd(p, limit);
    *in = p < limit ? p + 1 : limit;
    return out;
}

// Fills an entry from a cleaned, non-empty line (without its "~") that
// starts at `start` in the arena; fails when the path cannot be compiled.
Status BuildEntry(std::string_view text, PathTable* paths, size_t start, size_t length, PatternEntry* entry) {
    const std::string_view cleaned = text.substr(start, length);
    entry->textOffset = static_cast<uint32_t>(start);
    entry->textLength = static_cast<uint32_t>(cleaned.size());
    std::string_view rest = cleaned;
    if (const size_t slash = rest.find('/'); slash != std::string_view::npos) {
        const Result<uint32_t> slot = paths->Add(rest.substr(slash));
        if (!slot) return Failure{"bad path pattern \"" + std::string(rest.substr(slash)) + "\": " + slot.message()};
        entry->pathSlot = *slot;
        rest = rest.substr(0, slash);
    }
    if (const size_t colon = rest.find(':'); colon != std::string_view::npos) {
        entry->hasPort = 1;
        rest = rest.substr(0, colon);
    }
    entry->hostLength = static_cast<uint32_t>(rest.size());
    return {};
}

// A leading "~" makes an exception line and is no part of its text. Returns
// the new end of the cleaned line that starts at `start`.
char* DropExceptionMark(char* start, char* end, PatternEntry* entry) {
    if (start == end || *start != '~') return end;
    entry->positive = 0;
    std::memmove(start, start + 1, static_cast<size_t>(end - start - 1));
    return end - 1;
}

void Seal(PatternList* list, ByteBuffer text, std::vector<PatternEntry> entries) {
    // The file's last pattern line is tried first.
    std::reverse(entries.begin(), entries.end());
    // The entries were reserved by line count; copying them all to give
    // back the few comment lines' worth would cost more than it saves.
    if (entries.capacity() - entries.size() > entries.capacity() / 16) entries.shrink_to_fit();
    list->text.Adopt(std::move(text));
    list->entries.Adopt(std::move(entries));
    list->paths.Seal();
    list->lines.Seal();
    list->index.Build(*list);
}

// Parses a list's text, taking it over: cleaning only ever drops bytes, so
// the text is cleaned where it lies and becomes the arena.
ListLoadResult ParseOwnedText(ByteBuffer text, const std::string& source) {
    auto list = std::make_unique<PatternList>();
    list->source = source;
    std::vector<PatternEntry> entries;
    entries.reserve(CountLineFeeds(text.view()) + 1);
    char* const base = text.data();
    const char* in = base;
    const char* const end = base + text.size();
    char* out = base;
    int32_t lineNumber = 1;
    while (in < end) {
        const int32_t pieceLine = lineNumber;
        char* const start = out;
        out = CleanPiece(&in, in + std::min<size_t>(static_cast<size_t>(end - in), kMaxPieceLength), out);
        if (in[-1] == '\r' && in < end && *in == '\n') ++in;
        if (in[-1] == '\n' || in[-1] == '\r') ++lineNumber;
        PatternEntry entry;
        out = DropExceptionMark(start, out, &entry);
        if (out == start) continue;
        const Status built = BuildEntry(text.view(), &list->paths, static_cast<size_t>(start - base),
                                        static_cast<size_t>(out - start), &entry);
        if (!built.ok()) return Failure{.message = built.message(), .lineNumber = pieceLine};
        entries.push_back(entry);
        list->lines.Add(pieceLine);
    }
    text.Resize(static_cast<size_t>(out - base));  // in place
    Seal(list.get(), std::move(text), std::move(entries));
    return ListLoadResult(std::move(list));
}

}  // namespace

ListLoadResult ParsePatternListText(std::string_view text, const std::string& source) {
    return ParseOwnedText(ByteBuffer(text), source);
}

ListLoadResult LoadPatternListChecked(const std::string& path) {
    Result<ByteBuffer> text = ReadFileBuffer(path);
    if (!text) return text.failure();
    return ParseOwnedText(std::move(*text), path);
}

}  // namespace tamsel
