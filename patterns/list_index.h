// Which entries of a list can possibly decide a given request.
//
// A host pattern whose last labels are plain text can only match hosts that
// end in those labels, so such an entry is filed under its plain suffix (the
// whole host, or what lies right of its rightmost wildcard label) and found
// by looking up every suffix of the request's host, one per label boundary.
// A host pattern that ends in wildcard labels ("adserver.*.*") is filed under
// one of its other labels and that label's place counted from the right: a
// plain label, or else the first byte of a label's text before its "*". An
// entry that any host can meet but that has a path is filed under three or
// four bytes of the text its path requires, and found by looking up the
// request path's windows. Only the few entries left over (no usable host
// label and no usable required text) are tried for every request.
//
// Each lookup gives entries in ascending chain order; the first one that
// passes in each run ends that run, and runs stop at the best entry found so
// far, so the entry nearest the end of the file still decides.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "base/bit_words.h"
#include "patterns/host_labels.h"
#include "patterns/stored_array.h"
#include "patterns/text.h"

namespace tamsel {

struct PatternList;

// The places, counted from the right, at which host labels are indexed,
// and how many bytes of a wildcard label's text make its key.
inline constexpr int kMaxIndexedLabelPlace = 31;
inline constexpr size_t kMaxPrefixBytes = 3;

// Spreads a key's bits over the whole word.
constexpr uint32_t MixKey(uint32_t h) {
    h ^= h >> 16;
    h *= 0x85ebca6bu;
    h ^= h >> 13;
    h *= 0xc2b2ae35u;
    return h ^ (h >> 16);
}

// Open-addressing map from a 32-bit key to an ascending run of entry indexes.
// Two keys that hash alike may share a run: that only adds candidates. A bit
// array of about eight bits per key, small enough to stay in the cache,
// answers most lookups of absent keys without touching the table.
//
// A slot holds the key mixed (MixKey is one to one), and the table is built
// in ascending order of that value: each key goes to its home slot, or the
// first free one after the key before it, and never wraps round. The
// occupied slots then ascend, so a lookup stops at the first value not below
// its own, however full the table: an absent key costs a slot or two, not the
// rest of a cluster. One empty slot ends the table.
class PostingMap {
public:
    // Pairs of key (high half) and entry (low half), in any order.
    void Build(std::vector<uint64_t> pairs);

    // Calls `visit(entry)` for the run of `key`, in ascending order, while it returns true.
    template <typename Visit>
    void ForEach(uint32_t key, Visit visit) const {
        const uint32_t mixed = MixKey(key);
        if (MayHold(mixed)) ForEachMixed(mixed, visit);
    }

    // The same in two steps, for a caller that asks the bit array about
    // many keys before it looks any of them up: whether the map may hold
    // the key of MixKey `mixed` (never for an empty map), then its run.
    bool MayHold(uint32_t mixed) const { return !slots_.empty() && HasBit(filter_.data(), mixed >> filterShift_); }
    template <typename Visit>
    void ForEachMixed(uint32_t mixed, Visit visit) const;

    bool empty() const { return slots_.empty(); }

    size_t bytes() const { return slots_.ownedBytes() + runs_.ownedBytes() + filter_.ownedBytes(); }

private:
    friend class ListSnapshot;
    static constexpr uint32_t kEmpty = UINT32_MAX;
    static constexpr uint32_t kSingle = 0x80000000u;  // the slot holds the one entry itself
    struct Slot {
        uint32_t mixed;  // MixKey of the key; UINT32_MAX in an empty slot
        uint32_t ref;    // kEmpty; entry | kSingle; or where [count, entries...] starts in runs_
    };

    // Ascends with `mixed`, below `homes`.
    static size_t Home(uint32_t mixed, size_t homes) { return static_cast<size_t>((uint64_t{mixed} * homes) >> 32); }

    StoredArray<Slot> slots_;
    StoredArray<uint32_t> runs_;
    StoredArray<uint64_t> filter_;  // bit (mixed key >> filterShift_) set for each key held
    unsigned filterShift_ = 26;
    uint32_t homes_ = 0;  // home slots: the first homes_ of the table
};

// The three-byte windows of a lowered request path, hashed into 1,024 bits.
// Every path that matches a line holds the text the line's path requires,
// so a path whose set lacks the bit of that text's last three bytes cannot
// match the line: most candidates are refused here, before their text is read.
// The set is made when a candidate first asks: most requests meet none that
// requires text, and then the path is neither hashed nor the bits cleared.
class PathGramSet {
public:
    static constexpr uint16_t kAny = UINT16_MAX;  // for a line that requires no text
    static constexpr uint16_t kBits = 1024;

    explicit PathGramSet(std::string_view loweredPath) : path_(loweredPath) {}
    PathGramSet(const PathGramSet&) = delete;
    PathGramSet& operator=(const PathGramSet&) = delete;

    // A multiply and a shift: made for every window of many paths, it must be cheap.
    static uint16_t BitOf(uint32_t gram3) {
        return static_cast<uint16_t>((uint64_t{gram3} * 0x9e3779b97f4a7c15u) >> 54);
    }
    bool MayHold(uint16_t bit) const {
        if (bit == kAny) return true;
        if (!made_) Make();
        return HasBit(bits_, bit);
    }

private:
    void Make() const;

    std::string_view path_;
    mutable bool made_ = false;
    mutable uint64_t bits_[kBits / 64];  // set by Make
};

// The entries one question has tested already. An entry is filed under a
// window of path text, and a path may hold that window many times: tested
// once, a failing entry costs one pass over the path instead of one per
// occurrence, so a request's time grows with its path's length, not with
// its square. The few entries a request usually meets are kept inline.
class TestedEntries {
public:
    TestedEntries() = default;
    TestedEntries(const TestedEntries&) = delete;
    TestedEntries& operator=(const TestedEntries&) = delete;

    // Whether `entry` was recorded before; records it.
    bool Seen(uint32_t entry) {
        if (!table_) {
            for (size_t i = 0; i < few_; ++i) {
                if (inline_[i] == entry) return true;
            }
            if (few_ < kInline) {
                inline_[few_++] = entry;
                return false;
            }
            Spill();
        }
        return SeenInTable(entry);
    }

private:
    static constexpr size_t kInline = 16;
    static constexpr uint32_t kEmpty = UINT32_MAX;
    void Spill();
    bool SeenInTable(uint32_t entry);
    void Resize(size_t capacity);

    uint32_t inline_[kInline];
    size_t few_ = 0;
    std::unique_ptr<uint32_t[]> table_;  // open addressing, past kInline entries
    size_t capacity_ = 0;                // a power of two
    size_t used_ = 0;
};

class ListIndex {
public:
    static constexpr uint32_t kNone = UINT32_MAX;

    void Build(const PatternList& list);

    // Calls `test(entry)` on the candidates for a request (and on the run
    // `alsoTried`, if given); returns the lowest entry index for which it
    // returned true, or kNone. An empty path looks up no path text. With
    // `pathGrams` (those of the request's path) a line whose path needs text
    // the path cannot hold is passed over untested, its record unread.
    template <typename Test>
    uint32_t FirstPassing(const HostLabels& host, std::string_view loweredPath, Test test,
                          const PathGramSet* pathGrams = nullptr,
                          const StoredArray<uint32_t>* alsoTried = nullptr) const;

    // The same for a question about a host alone (any port, any path): the
    // candidates are the entries filed by host and those tried always, then
    // of the lines filed by path text every one (`allPathLines`) or only the
    // exception lines.
    template <typename Test>
    uint32_t FirstPassingForHost(const HostLabels& host, bool allPathLines, Test test) const;

    size_t bytes() const;
    size_t alwaysTried() const { return always_.size(); }

private:
    // Fills pathTriples_ from the keys byPathGram_ is built from.
    void MarkPathTriples(const std::vector<uint64_t>& grams);
    // The bit of three path bytes, the earliest in the low byte.
    uint32_t PathTripleBit(uint32_t triple) const { return (triple * 0x9e3779b1u) >> pathTripleShift_; }
    friend class ListSnapshot;
    template <typename Consider>
    void VisitHost(const HostLabels& host, Consider& consider) const;
    template <typename Consider>
    void VisitPath(std::string_view loweredPath, Consider& consider) const;

    PostingMap byHostSuffix_;
    PostingMap byHostLabel_;    // entries whose host ends in wildcard labels
    uint32_t labelPlaces_ = 0;  // bit p: some entry is filed under a plain label at place p
    // By length less one: bit p, some entry is filed under that many bytes of a label's text at place p.
    uint32_t prefixPlaces_[kMaxPrefixBytes] = {};
    PostingMap byPathGram_;
    // A bit for the last three bytes of each key of byPathGram_, about eight
    // bits a key: a path position whose last three bytes have no bit set
    // needs no lookup, and nearly all have none. Empty when the map is.
    StoredArray<uint64_t> pathTriples_;
    unsigned pathTripleShift_ = 0;
    StoredArray<uint32_t> always_;
    StoredArray<uint16_t> pathBits_;        // by entry: the PathGramSet bit its path needs, or kAny
    StoredArray<uint32_t> pathLines_;       // every entry filed by path text, ascending
    StoredArray<uint32_t> pathExceptions_;  // the exception lines among them
};

// Keys of a host label at a place counted from the right (1: the last
// label, up to kMaxIndexedLabelPlace): the whole label, or the first bytes
// (up to kMaxPrefixBytes) of a wildcard label's text before its "*".
uint32_t HostLabelKey(int place, std::string_view label);
// The same from the label's hash (HashHostLabel), which a request's labels
// carry already. The maps mix their keys.
constexpr uint32_t PlacedLabelKey(int place, uint32_t labelHash) {
    return labelHash + static_cast<uint32_t>(place) * 0x9e3779b9u;
}
// The key of a label's first bytes is built a byte at a time, so that a
// request's label gives the keys of its first one, two and three bytes in
// one pass.
constexpr uint32_t HostPrefixSeed(int place) { return 0x7f4a7c15u ^ static_cast<uint32_t>(place) << 8; }
constexpr uint32_t ExtendHostPrefixKey(uint32_t key, char c) {
    return (key ^ static_cast<unsigned char>(AsciiLower(c))) * 16777619u;
}
constexpr uint32_t HostPrefixKey(int place, std::string_view prefix) {
    uint32_t key = HostPrefixSeed(place);
    for (const char c : prefix) key = ExtendHostPrefixKey(key, c);
    return key;
}

// Four path bytes as one key, the first in the low byte. Shifted right by
// eight it is the key of the last three: a three-byte key has a zero high
// byte, which no four bytes of a path (never NUL) have.
constexpr uint32_t PathGram(uint32_t previous, char next) {
    return (previous >> 8) | (static_cast<uint32_t>(static_cast<unsigned char>(next)) << 24);
}

template <typename Visit>
void PostingMap::ForEachMixed(uint32_t mixed, Visit visit) const {
    // The last slot is empty, and an empty slot's value is the highest.
    const Slot* slot = &slots_[Home(mixed, homes_)];
    while (slot->mixed < mixed) ++slot;
    if (slot->mixed != mixed || slot->ref == kEmpty) return;
    if (slot->ref & kSingle) {
        visit(slot->ref & ~kSingle);
        return;
    }
    const uint32_t* run = &runs_[slot->ref];
    for (uint32_t k = 1; k <= run[0] && visit(run[k]); ++k) {
    }
}

// Calls `consider(entry)` for each entry of an ascending run while it returns true.
template <typename Consider>
void ForEachInRun(const StoredArray<uint32_t>& run, Consider consider) {
    for (const uint32_t entry : run) {
        if (!consider(entry)) break;
    }
}

template <typename Test>
uint32_t ListIndex::FirstPassingForHost(const HostLabels& host, bool allPathLines, Test test) const {
    return FirstPassing(host, std::string_view(), test, nullptr, allPathLines ? &pathLines_ : &pathExceptions_);
}

// A host's keys are first put to the bit arrays, with no branch on their
// answers, which are nearly all "absent": only the few keys that pass are
// looked up in the tables.
template <typename Consider>
void ListIndex::VisitHost(const HostLabels& host, Consider& consider) const {
    struct Pending {
        const PostingMap* map;
        uint32_t mixed;
    };
    constexpr size_t kMaxPending = 24;
    Pending pending[kMaxPending];
    size_t count = 0;
    const auto ask = [&](const PostingMap& map, uint32_t key) {
        pending[count] = Pending{&map, MixKey(key)};
        count += map.MayHold(pending[count].mixed);
    };
    const auto lookUp = [&] {
        for (size_t k = 0; k < count; ++k) pending[k].map->ForEachMixed(pending[k].mixed, consider);
        count = 0;
    };
    uint32_t anyPrefixPlaces = 0;
    for (const uint32_t places : prefixPlaces_) anyPrefixPlaces |= places;
    uint32_t suffix = 0;
    int place = 0;
    for (size_t i = host.labels.size(); i-- > 0;) {
        const uint32_t labelHash = host.hashes[i];
        suffix = ExtendSuffixKey(suffix, labelHash);
        ask(byHostSuffix_, suffix);
        if (++place > kMaxIndexedLabelPlace) continue;
        const uint32_t at = uint32_t{1} << place;
        if ((labelPlaces_ & at) != 0) ask(byHostLabel_, PlacedLabelKey(place, labelHash));
        if ((anyPrefixPlaces & at) != 0) {
            const std::string_view label = host.labels[i];
            uint32_t key = HostPrefixSeed(place);
            for (size_t bytes = 1; bytes <= std::min(kMaxPrefixBytes, label.size()); ++bytes) {
                key = ExtendHostPrefixKey(key, label[bytes - 1]);
                if ((prefixPlaces_[bytes - 1] & at) != 0) ask(byHostLabel_, key);
            }
        }
        if (count > kMaxPending - 2 - kMaxPrefixBytes) lookUp();
    }
    lookUp();
}

template <typename Consider>
void ListIndex::VisitPath(std::string_view loweredPath, Consider& consider) const {
    if (pathTriples_.empty()) return;
    uint32_t gram = 0;
    for (size_t i = 0; i < loweredPath.size(); ++i) {
        gram = PathGram(gram, loweredPath[i]);
        if (i < 2 || !HasBit(pathTriples_.data(), PathTripleBit(gram >> 8))) continue;
        byPathGram_.ForEach(gram >> 8, consider);
        if (i >= 3) byPathGram_.ForEach(gram, consider);
    }
}

template <typename Test>
uint32_t ListIndex::FirstPassing(const HostLabels& host, std::string_view loweredPath, Test test,
                                 const PathGramSet* pathGrams, const StoredArray<uint32_t>* alsoTried) const {
    uint32_t best = kNone;
    // The same window of path text may come again and again in a path.
    TestedEntries tested;
    const auto consider = [&](uint32_t entry, bool once) {
        if (entry >= best) return false;
        if (pathGrams != nullptr && !pathGrams->MayHold(pathBits_[entry])) return true;
        if ((once && tested.Seen(entry)) || !test(entry)) return true;
        best = entry;
        return false;
    };
    const auto considerEach = [&](uint32_t entry) { return consider(entry, false); };
    const auto considerOnce = [&](uint32_t entry) { return consider(entry, true); };
    VisitHost(host, considerEach);
    VisitPath(loweredPath, considerOnce);
    ForEachInRun(always_, considerEach);
    if (alsoTried != nullptr) ForEachInRun(*alsoTried, considerEach);
    return best;
}

}  // namespace tamsel
