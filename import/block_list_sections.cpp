#include "import/block_list_sections.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "patterns/pattern_list.h"

namespace tamsel::import {
namespace {

constexpr std::string_view kBegin = "# >>> tamsel import: ";
constexpr std::string_view kEnd = "# <<< tamsel import: ";
constexpr size_t kMaxNameLength = 200;

// A name as markers and notes carry it: one line of printable bytes that a
// list line can hold whole (a longer line would be read as several).
std::string CommentText(std::string_view text, size_t limit) {
    std::string out;
    for (const char c : text.substr(0, limit)) {
        const auto byte = static_cast<unsigned char>(c);
        out += byte < 0x20 || byte == 0x7f ? '?' : c;
    }
    return out;
}

// The name a section's markers carry: the name itself when it is short, else
// its first bytes and a hash of the whole name, so that two long names that
// begin alike keep a section each.
std::string MarkerName(std::string_view name) {
    const std::string shown = CommentText(name, name.size());
    if (shown.size() <= kMaxNameLength) return shown;
    uint64_t hash = 0xcbf29ce484222325ull;  // FNV-1a
    for (const char c : name) hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3ull;
    char tail[24];
    std::snprintf(tail, sizeof tail, "~%016llx", static_cast<unsigned long long>(hash));
    return shown.substr(0, kMaxNameLength - std::strlen(tail)) + tail;
}

struct MarkedSection {
    std::string name;
    size_t begin = 0;  // offset of the begin marker
    size_t end = 0;    // offset just past the end marker's line
};

struct Line {
    std::string_view text;  // without its line feed (and CR)
    size_t begin = 0, next = 0;
    int lineNumber = 0;
};

std::vector<Line> SplitLines(std::string_view list) {
    std::vector<Line> lines;
    size_t at = 0;
    while (at < list.size()) {
        const size_t feed = list.find('\n', at);
        const size_t next = feed == std::string_view::npos ? list.size() : feed + 1;
        std::string_view text = list.substr(at, next - at);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
        lines.push_back({text, at, next, static_cast<int>(lines.size()) + 1});
        at = next;
    }
    return lines;
}

Result<std::vector<MarkedSection>> FindSections(std::string_view list) {
    std::vector<MarkedSection> sections;
    const MarkedSection* open = nullptr;
    MarkedSection current;
    for (const Line& line : SplitLines(list)) {
        const std::string where = "line " + std::to_string(line.lineNumber) + ": ";
        if (line.text.starts_with(kBegin)) {
            if (open)
                return Failure{where + "section \"" + open->name + "\" has no end marker before the next section"};
            current = {std::string(line.text.substr(kBegin.size())), line.begin, 0};
            open = &current;
        } else if (line.text.starts_with(kEnd)) {
            if (!open || line.text.substr(kEnd.size()) != open->name)
                return Failure{where + "end marker without its begin marker"};
            current.end = line.next;
            sections.push_back(current);
            open = nullptr;
        }
    }
    if (open) return Failure{"section \"" + open->name + "\" has no end marker"};
    return sections;
}

void AppendLines(std::string* out, const std::vector<std::string>& lines) {
    for (const std::string& line : lines) *out += line + "\n";
}

}  // namespace

std::string RenderSection(std::string_view name, std::string_view origin, const ConvertedSource& converted) {
    const std::string marker = MarkerName(name);
    std::string out = std::string(kBegin) + marker + "\n";
    out += CommentText("# " + std::to_string(converted.written()) + " lines from " + std::string(origin) + " (" +
                           FormatName(converted.format) + "); a new import of it replaces this section",
                       kMaxPieceLength - 1) +
           "\n";
    AppendLines(&out, converted.blocks);
    AppendLines(&out, converted.exceptions);
    AppendLines(&out, converted.importantBlocks);
    return out + std::string(kEnd) + marker + "\n";
}

Status PutSection(std::string* list, std::string_view name, std::string_view section) {
    const Result<std::vector<MarkedSection>> sections = FindSections(*list);
    if (!sections) return sections.status();
    const std::string marker = MarkerName(name);
    for (const MarkedSection& s : *sections) {
        if (s.name != marker) continue;
        list->replace(s.begin, s.end - s.begin, section);
        return {};
    }
    if (!list->empty() && list->back() != '\n') *list += '\n';
    *list += section;
    return {};
}

}  // namespace tamsel::import
