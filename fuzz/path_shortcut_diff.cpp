// The path shortcut against the regex engine. The first line of the input
// is a list path; the lines after it, and texts made from the path itself,
// are request paths. Wherever the shortcut answers (a prefix, a contained
// text, a text every match must hold), regexec on "^(path)" must agree.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "patterns/path_regex.h"
#include "patterns/path_shortcut.h"
#include "patterns/pattern_list.h"

namespace {

using tamsel::fuzz::Fail;

void Check(const tamsel::PathShortcut& shortcut, const tamsel::PathRegex& compiled,
           const tamsel::fuzz::ReferenceRegex& reference, std::string path) {
    path = path.c_str();  // the engine reads up to the first NUL
    const bool engine = reference.Matches(path);
    const std::string lowered = tamsel::fuzz::LowerAscii(path);
    if (shortcut.kind == tamsel::PathShortcut::Kind::Prefix && lowered.starts_with(shortcut.literal) != engine) {
        Fail("the prefix shortcut disagrees with the engine on " + path);
    }
    if (shortcut.kind == tamsel::PathShortcut::Kind::Contains &&
        (lowered.find(shortcut.literal) != std::string::npos) != engine) {
        Fail("the contains shortcut disagrees with the engine on " + path);
    }
    if (engine && lowered.find(shortcut.required) == std::string::npos) {
        Fail("a matching path lacks the required text " + shortcut.required + ": " + path);
    }
    if (compiled.Matches(path.c_str()) != engine) Fail("the compiled path disagrees with the engine on " + path);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto lines = tamsel::fuzz::SplitFields(data, size, '\n');
    // Through the loader, so only paths a list can hold are asked about.
    const auto loaded = tamsel::ParsePatternListText("/" + lines[0], "fuzz");
    if (!loaded.list || loaded.list->entries.size() != 1) return 0;
    const tamsel::PatternEntry& entry = loaded.list->entries[0];
    if (!entry.path || !entry.compiledPath) return 0;
    const std::string expression = tamsel::AnchoredExpression(*entry.path);
    const tamsel::fuzz::ReferenceRegex reference(expression);
    if (!reference.ok()) Fail("the loader kept a path the engine refuses: " + expression);
    const auto shortcut = tamsel::AnalysePath(std::string_view(expression).substr(2, expression.size() - 3));

    std::vector<std::string> paths = {*entry.path, shortcut.literal, shortcut.required,
                                      shortcut.literal + "/x", "/" + shortcut.literal, "/x" + shortcut.required};
    for (size_t i = 1; i < lines.size() && i <= 16; ++i) paths.push_back(lines[i]);
    for (const auto& path : paths) Check(shortcut, *entry.compiledPath, reference, path);
    return 0;
}
