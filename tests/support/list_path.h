// One list path compiled as a list compiles it: in a path table of its own,
// asked with the lowered request path the matcher makes. Tests and fuzz
// harnesses judge the path matcher through these, so that what they check
// is what a loaded list runs.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "patterns/path_shortcut.h"
#include "patterns/path_table.h"

namespace tamsel::testing {

class ListPath {
public:
    explicit ListPath(std::string_view path) : added_(table_.Add(path)) { table_.Seal(); }
    ListPath(const ListPath&) = delete;
    ListPath& operator=(const ListPath&) = delete;

    // Whether the loader takes the path; error() says why not.
    explicit operator bool() const { return added_.ok(); }
    const std::string& error() const { return added_.message(); }

    // The request path ends at its first NUL, if any.
    bool Matches(std::string_view path) const { return added_ && table_.Matches(*added_, LoweredPath(path)); }

private:
    PathTable table_;
    Result<uint32_t> added_;  // the path's slot
};

// The glob or automaton the loader makes of `path`; kind None when it
// refuses the path.
inline PathShortcut ShortcutFor(std::string_view path) {
    Result<PathShortcut> shortcut = PathProgram(path);
    return shortcut ? std::move(*shortcut) : PathShortcut{};
}

}  // namespace tamsel::testing
