#include "patterns/list_index.h"

#include <algorithm>
#include <unordered_map>

#include "patterns/pattern_list.h"
#include "patterns/text.h"

namespace tamsel {

namespace {

uint32_t Mix(uint32_t h) {
    h ^= h >> 16;
    h *= 0x85ebca6bu;
    h ^= h >> 13;
    h *= 0xc2b2ae35u;
    return h ^ (h >> 16);
}

// The hash of a host pattern's plain suffix: its labels from the right up to
// the first one that holds a wildcard. False when the last label has one (or
// there are no labels): then the pattern has no plain suffix.
bool PlainSuffixHash(std::string_view host, uint32_t* hash) {
    uint32_t h = kHostHashSeed;
    bool any = false;
    EachLabelFromRight(host, [&](std::string_view label) {
        if (label.find('*') != std::string_view::npos) return false;
        h = HashHostLabel(h, label);
        any = true;
        return true;
    });
    *hash = h;
    return any;
}

// The four-byte window of `required` whose run is shortest so far.
uint32_t RarestGram(std::string_view required, const std::unordered_map<uint32_t, uint32_t>& counts) {
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

uint32_t HashHostLabel(uint32_t hash, std::string_view label) {
    for (const char c : label) hash = (hash ^ static_cast<unsigned char>(AsciiLower(c))) * 16777619u;
    return (hash ^ '.') * 16777619u;
}

size_t PostingMap::Home(uint32_t key) const {
    return static_cast<size_t>((static_cast<uint64_t>(Mix(key)) * slots_.size()) >> 32);
}

void PostingMap::Build(std::vector<uint64_t> pairs) {
    std::sort(pairs.begin(), pairs.end());
    const auto key = [&](size_t i) { return static_cast<uint32_t>(pairs[i] >> 32); };
    const auto entry = [&](size_t i) { return static_cast<uint32_t>(pairs[i]); };
    size_t keys = 0;
    for (size_t i = 0; i < pairs.size(); ++i) keys += i == 0 || key(i) != key(i - 1);
    slots_.assign(keys == 0 ? 0 : keys + keys / 3 + 1, Slot{0, kEmpty});
    runs_.clear();
    for (size_t i = 0; i < pairs.size();) {
        size_t j = i;
        while (j < pairs.size() && key(j) == key(i)) ++j;
        uint32_t ref = entry(i) | kSingle;
        if (j - i > 1) {
            ref = static_cast<uint32_t>(runs_.size());
            runs_.push_back(static_cast<uint32_t>(j - i));
            for (size_t k = i; k < j; ++k) runs_.push_back(entry(k));
        }
        size_t at = Home(key(i));
        while (slots_[at].ref != kEmpty) at = at + 1 == slots_.size() ? 0 : at + 1;
        slots_[at] = Slot{key(i), ref};
        i = j;
    }
    runs_.shrink_to_fit();
}

bool ListIndex::MayHoldGram(uint32_t gram) const {
    const uint32_t bit = Mix(gram) >> (32 - kFilterBits);
    return (gramFilter_[bit >> 6] >> (bit & 63)) & 1;
}

void ListIndex::Build(const PatternList& list) {
    std::vector<uint64_t> hosts;
    std::vector<uint64_t> grams;
    hosts.reserve(list.entries.size());
    std::unordered_map<uint32_t, uint32_t> gramCounts;
    gramFilter_.assign((size_t{1} << kFilterBits) / 64, 0);
    always_.clear();
    pathLines_.clear();
    pathExceptions_.clear();
    for (size_t i = 0; i < list.entries.size(); ++i) {
        const PatternEntry& e = list.entries[i];
        const auto index = static_cast<uint32_t>(i);
        uint32_t hash = 0;
        if (PlainSuffixHash(list.Host(e), &hash)) {
            hosts.push_back(uint64_t{hash} << 32 | index);
            continue;
        }
        const std::string_view required = e.hasPath() ? list.paths.Required(e.pathSlot) : std::string_view();
        if (required.size() < 4) {
            always_.push_back(index);
            continue;
        }
        pathLines_.push_back(index);
        if (!e.positive) pathExceptions_.push_back(index);
        const uint32_t gram = RarestGram(required, gramCounts);
        ++gramCounts[gram];
        grams.push_back(uint64_t{gram} << 32 | index);
        const uint32_t bit = Mix(gram) >> (32 - kFilterBits);
        gramFilter_[bit >> 6] |= uint64_t{1} << (bit & 63);
    }
    byHostSuffix_.Build(std::move(hosts));
    byPathGram_.Build(std::move(grams));
    always_.shrink_to_fit();
    pathLines_.shrink_to_fit();
    pathExceptions_.shrink_to_fit();
}

size_t ListIndex::bytes() const {
    return byHostSuffix_.bytes() + byPathGram_.bytes() + gramFilter_.capacity() * sizeof(uint64_t) +
           (always_.capacity() + pathLines_.capacity() + pathExceptions_.capacity()) * sizeof(uint32_t);
}

}  // namespace tamsel
