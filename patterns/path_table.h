// The path patterns of one list: for each, the glob or automaton program
// that answers it and the text every match requires, made at load.
//
// Programs are read in place and matching writes nothing, so the table is
// shared by all threads, stays the same size however many requests it
// answers, and can be stored in a snapshot as it is.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"
#include "patterns/path_shortcut.h"
#include "patterns/stored_array.h"

namespace tamsel {

// A request path, with its lower-cased (A to Z) copy made once per request.
// The path ends at its first NUL, if it holds one: a pattern never looks
// past it.
class LoweredPath {
public:
    explicit LoweredPath(std::string_view path);
    LoweredPath(const LoweredPath&) = delete;
    LoweredPath& operator=(const LoweredPath&) = delete;

    std::string_view lowered() const { return lowered_; }

private:
    static constexpr size_t kInline = 2048;  // longer paths, rare, go to the heap
    char inline_[kInline];
    std::unique_ptr<char[]> heap_;
    std::string_view lowered_;
};

// A path's program as the table stores it: a byte naming its kind, the
// length of its runs (two bytes, low first), the runs, then the program.
struct StoredProgram {
    PathShortcut::Kind kind = PathShortcut::Kind::None;  // None also when the stored text is cut short
    std::string_view runs;
    std::string_view code;
};
StoredProgram SplitStoredProgram(std::string_view stored);

class PathTable {
public:
    PathTable() = default;
    PathTable(const PathTable&) = delete;
    PathTable& operator=(const PathTable&) = delete;

    // Records a path (from its "/" on) and returns its slot, or why the
    // path is refused.
    Result<uint32_t> Add(std::string_view path);
    // Called once all paths are added.
    void Seal();

    // The longest text every match of the slot's path holds, lower-cased.
    std::string_view Required(uint32_t slot) const;

    // Whether the slot's path matches the request path.
    bool Matches(uint32_t slot, const LoweredPath& request) const;

    size_t size() const { return records_.size(); }

private:
    friend class ListSnapshot;
    StoredProgram Program(uint32_t slot) const;

    // The glob or automaton program of a path sits in literals_ as a
    // StoredProgram; the required text is usually part of it.
    struct Record {
        uint32_t programOffset = 0;
        uint32_t requiredOffset = 0;
        uint16_t programLength = 0;  // with the kind byte
        uint16_t requiredLength = 0;
    };

    std::string_view Literal(uint32_t offset, uint16_t length) const {
        return std::string_view(literals_.data(), literals_.size()).substr(offset, length);
    }

    std::string literalsBuilt_;  // while paths are added
    std::vector<Record> recordsBuilt_;
    StoredArray<char, std::string> literals_;  // from Seal on
    StoredArray<Record> records_;
};

}  // namespace tamsel
