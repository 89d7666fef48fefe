#include "patterns/judge.h"

namespace tamsel {

Judgement JudgeRequest(const RequestView& url, const ListSet& lists) {
    Judgement result;
    if (!url.host) return result;
    // Split and lower-case once for all three lists.
    const HostLabels labels = SplitHostLabels(*url.host);
    const PreparedRequest request(url, labels);
    const struct {
        const PatternList* list;
        Verdict onMatch;
    } order[] = {
        {lists.trust, Verdict::Trusted},
        {lists.userBlock, Verdict::Refused},
        {lists.shippedBlock, Verdict::Refused},
    };
    for (const auto& step : order) {
        const PatternEntry* entry = FindDecidingEntry(request, step.list);
        if (entry == nullptr) continue;
        if (entry->positive) return {step.onMatch, step.list, entry};
        if (result.entry == nullptr) result = {Verdict::Passed, step.list, entry};
    }
    return result;
}

namespace {

// Whether a line of port `linePort` (0: none) can match some request on
// `port` (kAnyPort: on some port).
bool PortMayMatch(int32_t linePort, int32_t port) { return port == kAnyPort || linePort == 0 || linePort == port; }

// Whether it matches, as far as the port goes, every request on `port`.
bool PortCoversAll(int32_t linePort, int32_t port) { return linePort == 0 || linePort == port; }

// The entry that refuses every request to `host` on `port`, or null: the
// first, in chain order, of the entries whose host and port can match that is
// an exception (then nothing is certain) or a line without path whose port
// covers them all. Lines with a path filed by their text never refuse
// everything; of them only the exceptions can stand in the way.
const PatternEntry* WhollyRefusingEntry(const PatternList* list, const HostLabels& host, int32_t port) {
    if (list == nullptr) return nullptr;
    const uint32_t found = list->index.FirstPassingForHost(host, false, [&](uint32_t i) {
        const PatternEntry& entry = list->entries[i];
        if (!EntryHostCovers(*list, entry, host)) return false;
        const int32_t linePort = list->Port(entry);
        return entry.positive ? !entry.hasPath() && PortCoversAll(linePort, port) : PortMayMatch(linePort, port);
    });
    if (found == ListIndex::kNone || !list->entries[found].positive) return nullptr;
    return &list->entries[found];
}

bool AnyLineMayMatch(const PatternList* list, const HostLabels& host, int32_t port) {
    if (list == nullptr) return false;
    return list->index.FirstPassingForHost(host, true, [&](uint32_t i) {
        const PatternEntry& entry = list->entries[i];
        return EntryHostCovers(*list, entry, host) && PortMayMatch(list->Port(entry), port);
    }) != ListIndex::kNone;
}

}  // namespace

Judgement JudgeWhollyRefused(std::string_view host, int32_t port, const ListSet& lists) {
    const HostLabels labels = SplitHostLabels(host);
    if (labels.empty() || AnyLineMayMatch(lists.trust, labels, port)) return {};
    for (const PatternList* list : {lists.userBlock, lists.shippedBlock}) {
        if (const PatternEntry* entry = WhollyRefusingEntry(list, labels, port)) return {Verdict::Refused, list, entry};
    }
    return {};
}

}  // namespace tamsel
