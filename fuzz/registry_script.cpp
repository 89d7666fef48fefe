// The registry script parser, with the replacement table registration uses.
#include <cstdint>
#include <string>

#include "com/registry_script.h"
#include "fuzz/fuzz_input.h"

namespace {

using tamsel::fuzz::Fail;

void CheckKey(const tamsel::ScriptKey& key) {
    if (key.name.empty()) Fail("a key without a name");
    for (const auto& sub : key.subkeys) CheckKey(sub);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const tamsel::ScriptReplacements replacements{{"MODULE", "C:\\Program Files\\it's\\Tamsel.dll"}};
    const std::string text(reinterpret_cast<const char*>(data), size);
    const tamsel::ScriptParseResult result = tamsel::ParseRegistryScript(text, replacements);
    if (!result.script) {
        if (result.error.empty()) Fail("a refused script says no reason");
        return 0;
    }
    for (const auto& root : result.script->roots) {
        for (const auto& key : root.keys) CheckKey(key);
    }
    return 0;
}
