#include "patterns/pattern_list.h"

#include <algorithm>
#include <cerrno>
#include <new>
#include <cstring>

#include "patterns/file_bytes.h"
#include "patterns/text.h"

namespace tamsel {

namespace {

// Cuts a piece at its first CR, LF, NUL or "#", and drops all white space.
std::string CleanPiece(std::string_view piece) {
    std::string out;
    out.reserve(piece.size());
    for (const char c : piece) {
        if (c == '\r' || c == '\n' || c == '\0' || c == '#') break;
        if (!IsCSpace(c)) out.push_back(c);
    }
    return out;
}

// Fills an entry from a cleaned, non-empty pattern. Returns false, with the
// engine's message, when the path does not compile.
bool BuildEntry(std::string_view cleaned, int32_t lineNumber, PatternEntry* entry, std::string* error) {
    entry->lineNumber = lineNumber;
    entry->positive = 1;
    if (cleaned.front() == '~') {
        cleaned.remove_prefix(1);
        entry->positive = 0;
    }
    entry->text = std::string(cleaned);
    std::string_view rest = cleaned;
    if (const size_t slash = rest.find('/'); slash != std::string_view::npos) {
        entry->path = std::string(rest.substr(slash));
        entry->compiledPath = PathRegex::Compile(*entry->path, error);
        if (!entry->compiledPath) return false;
        rest = rest.substr(0, slash);
    }
    if (const size_t colon = rest.find(':'); colon != std::string_view::npos) {
        entry->port = AtoiSaturating(rest.substr(colon + 1));
        rest = rest.substr(0, colon);
    }
    entry->host = std::string(rest);
    entry->labels = SplitHostLabels(entry->host);
    return true;
}

}  // namespace

ListLoadResult ParsePatternListText(const std::string& text, const std::string& source) {
    auto list = std::make_unique<PatternList>();
    list->source = source;
    int32_t lineNumber = 1;
    size_t pos = 0;
    while (pos < text.size()) {
        // A piece is at most 511 bytes, up to and including a line feed.
        size_t end = pos;
        while (end < text.size() && end - pos < kMaxPieceLength && text[end] != '\n') ++end;
        const bool endsLine = end < text.size() && text[end] == '\n';
        if (endsLine) ++end;
        const std::string cleaned = CleanPiece(std::string_view(text).substr(pos, end - pos));
        const int32_t pieceLine = lineNumber;
        pos = end;
        if (endsLine) ++lineNumber;
        if (cleaned.empty() || cleaned == "~") continue;
        PatternEntry entry;
        std::string error;
        if (!BuildEntry(cleaned, pieceLine, &entry, &error)) {
            return {nullptr, ListLoadError{pieceLine, "bad path pattern \"" + *entry.path + "\": " + error}};
        }
        list->entries.push_back(std::move(entry));
    }
    // The file's last pattern line is tried first.
    std::reverse(list->entries.begin(), list->entries.end());
    list->hostIndex.Build(list->entries);
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
