// The path matcher against the regex engine. The first line of the input
// is a list path; the lines after it, and texts made from the path itself,
// are request paths. The glob or automaton, the text every match must hold
// and the loaded list's path table must all agree with regexec on "^(path)"
// in the C locale, though the harness itself runs in a UTF-8 one, as
// programs do.
#include <algorithm>
#include <clocale>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "patterns/path_shortcut.h"
#include "patterns/path_table.h"
#include "patterns/pattern_list.h"
#include "patterns/text.h"

namespace {

using tamsel::fuzz::Fail;

void Check(const tamsel::PathShortcut& shortcut, const tamsel::PatternList& list,
           const tamsel::fuzz::ReferenceRegex& reference, std::string path) {
    path = path.c_str();  // the engine reads up to the first NUL
    const bool engine = reference.Matches(path);
    const std::string lowered = tamsel::fuzz::LowerAscii(path);
    if (tamsel::ShortcutMatches(shortcut.kind, shortcut.program, shortcut.runs, lowered) != engine) {
        Fail(std::string(shortcut.kind == tamsel::PathShortcut::Kind::Glob ? "the glob" : "the automaton") +
             " disagrees with the engine on " + path);
    }
    if (engine && lowered.find(shortcut.required) == std::string::npos) {
        Fail("a matching path lacks the required text " + shortcut.required + ": " + path);
    }
    if (list.paths.Matches(list.entries[0].pathSlot, tamsel::LoweredPath(path)) != engine) {
        Fail("the list's path table disagrees with the engine on " + path);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (setlocale(LC_ALL, "C.UTF-8") == nullptr) Fail("no UTF-8 locale to run in");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto lines = tamsel::fuzz::SplitFields(data, size, '\n');
    // Through the loader, so only paths a list can hold are asked about.
    const auto loaded = tamsel::ParsePatternListText("/" + lines[0], "fuzz");
    if (!loaded.ok() || loaded.value()->entries.size() != 1) return 0;
    const auto entryPath = loaded.value()->Path(loaded.value()->entries[0]);
    if (!entryPath) return 0;
    const std::string expression = tamsel::ParsePath(*entryPath).expression;
    const tamsel::fuzz::ReferenceRegex reference(expression);
    if (!reference.ok()) Fail("the loader kept a path the engine refuses: " + expression);
    const tamsel::Result<tamsel::PathShortcut> program = tamsel::PathProgram(*entryPath);
    if (!program) Fail("a path the loader kept has no program: " + expression);
    const tamsel::PathShortcut& shortcut = *program;

    // The glob's runs, or the path with its operators dropped, joined as
    // text, make paths near its matches.
    const bool glob = shortcut.kind == tamsel::PathShortcut::Kind::Glob;
    std::string runs = glob ? shortcut.program : std::string(*entryPath);
    const auto isOperator = [](char c) { return std::string_view("()[]?*+|\\$^{}").find(c) != std::string_view::npos; };
    if (!glob) std::erase_if(runs, isOperator);
    std::replace_if(
        runs.begin(), runs.end(), [](char c) { return c < 0x20; }, '/');
    std::vector<std::string> paths = {std::string(*entryPath),
                                      runs,
                                      shortcut.required,
                                      runs + "/x",
                                      "/" + runs,
                                      "/x" + shortcut.required,
                                      runs + "\n",
                                      runs.substr(0, runs.size() / 2)};
    for (size_t i = 1; i < lines.size() && i <= 16; ++i) paths.push_back(lines[i]);
    for (const auto& path : paths) Check(shortcut, *loaded.value(), reference, path);
    return 0;
}
