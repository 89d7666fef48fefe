// Importing a list someone else wrote: whatever the source holds, every line
// the import writes is one our loader takes. A single line it refused would
// keep the whole block list from loading. The section written from it loads
// whole beside the list's own lines (no line split at the line limit, none
// cut by a "#"), and a second import of the same source changes nothing.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "import/block_list_sections.h"
#include "import/list_source.h"
#include "patterns/pattern_list.h"

namespace {

using tamsel::fuzz::Fail;

void CheckLoads(const std::vector<std::string>& lines, bool exceptions) {
    for (const auto& line : lines) {
        if (line.size() + 1 > tamsel::kMaxPieceLength) Fail("an imported line the loader would split: " + line);
        const auto loaded = tamsel::ParsePatternListText(line + "\n", "import");
        if (!loaded.ok()) Fail("the loader refuses an imported line: " + line + " (" + loaded.message() + ")");
        if (loaded.value()->entries.size() != 1) Fail("an imported line is not one entry: " + line);
        for (const auto& entry : loaded.value()->entries) {
            if (entry.positive == exceptions) Fail("an imported line changed its kind: " + line);
            if (loaded.value()->Text(entry).size() + (exceptions ? 1 : 0) != line.size())
                Fail("the loader cut an imported line: " + line);
        }
    }
}

// The section among the list's own lines: every written line one entry, and
// putting the same section again leaves the list as it was.
void CheckSection(const std::string& origin, const tamsel::import::ConvertedSource& converted) {
    const std::string section = tamsel::import::RenderSection("fuzz.txt", origin, converted);
    std::string list = "ours.example\n";
    if (!tamsel::import::PutSection(&list, "fuzz.txt", section).ok()) Fail("a fresh list refused its first section");
    const tamsel::ListLoadResult loaded = tamsel::ParsePatternListText(list, "fuzz");
    if (!loaded.ok()) Fail("the written list does not load: " + loaded.message());
    if (loaded.value()->entries.size() != converted.written() + 1) Fail("a written line was lost or split");
    const std::string once = list;
    if (!tamsel::import::PutSection(&list, "fuzz.txt", section).ok() || list != once) {
        Fail("a second import changed the list");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (!tamsel::import::CheckListInput(text).ok()) return 0;
    const auto converted = tamsel::import::ConvertSource(text);
    CheckLoads(converted.blocks, false);
    CheckLoads(converted.exceptions, true);
    CheckLoads(converted.importantBlocks, false);
    CheckSection(text.substr(0, 600), converted);
    return 0;
}
