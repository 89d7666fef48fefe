#include "patterns/list_index.h"

#include <algorithm>
#include <optional>
#include <unordered_map>

#include "patterns/pattern_list.h"
#include "patterns/text.h"

namespace tamsel {

namespace {

enum class HostFilingKind { Suffix, Label };

struct HostFiling {
    HostFilingKind kind;
    uint32_t key;
    int place;               // of the label, for kind Label
    size_t prefixBytes = 0;  // for a label's text before its "*": how many bytes of it make the key
};

// Where an entry is filed by its host, if anywhere. A host pattern whose
// last labels are plain goes under that plain suffix. One that ends in
// wildcard labels, or whose plain suffix is a single label (too common a
// key: "ads.*.com"), goes under a label left of its wildcards and that
// label's place: a plain label, else up to kMaxPrefixBytes bytes of a
// label's text before its "*" (such a label matches every label that starts
// with that text).
std::optional<HostFiling> HostFilingOf(std::string_view host) {
    uint32_t suffix = 0;
    int suffixLabels = 0;
    bool wildcard = false;
    std::optional<HostFiling> plain, prefix;
    int place = 0;
    EachLabelFromRight(host, [&](std::string_view label) {
        const size_t star = label.find('*');
        ++place;
        if (!wildcard && star == std::string_view::npos) {
            suffix = ExtendSuffixKey(suffix, HashHostLabel(label));
            ++suffixLabels;
            return true;
        }
        wildcard = true;
        if (place > kMaxIndexedLabelPlace) return false;
        if (star == std::string_view::npos) {
            plain = HostFiling{HostFilingKind::Label, HostLabelKey(place, label), place};
            return false;
        }
        if (star > 0 && !prefix) {
            const std::string_view text = label.substr(0, std::min(star, kMaxPrefixBytes));
            prefix = HostFiling{HostFilingKind::Label, HostPrefixKey(place, text), place, text.size()};
        }
        return true;
    });
    const HostFiling bySuffix{HostFilingKind::Suffix, suffix, 0};
    if (suffixLabels >= 2 || (suffixLabels == 1 && !wildcard)) return bySuffix;
    if (plain) return plain;
    if (prefix) return prefix;
    if (suffixLabels == 1) return bySuffix;
    return std::nullopt;
}

// The key of a text's last three bytes, at least three.
uint32_t LastThreeBytes(std::string_view text) {
    uint32_t gram = 0;
    for (const char c : text.substr(text.size() - 3)) gram = PathGram(gram, c);
    return gram >> 8;
}

// The window of `required` (four bytes, or three when that is all it has)
// whose run is shortest so far.
uint32_t RarestGram(std::string_view required, const std::unordered_map<uint32_t, uint32_t>& counts) {
    if (required.size() == 3) return LastThreeBytes(required);
    uint32_t best = 0;
    uint32_t bestCount = UINT32_MAX;
    uint32_t gram = 0;
    for (size_t i = 0; i < required.size(); ++i) {
        gram = PathGram(gram, required[i]);
        if (i < 3) continue;
        const auto it = counts.find(gram);
        const uint32_t count = it == counts.end() ? 0 : it->second;
        if (count < bestCount) {
            best = gram;
            bestCount = count;
        }
    }
    return best;
}

}  // namespace

void TestedEntries::Spill() {
    Resize(4 * kInline);
    for (size_t i = 0; i < few_; ++i) SeenInTable(inline_[i]);
}

bool TestedEntries::SeenInTable(uint32_t entry) {
    for (size_t i = (entry * 0x9e3779b1u) & (capacity_ - 1);; i = (i + 1) & (capacity_ - 1)) {
        if (table_[i] == entry) return true;
        if (table_[i] != kEmpty) continue;
        table_[i] = entry;
        if (++used_ * 2 > capacity_) Resize(capacity_ * 4);
        return false;
    }
}

void TestedEntries::Resize(size_t capacity) {
    std::unique_ptr<uint32_t[]> old = std::move(table_);
    const size_t oldCapacity = capacity_;
    table_.reset(new uint32_t[capacity]);
    std::fill_n(table_.get(), capacity, kEmpty);
    capacity_ = capacity;
    used_ = 0;
    for (size_t i = 0; i < oldCapacity; ++i) {
        if (old[i] != kEmpty) SeenInTable(old[i]);
    }
}

void PathGramSet::Make() const {
    for (uint64_t& word : bits_) word = 0;
    made_ = true;
    if (path_.size() < 3) return;
    uint32_t gram = PathGram(PathGram(0, path_[0]), path_[1]);
    for (size_t i = 2; i < path_.size(); ++i) {
        gram = PathGram(gram, path_[i]);
        SetBit(bits_, BitOf(gram >> 8));
    }
}

uint32_t HostLabelKey(int place, std::string_view label) { return PlacedLabelKey(place, HashHostLabel(label)); }

void PostingMap::Build(std::vector<uint64_t> pairs) {
    // Mixed keys in the high half: sorted, they come in the order of the table.
    for (uint64_t& pair : pairs) pair = uint64_t{MixKey(static_cast<uint32_t>(pair >> 32))} << 32 | (pair & UINT32_MAX);
    std::sort(pairs.begin(), pairs.end());
    const auto mixed = [&](size_t i) { return static_cast<uint32_t>(pairs[i] >> 32); };
    const auto entry = [&](size_t i) { return static_cast<uint32_t>(pairs[i]); };
    size_t keys = 0;
    for (size_t i = 0; i < pairs.size(); ++i) keys += i == 0 || mixed(i) != mixed(i - 1);
    // Six keys in seven home slots: the bit array spares most lookups of
    // absent keys the table, and the order the rest a long probe.
    homes_ = keys == 0 ? 0 : static_cast<uint32_t>(keys + keys / 6 + 1);
    std::vector<Slot> slots;
    filterShift_ = 26;  // 64 bits at least, then doubled up to eight bits a key
    while (filterShift_ > 12 && (size_t{1} << (32 - filterShift_)) < keys * 8) --filterShift_;
    std::vector<uint64_t> filter((size_t{1} << (32 - filterShift_)) / 64, 0);
    std::vector<uint32_t> runs;
    for (size_t i = 0; i < pairs.size();) {
        size_t j = i;
        while (j < pairs.size() && mixed(j) == mixed(i)) ++j;
        uint32_t ref = entry(i) | kSingle;
        if (j - i > 1) {
            ref = static_cast<uint32_t>(runs.size());
            runs.push_back(static_cast<uint32_t>(j - i));
            for (size_t k = i; k < j; ++k) runs.push_back(entry(k));
        }
        SetBit(filter.data(), mixed(i) >> filterShift_);
        slots.resize(std::max(slots.size(), Home(mixed(i), homes_)), Slot{UINT32_MAX, kEmpty});
        slots.push_back(Slot{mixed(i), ref});
        i = j;
    }
    if (keys > 0) slots.resize(std::max<size_t>(slots.size(), homes_) + 1, Slot{UINT32_MAX, kEmpty});
    slots_.Adopt(std::move(slots));
    runs_.Adopt(std::move(runs));
    filter_.Adopt(std::move(filter));
}

void ListIndex::Build(const PatternList& list) {
    std::vector<uint64_t> hosts;
    std::vector<uint64_t> labels;
    std::vector<uint64_t> grams;
    labelPlaces_ = 0;
    std::fill(std::begin(prefixPlaces_), std::end(prefixPlaces_), 0);
    std::vector<uint16_t> pathBits(list.entries.size(), PathGramSet::kAny);
    std::vector<uint32_t> always;
    std::vector<uint32_t> pathLines;
    std::vector<uint32_t> pathExceptions;
    hosts.reserve(list.entries.size());
    std::unordered_map<uint32_t, uint32_t> gramCounts;
    for (size_t i = 0; i < list.entries.size(); ++i) {
        const PatternEntry& e = list.entries[i];
        const auto index = static_cast<uint32_t>(i);
        const std::string_view required = e.hasPath() ? list.paths.Required(e.pathSlot) : std::string_view();
        if (required.size() >= 3) {
            pathBits[i] = PathGramSet::BitOf(LastThreeBytes(required));
        }
        if (const auto filing = HostFilingOf(list.Host(e))) {
            const uint64_t pair = uint64_t{filing->key} << 32 | index;
            if (filing->kind == HostFilingKind::Suffix) {
                hosts.push_back(pair);
            } else {
                labels.push_back(pair);
                uint32_t& places = filing->prefixBytes == 0 ? labelPlaces_ : prefixPlaces_[filing->prefixBytes - 1];
                places |= uint32_t{1} << filing->place;
            }
            continue;
        }
        if (required.size() < 3) {
            always.push_back(index);
            continue;
        }
        pathLines.push_back(index);
        if (!e.positive) pathExceptions.push_back(index);
        const uint32_t gram = RarestGram(required, gramCounts);
        ++gramCounts[gram];
        grams.push_back(uint64_t{gram} << 32 | index);
    }
    byHostSuffix_.Build(std::move(hosts));
    byHostLabel_.Build(std::move(labels));
    MarkPathTriples(grams);
    byPathGram_.Build(std::move(grams));
    always_.Adopt(std::move(always));
    pathBits_.Adopt(std::move(pathBits));
    pathLines_.Adopt(std::move(pathLines));
    pathExceptions_.Adopt(std::move(pathExceptions));
}

void ListIndex::MarkPathTriples(const std::vector<uint64_t>& grams) {
    std::vector<uint32_t> keys;
    keys.reserve(grams.size());
    for (const uint64_t pair : grams) keys.push_back(static_cast<uint32_t>(pair >> 32));
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    std::vector<uint64_t> triples;
    if (!keys.empty()) {
        pathTripleShift_ = 32 - 9;  // 512 bits at least, then doubled up to eight bits a key
        while (pathTripleShift_ > 14 && (size_t{1} << (32 - pathTripleShift_)) < keys.size() * 8) --pathTripleShift_;
        triples.assign((size_t{1} << (32 - pathTripleShift_)) / 64, 0);
    }
    // A key of three bytes has a zero high byte and is its own last three.
    for (const uint32_t key : keys) SetBit(triples.data(), PathTripleBit(key >> 24 == 0 ? key : key >> 8));
    pathTriples_.Adopt(std::move(triples));
}

size_t ListIndex::bytes() const {
    return byHostSuffix_.bytes() + byHostLabel_.bytes() + byPathGram_.bytes() + pathTriples_.ownedBytes() +
           always_.ownedBytes() + pathLines_.ownedBytes() + pathExceptions_.ownedBytes() + pathBits_.ownedBytes();
}

}  // namespace tamsel
