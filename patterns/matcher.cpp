#include "patterns/matcher.h"

#include <new>

namespace tamsel {

namespace {

// A record with a host always has a path; keep the engine off a null one.
const char* PathOf(const RequestUrl& url) { return url.path ? url.path->c_str() : "/"; }

bool Passes(const PatternList& list, const PatternEntry& entry, const PreparedRequest& request) {
    if (entry.port != 0 && entry.port != request.port) return false;
    if (entry.hostLength != 0 && !MatchHostPattern(list.Host(entry), request.host)) return false;
    return !entry.hasPath() || list.paths.Matches(entry.pathSlot, *list.Path(entry), request.path);
}

}  // namespace

PreparedRequest::PreparedRequest(const RequestUrl& url, const HostLabels& hostLabels)
    : host(hostLabels), port(url.port), path(PathOf(url)) {}

const PatternEntry* FindDecidingEntry(const PreparedRequest& request, const PatternList* list) {
    if (list == nullptr || request.host.empty()) return nullptr;
    const uint32_t found = list->index.FirstPassing(request.host, request.path.lowered(), [&](uint32_t i) {
        return Passes(*list, list->entries[i], request);
    });
    return found == ListIndex::kNone ? nullptr : &list->entries[found];
}

const PatternEntry* FindDecidingEntry(const RequestUrl& url, const PatternList* list) {
    if (list == nullptr || !url.host) return nullptr;
    const HostLabels labels = SplitHostLabels(*url.host);
    return FindDecidingEntry(PreparedRequest(url, labels), list);
}

int MatchPatternList(const RequestUrl* url, const PatternList* list) {
    if (url == nullptr) return 0;
    try {
        const PatternEntry* entry = FindDecidingEntry(*url, list);
        return (entry != nullptr && entry->positive) ? 1 : 0;
    } catch (const std::bad_alloc&) {
        return 0;  // the request's host could not be split
    }
}

}  // namespace tamsel
