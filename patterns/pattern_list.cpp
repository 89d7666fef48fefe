#include "patterns/pattern_list.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "patterns/file_bytes.h"
#include "patterns/text.h"

namespace tamsel {

namespace {

// Appends a piece, cut at its first CR, LF, NUL or "#" and with all white
// space dropped, to `out`.
void AppendCleanPiece(std::string_view piece, std::string* out) {
    for (const char c : piece) {
        if (c == '\r' || c == '\n' || c == '\0' || c == '#') break;
        if (!IsCSpace(c)) out->push_back(c);
    }
}

// Fills an entry from the cleaned, non-empty line at the arena's end. Returns
// false, with the reason, when the path cannot be compiled.
bool BuildEntry(std::string* text, PathTable* paths, size_t start, int32_t lineNumber, PatternEntry* entry,
                std::string* error) {
    entry->lineNumber = lineNumber;
    if ((*text)[start] == '~') {
        text->erase(start, 1);
        entry->positive = false;
    }
    const std::string_view cleaned = std::string_view(*text).substr(start);
    entry->textOffset = static_cast<uint32_t>(start);
    entry->textLength = static_cast<uint16_t>(cleaned.size());
    std::string_view rest = cleaned;
    if (const size_t slash = rest.find('/'); slash != std::string_view::npos) {
        entry->pathOffset = static_cast<uint16_t>(slash);
        if (!paths->Add(rest.substr(slash), &entry->pathSlot, error)) {
            *error = "bad path pattern \"" + std::string(rest.substr(slash)) + "\": " + *error;
            return false;
        }
        rest = rest.substr(0, slash);
    }
    if (const size_t colon = rest.find(':'); colon != std::string_view::npos) {
        entry->port = AtoiSaturating(rest.substr(colon + 1));
        rest = rest.substr(0, colon);
    }
    entry->hostLength = static_cast<uint16_t>(rest.size());
    return true;
}

// The end of the piece that starts at `pos`: at most 511 bytes, up to and
// including a line feed.
size_t PieceEnd(std::string_view text, size_t pos) {
    const size_t limit = std::min(text.size(), pos + kMaxPieceLength);
    const void* lf = std::memchr(text.data() + pos, '\n', limit - pos);
    return lf == nullptr ? limit : static_cast<size_t>(static_cast<const char*>(lf) - text.data()) + 1;
}

}  // namespace

ListLoadResult ParsePatternListText(std::string_view text, const std::string& source) {
    auto list = std::make_unique<PatternList>();
    list->source = source;
    std::string cleanText;
    std::vector<PatternEntry> entries;
    cleanText.reserve(text.size());
    entries.reserve(static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
    int32_t lineNumber = 1;
    for (size_t pos = 0; pos < text.size();) {
        const size_t end = PieceEnd(text, pos);
        const int32_t pieceLine = lineNumber;
        const size_t start = cleanText.size();
        AppendCleanPiece(text.substr(pos, end - pos), &cleanText);
        if (text[end - 1] == '\n') ++lineNumber;
        pos = end;
        const std::string_view cleaned = std::string_view(cleanText).substr(start);
        if (cleaned.empty() || cleaned == "~") {
            cleanText.resize(start);
            continue;
        }
        PatternEntry entry;
        std::string error;
        if (!BuildEntry(&cleanText, &list->paths, start, pieceLine, &entry, &error)) {
            return {nullptr, ListLoadError{pieceLine, error}};
        }
        entries.push_back(entry);
    }
    // The file's last pattern line is tried first.
    std::reverse(entries.begin(), entries.end());
    list->entries.Adopt(std::move(entries));
    list->text.Adopt(std::move(cleanText));
    list->paths.Seal();
    list->index.Build(*list);
    return {std::move(list), std::nullopt};
}

namespace {

ListLoadResult ReadAndParse(const std::string& path) {
    int error = 0;
    const auto text = ReadFileBytes(path, &error);
    if (!text) return {nullptr, ListLoadError{0, std::strerror(error)}};
    return ParsePatternListText(*text, path);
}

}  // namespace

ListLoadResult LoadPatternListChecked(const std::string& path) {
    try {
        return ReadAndParse(path);
    } catch (const std::bad_alloc&) {
        return {nullptr, ListLoadError{0, "out of memory"}};
    }
}

std::unique_ptr<PatternList> LoadPatternList(const std::string& path) {
    return LoadPatternListChecked(path).list;
}

void FreePatternList(const PatternList* list) { delete list; }

}  // namespace tamsel
