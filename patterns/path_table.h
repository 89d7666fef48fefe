// The path patterns of one list: what each one requires of a path, known at
// load, and its compiled expression, made when a request first needs it.
//
// Compiling every path of a large list at load would cost a long start and
// megabytes for lines that never meet a matching request. Here a path is
// compiled once, on the first request that holds its required text and that
// its shortcut cannot answer; the compiled form is shared by all threads. The
// engine's memory grows with every expression it runs, so only a bounded
// number of expressions stay compiled; the rest are compiled for the one
// match and released after it.
#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "patterns/path_regex.h"
#include "patterns/path_shortcut.h"
#include "patterns/stored_array.h"

namespace tamsel {

// A request path, with its lower-cased (A to Z) copy made once per request.
class LoweredPath {
public:
    explicit LoweredPath(std::string_view path);
    LoweredPath(const LoweredPath&) = delete;
    LoweredPath& operator=(const LoweredPath&) = delete;

    std::string_view raw() const { return raw_; }
    std::string_view lowered() const { return lowered_; }
    bool ascii() const { return ascii_; }

private:
    static constexpr size_t kInline = 2048;  // longer paths, rare, go to the heap
    std::string_view raw_;
    char inline_[kInline];
    std::unique_ptr<char[]> heap_;
    std::string_view lowered_;
    bool ascii_ = true;
};

class PathTable {
public:
    static constexpr int kMaxLiveCompiled = 16;

    PathTable() = default;
    PathTable(const PathTable&) = delete;
    PathTable& operator=(const PathTable&) = delete;
    ~PathTable();

    // Records a path (from its "/" on) and returns its slot. Returns false,
    // with the reason in `error`, when the path cannot be compiled.
    bool Add(std::string_view path, uint32_t* slot, std::string* error);
    // Called once all paths are added.
    void Seal();

    // The longest text every match of the slot's path holds, lower-cased.
    std::string_view Required(uint32_t slot) const;

    // Whether the slot's path (`path`, as the list holds it) matches the request path.
    bool Matches(uint32_t slot, std::string_view path, const LoweredPath& request) const;

    size_t size() const { return records_.size(); }
    // How many expressions are compiled and kept, for the benchmarks.
    int liveCompiled() const { return std::min(live_.load(std::memory_order_relaxed), kMaxLiveCompiled); }

private:
    friend class ListSnapshot;
    // The glob or automaton program of a path sits in literals_ behind a byte
    // that names its kind; the required text is usually part of it.
    struct Record {
        uint32_t programOffset = 0;
        uint32_t requiredOffset = 0;
        uint16_t programLength = 0;  // with the kind byte
        uint16_t requiredLength = 0;
    };

    std::string_view Literal(uint32_t offset, uint16_t length) const {
        return std::string_view(literals_.data(), literals_.size()).substr(offset, length);
    }

    const PathRegex* Compiled(uint32_t slot, std::string_view path, bool keep, std::unique_ptr<PathRegex>* own) const;
    const PathRegex* Kept(uint32_t slot) const;

    std::string literalsBuilt_;  // while paths are added
    std::vector<Record> recordsBuilt_;
    StoredArray<char, std::string> literals_;  // from Seal on
    StoredArray<Record> records_;
    // The compiled expressions kept, at most kMaxLiveCompiled, never evicted:
    // a place is claimed by counting live_ up, filled, then published by its slot.
    struct Cached {
        std::atomic<uint32_t> slot{UINT32_MAX};
        std::atomic<const PathRegex*> regex{nullptr};
    };
    mutable std::array<Cached, kMaxLiveCompiled> cache_;
    mutable std::atomic<int> live_{0};
};

}  // namespace tamsel
