#include "patterns/matcher.h"

namespace tamsel {

namespace {

// A record with a host always has a path; keep the engine off a null one.
std::string_view PathOf(const RequestView& url) { return url.path.value_or("/"); }

bool Passes(const PatternList& list, const PatternEntry& entry, const PreparedRequest& request) {
    if (const int32_t port = list.Port(entry); port != 0 && port != request.port) return false;
    if (!EntryHostCovers(list, entry, request.host)) return false;
    if (!entry.hasPath()) return true;
    return list.paths.Matches(entry.pathSlot, request.path);
}

}  // namespace

bool EntryHostCovers(const PatternList& list, const PatternEntry& entry, const HostLabels& host) {
    return entry.hostLength == 0 || MatchHostPattern(list.Host(entry), host);
}

PreparedRequest::PreparedRequest(const RequestView& url, const HostLabels& hostLabels)
    : host(hostLabels), port(url.port), path(PathOf(url)), pathGrams(path.lowered()) {}

const PatternEntry* FindDecidingEntry(const PreparedRequest& request, const PatternList* list) {
    if (list == nullptr || request.host.empty()) return nullptr;
    const uint32_t found = list->index.FirstPassing(
        request.host, request.path.lowered(), [&](uint32_t i) { return Passes(*list, list->entries[i], request); },
        &request.pathGrams);
    return found == ListIndex::kNone ? nullptr : &list->entries[found];
}

}  // namespace tamsel
