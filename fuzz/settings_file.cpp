// The settings file round trip: reading what was written gives the value
// written, writing again changes nothing, and every line that is not the
// switch survives the write.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "platform/posix/settings_file.h"

namespace {

using tamsel::fuzz::Fail;

// The lines of a text without their line ends, an LF or a CR LF (a write
// may end lines the file's own way). A last line without an LF keeps a CR it
// ends in: the write must keep that byte, though with the LF it adds the two
// may read as one line end.
std::vector<std::string> Lines(const std::string& text) {
    auto lines = tamsel::fuzz::SplitFields(reinterpret_cast<const uint8_t*>(text.data()), text.size(), '\n');
    for (size_t i = 0; i + 1 < lines.size(); ++i) {
        if (!lines[i].empty() && lines[i].back() == '\r') lines[i].pop_back();
    }
    return lines;
}

bool SameLine(const std::string& before, const std::string& after, bool lastOfFile) {
    if (before == after) return true;
    return lastOfFile && before.ends_with('\r') && before.compare(0, before.size() - 1, after) == 0;
}

// Whether every line of `before` that cannot be the switch appears in
// `after`, in the same order.
bool KeepsOtherLines(const std::string& before, const std::string& after) {
    const auto kept = Lines(after);
    const auto lines = Lines(before);
    size_t at = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (tamsel::fuzz::LowerAscii(lines[i]).find("status") != std::string::npos) continue;
        while (at < kept.size() && !SameLine(lines[i], kept[at], i + 1 == lines.size())) ++at;
        if (at == kept.size()) return false;
        ++at;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    uint32_t value;
    std::memcpy(&value, data, sizeof value);
    const std::string text(reinterpret_cast<const char*>(data) + 4, size - 4);
    tamsel::FindStatusValue(text);
    const std::string written = tamsel::WithStatusValue(text, value);
    if (tamsel::FindStatusValue(written) != value) Fail("the value written does not read back");
    if (tamsel::WithStatusValue(written, value) != written) Fail("writing the same value again changed the file");
    const std::string other = tamsel::WithStatusValue(written, ~value);
    if (tamsel::WithStatusValue(other, value) != written) Fail("switching off and on again changed the file");
    if (!KeepsOtherLines(text, written)) Fail("a line other than the switch was lost or changed");
    return 0;
}
