// The list editors' text model: the words of a file, written and read again,
// are the same words, and a file written from them is written alike again.
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_input.h"
#include "ui/pattern_text_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using tamsel::fuzz::Fail;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto texts = tamsel::SplitPatternWords(bytes);
    for (const auto& text : texts) {
        if (text.empty()) Fail("an empty word");
    }
    const std::string written = tamsel::PatternTextFileBytes(texts);
    const auto again = tamsel::SplitPatternWords(written);
    if (again != texts) Fail("the words of a written file differ from the words written");
    if (tamsel::PatternTextFileBytes(again) != written) Fail("a second write gives other bytes");
    return 0;
}
