// tamsel import's conversion: whatever a source holds, the section written
// from it loads whole (no line refused, none split at the line limit, none
// cut by a "#"), keeps the list's own lines, and a second import of the
// same source leaves the list as the first one did.
#include <cstdint>
#include <string>

#include "fuzz/fuzz_input.h"
#include "import/block_list_sections.h"
#include "import/list_source.h"
#include "patterns/pattern_list.h"

namespace {

using tamsel::fuzz::Fail;

// Exceptions are written as "~" lines and nothing else is.
void CheckLines(const std::vector<std::string>& lines, bool exceptions) {
    for (const std::string& line : lines) {
        if (line.empty() || line.size() + 1 > tamsel::kMaxPieceLength) Fail("a line the loader would split: " + line);
        if (line.starts_with('~') != exceptions) Fail("a written line changed its kind: " + line);
        for (const char c : line) {
            if (c == '#' || static_cast<unsigned char>(c) <= ' ' || static_cast<unsigned char>(c) >= 0x7f)
                Fail("a byte the loader would drop or cut at in: " + line);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (tamsel::import::FindInputProblem(text)) return 0;
    const tamsel::import::ConvertedSource converted = tamsel::import::ConvertSource(text);
    CheckLines(converted.blocks, false);
    CheckLines(converted.exceptions, true);
    CheckLines(converted.importantBlocks, false);
    const std::string section = tamsel::import::RenderSection("fuzz.txt", text.substr(0, 600), converted);
    std::string list = "ours.example\n";
    if (tamsel::import::PutSection(&list, "fuzz.txt", section)) Fail("a fresh list refused its first section");
    const tamsel::ListLoadResult loaded = tamsel::ParsePatternListText(list, "fuzz");
    if (!loaded.list) Fail("the written list does not load: " + loaded.error->message);
    if (loaded.list->entries.size() != converted.written() + 1) Fail("a written line was lost or split");
    const std::string once = list;
    if (tamsel::import::PutSection(&list, "fuzz.txt", section) || list != once) Fail("a second import changed the list");
    return 0;
}
