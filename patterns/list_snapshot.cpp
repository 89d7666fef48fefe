#include "patterns/list_snapshot.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <type_traits>

namespace tamsel {

namespace {

constexpr uint64_t kMagic = 0x3170616e536c6d54;  // "TmlSnap1"
constexpr size_t kHeaderBytes = 5 * sizeof(uint64_t);

uint64_t HashBytes(std::string_view bytes) {
    constexpr uint64_t kOdd = 0x9e3779b97f4a7c15ull;
    uint64_t h = kOdd ^ bytes.size();
    size_t i = 0;
    const auto mix = [&](uint64_t word) {
        h = (h ^ word) * kOdd;
        h ^= h >> 31;
    };
    for (; i + 8 <= bytes.size(); i += 8) {
        uint64_t word;
        std::memcpy(&word, bytes.data() + i, 8);
        mix(word);
    }
    uint64_t tail = 0;
    if (i < bytes.size()) std::memcpy(&tail, bytes.data() + i, bytes.size() - i);
    mix(tail);
    return h;
}

// Each array is its count, then its elements starting at a multiple of
// eight bytes from the snapshot's start, so that they can be read in place.
class Writer {
public:
    void Word(uint64_t value) { Raw(&value, sizeof value); }
    template <typename T, typename Owner>
    void Array(const StoredArray<T, Owner>& values) {
        static_assert(std::is_trivially_copyable_v<T> && alignof(T) <= 8);
        Word(values.size());
        Raw(values.data(), values.size() * sizeof(T));
        out_.resize((out_.size() + 7) / 8 * 8, '\0');
    }

    std::string& bytes() { return out_; }

private:
    void Raw(const void* data, size_t n) {
        if (n > 0) out_.append(static_cast<const char*>(data), n);
    }
    std::string out_;
};

// Reads what Writer wrote, viewing the arrays where they lie. Each count is
// checked against the bytes left.
class Reader {
public:
    explicit Reader(std::string_view in) : in_(in) {}

    bool Word(uint64_t* value) {
        if (in_.size() < sizeof *value) return false;
        std::memcpy(value, in_.data(), sizeof *value);
        in_.remove_prefix(sizeof *value);
        return true;
    }
    template <typename T, typename Owner>
    bool Array(StoredArray<T, Owner>* values) {
        uint64_t count = 0;
        if (!Word(&count) || count > in_.size() / sizeof(T)) return false;
        if (reinterpret_cast<uintptr_t>(in_.data()) % alignof(T) != 0) return false;
        const size_t bytes = static_cast<size_t>(count) * sizeof(T);
        values->View(reinterpret_cast<const T*>(in_.data()), static_cast<size_t>(count));
        in_.remove_prefix(std::min(in_.size(), (bytes + 7) / 8 * 8));
        return true;
    }
    bool done() const { return in_.empty(); }

private:
    std::string_view in_;
};

// Whether every value is below `bound`.
bool AllBelow(const StoredArray<uint32_t>& values, size_t bound) {
    for (const uint32_t v : values) {
        if (v >= bound) return false;
    }
    return true;
}

}  // namespace

// Knows the stored arrays of a list, its path table and its index.
class ListSnapshot {
public:
    // Raised whenever what is stored, or what it means, changes: a record's
    // fields, the order of the arrays, or the keys the index files entries
    // under (tests/patterns/list_snapshot_test.cpp pins those). The sizes of
    // the records are part of the version as well.
    static constexpr uint64_t kFormat = 8;
    static constexpr uint64_t kVersion =
        kFormat << 32 | sizeof(PatternEntry) << 16 | sizeof(PathTable::Record) << 8 | sizeof(PostingMap::Slot);

    static void Write(const PatternList& list, Writer& out) {
        out.Array(list.text);
        out.Array(list.entries);
        out.Array(list.lines.jumps_);
        out.Array(list.paths.literals_);
        out.Array(list.paths.records_);
        const ListIndex& index = list.index;
        for (const PostingMap* map : {&index.byHostSuffix_, &index.byHostLabel_, &index.byPathGram_}) {
            out.Array(map->slots_);
            out.Array(map->runs_);
            out.Array(map->filter_);
            out.Word(map->filterShift_);
            out.Word(map->homes_);
        }
        out.Word(index.labelPlaces_);
        for (const uint32_t places : index.prefixPlaces_) out.Word(places);
        out.Array(index.always_);
        out.Array(index.pathBits_);
        out.Array(index.pathLines_);
        out.Array(index.pathExceptions_);
        out.Array(index.pathTriples_);
        out.Word(index.pathTripleShift_);
    }

    static bool Read(Reader& in, PatternList* list) {
        if (!in.Array(&list->text) || !in.Array(&list->entries) || !in.Array(&list->lines.jumps_)) return false;
        PathTable& paths = list->paths;
        if (!in.Array(&paths.literals_) || !in.Array(&paths.records_) || !ValidPaths(paths)) return false;
        if (!ValidEntries(*list) || !ValidLines(list->lines, list->entries.size())) return false;
        ListIndex& index = list->index;
        for (PostingMap* map : {&index.byHostSuffix_, &index.byHostLabel_, &index.byPathGram_}) {
            if (!ReadMap(in, list->entries.size(), map)) return false;
        }
        for (uint32_t* kept :
             {&index.labelPlaces_, &index.prefixPlaces_[0], &index.prefixPlaces_[1], &index.prefixPlaces_[2]}) {
            uint64_t places = 0;
            if (!in.Word(&places) || places > UINT32_MAX) return false;
            *kept = static_cast<uint32_t>(places);
        }
        const size_t n = list->entries.size();
        const bool read = in.Array(&index.always_) && AllBelow(index.always_, n) && in.Array(&index.pathBits_) &&
                          index.pathBits_.size() == n && ValidPathBits(index.pathBits_) &&
                          in.Array(&index.pathLines_) && AllBelow(index.pathLines_, n) &&
                          in.Array(&index.pathExceptions_) && AllBelow(index.pathExceptions_, n);
        return read && ReadPathTriples(in, &index);
    }

private:
    // The triple bits must be there exactly when path keys are (else lookups
    // would be skipped), and as many as their shift addresses.
    static bool ReadPathTriples(Reader& in, ListIndex* index) {
        uint64_t shift = 0;
        if (!in.Array(&index->pathTriples_) || !in.Word(&shift)) return false;
        if (index->pathTriples_.empty()) return index->byPathGram_.empty();
        if (shift < 14 || shift > 23 || index->byPathGram_.empty()) return false;
        index->pathTripleShift_ = static_cast<unsigned>(shift);
        return index->pathTriples_.size() == (size_t{1} << (32 - shift)) / 64;
    }

    static bool ValidPathBits(const StoredArray<uint16_t>& bits) {
        for (const uint16_t bit : bits) {
            if (bit >= PathGramSet::kBits && bit != PathGramSet::kAny) return false;
        }
        return true;
    }

    // Each record's program opens with a byte naming its kind and the runs
    // of text checked before it; an automaton program is checked whole,
    // since it is read by the offsets it holds.
    static bool ValidPaths(const PathTable& paths) {
        const size_t size = paths.literals_.size();
        for (const PathTable::Record& r : paths.records_) {
            if (r.programOffset > size || r.programLength > size - r.programOffset) return false;
            if (r.requiredOffset > size || r.requiredLength > size - r.requiredOffset) return false;
            const StoredProgram program =
                SplitStoredProgram(std::string_view(paths.literals_.data() + r.programOffset, r.programLength));
            if (!ShortcutRunsValid(program.runs)) return false;
            switch (program.kind) {
                case PathShortcut::Kind::Glob: break;
                case PathShortcut::Kind::Automaton:
                    if (!AutomatonProgramValid(program.code)) return false;
                    break;
                default: return false;
            }
        }
        return true;
    }

    // Text, host and the path after it (and the port between them, which
    // is read as the text after the host's ":") all lie within the text.
    static bool ValidEntries(const PatternList& list) {
        const size_t size = list.text.size();
        for (const PatternEntry& e : list.entries) {
            if (e.textOffset > size || e.textLength > size - e.textOffset || e.hostLength > e.textLength) return false;
            const std::string_view text = list.Text(e);
            if (e.hasPort && (e.hostLength == e.textLength || text[e.hostLength] != ':')) return false;
            if (!e.hasPath()) continue;
            if (e.pathSlot >= list.paths.size()) return false;
            const size_t slash = e.hasPort ? text.find('/', e.hostLength) : e.hostLength;
            if (slash >= text.size() || text[slash] != '/') return false;
        }
        return true;
    }

    // Runs of line numbers in file order, so that every entry's number is
    // found and stays within range.
    static bool ValidLines(const LineNumbers& lines, size_t entries) {
        const auto& jumps = lines.jumps_;
        if (entries > 0 && (jumps.empty() || jumps[0].fileIndex != 0)) return false;
        for (size_t i = 0; i < jumps.size(); ++i) {
            if (jumps[i].fileIndex >= entries || jumps[i].lineNumber < 1) return false;
            if (i > 0 && jumps[i].fileIndex <= jumps[i - 1].fileIndex) return false;
            if (jumps[i].lineNumber > INT32_MAX - static_cast<int64_t>(entries)) return false;
        }
        return true;
    }

    static bool ReadMap(Reader& in, size_t entries, PostingMap* map) {
        uint64_t shift = 0;
        uint64_t homes = 0;
        if (!in.Array(&map->slots_) || !in.Array(&map->runs_) || !in.Array(&map->filter_) || !in.Word(&shift) ||
            !in.Word(&homes)) {
            return false;
        }
        if (shift < 12 || shift > 26 || map->filter_.size() != (size_t{1} << (32 - shift)) / 64) return false;
        map->filterShift_ = static_cast<unsigned>(shift);
        // A lookup starts below homes_ and stops at the empty slot that ends the table at the latest.
        const StoredArray<PostingMap::Slot>& slots = map->slots_;
        if (slots.empty() ? homes != 0 : homes >= slots.size() || slots[slots.size() - 1].ref != PostingMap::kEmpty) {
            return false;
        }
        map->homes_ = static_cast<uint32_t>(homes);
        const StoredArray<uint32_t>& runs = map->runs_;
        for (const PostingMap::Slot& slot : slots) {
            if (slot.ref == PostingMap::kEmpty) {
                if (slot.mixed != UINT32_MAX) return false;
            } else if ((slot.ref & PostingMap::kSingle) != 0) {
                if ((slot.ref & ~PostingMap::kSingle) >= entries) return false;
            } else if (slot.ref >= runs.size() || runs[slot.ref] > runs.size() - slot.ref - 1) {
                return false;
            }
        }
        // A run holds entries only.
        for (const PostingMap::Slot& slot : slots) {
            if (slot.ref == PostingMap::kEmpty || (slot.ref & PostingMap::kSingle) != 0) continue;
            for (uint32_t k = 1; k <= runs[slot.ref]; ++k) {
                if (runs[slot.ref + k] >= entries) return false;
            }
        }
        return true;
    }
};

ListTextKey ListTextKey::Of(std::string_view text) { return {text.size(), HashBytes(text)}; }

std::string SealedSnapshot(std::string_view payload, const ListTextKey& key) {
    Writer out;
    for (const uint64_t word : {kMagic, ListSnapshot::kVersion, key.length, key.hash, HashBytes(payload)})
        out.Word(word);
    return out.bytes().append(payload);  // the header's 40 bytes keep the arrays' alignment
}

std::string ListSnapshotBytes(const PatternList& list, const ListTextKey& key) {
    Writer payload;
    ListSnapshot::Write(list, payload);
    return SealedSnapshot(payload.bytes(), key);
}

std::unique_ptr<PatternList> ListFromSnapshot(std::unique_ptr<ListStorage> storage, const ListTextKey& key,
                                              const std::string& source) {
    const std::string_view snapshot = storage ? storage->bytes() : std::string_view();
    if (snapshot.size() < kHeaderBytes) return nullptr;
    Reader header(snapshot.substr(0, kHeaderBytes));
    uint64_t words[5] = {};
    for (uint64_t& word : words) header.Word(&word);
    const std::string_view payload = snapshot.substr(kHeaderBytes);
    if (words[0] != kMagic || words[1] != ListSnapshot::kVersion || ListTextKey{words[2], words[3]} != key ||
        words[4] != HashBytes(payload)) {
        return nullptr;
    }
    auto list = std::make_unique<PatternList>();
    list->storage = std::move(storage);
    Reader in(payload);
    if (!ListSnapshot::Read(in, list.get()) || !in.done()) return nullptr;
    list->source = source;
    return list;
}

}  // namespace tamsel
