// Importing a list someone else wrote: whatever the source holds, every line
// the import writes is one our loader takes. A single line it refused would
// keep the whole block list from loading.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "import/list_source.h"
#include "patterns/pattern_list.h"

namespace {

using tamsel::fuzz::Fail;

void CheckLoads(const std::vector<std::string>& lines, bool exceptions) {
    for (const auto& line : lines) {
        const auto loaded = tamsel::ParsePatternListText(line + "\n", "import");
        if (!loaded.list) Fail("the loader refuses an imported line: " + line + " (" + loaded.error->message + ")");
        if (loaded.list->entries.empty()) Fail("an imported line says nothing: " + line);
        for (const auto& entry : loaded.list->entries) {
            if ((entry.positive == 0) != exceptions) Fail("an imported line changed its kind: " + line);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (tamsel::import::FindInputProblem(text)) return 0;
    const auto converted = tamsel::import::ConvertSource(text);
    CheckLoads(converted.blocks, false);
    CheckLoads(converted.exceptions, true);
    CheckLoads(converted.importantBlocks, false);
    return 0;
}
