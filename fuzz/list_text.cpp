// The list editors' text model: the entries of a file, written and read
// again, are the same entries, a second write gives the same bytes, and the
// loader reads the written file as the same list it read before.
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_input.h"
#include "listfiles/list_store.h"
#include "patterns/pattern_list.h"

namespace {

using tamsel::fuzz::Fail;

bool SameEntry(const tamsel::PatternList& la, const tamsel::PatternEntry& a, const tamsel::PatternList& lb,
               const tamsel::PatternEntry& b) {
    return la.Text(a) == lb.Text(b) && la.Host(a) == lb.Host(b) && la.Path(a) == lb.Path(b) &&
           la.Port(a) == lb.Port(b) && a.positive == b.positive;
}

void CheckSameList(const std::string& before, const std::string& after) {
    const auto a = tamsel::ParsePatternListText(before, "before");
    const auto b = tamsel::ParsePatternListText(after, "after");
    if (a.ok() != b.ok()) Fail("the written file loads where the read one did not, or not at all");
    if (!a.ok()) return;
    if (a.value()->entries.size() != b.value()->entries.size()) Fail("the written file loads another number of lines");
    for (size_t i = 0; i < a.value()->entries.size(); ++i) {
        if (!SameEntry(*a.value(), a.value()->entries[i], *b.value(), b.value()->entries[i])) {
            Fail("the written file loads another line: " + std::string(a.value()->Text(a.value()->entries[i])));
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const auto entries = tamsel::SplitListLines(bytes);
    const std::string written = tamsel::ListFileBytes(entries);
    const auto again = tamsel::SplitListLines(written);
    if (again != entries) Fail("the entries of a written file differ from the entries written");
    if (tamsel::ListFileBytes(again) != written) Fail("a second write gives other bytes");
    CheckSameList(bytes, written);
    return 0;
}
