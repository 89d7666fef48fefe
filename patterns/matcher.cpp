#include "patterns/matcher.h"

#include <new>

namespace tamsel {

const PatternEntry* FindDecidingEntry(const RequestUrl& url, const HostLabels& hostLabels,
                                      const PatternList* list) {
    if (list == nullptr || !url.host || hostLabels.empty()) return nullptr;
    // A record with a host always has a path; keep the engine off a null one.
    const char* path = url.path ? url.path->c_str() : "/";
    for (const PatternEntry& entry : list->entries) {
        if (entry.port != 0 && entry.port != url.port) continue;
        if (!entry.host.empty() && !MatchHostLabels(entry.labels, hostLabels)) continue;
        if (entry.compiledPath && !entry.compiledPath->Matches(path)) continue;
        return &entry;
    }
    return nullptr;
}

const PatternEntry* FindDecidingEntry(const RequestUrl& url, const PatternList* list) {
    if (list == nullptr || !url.host) return nullptr;
    return FindDecidingEntry(url, SplitHostLabels(*url.host), list);
}

int MatchPatternList(const RequestUrl* url, const PatternList* list) {
    if (url == nullptr) return 0;
    try {
        const PatternEntry* entry = FindDecidingEntry(*url, list);
        return (entry != nullptr && entry->positive == 1) ? 1 : 0;
    } catch (const std::bad_alloc&) {
        return 0;  // the request's host could not be split
    }
}

}  // namespace tamsel
