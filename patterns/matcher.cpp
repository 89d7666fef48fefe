#include "patterns/matcher.h"

#include <new>
#include <string>

#include "patterns/text.h"

namespace tamsel {

const PatternEntry* FindDecidingEntry(const RequestUrl& url, const HostLabels& hostLabels,
                                      const PatternList* list, PathMode mode) {
    if (list == nullptr || !url.host || hostLabels.empty()) return nullptr;
    // A record with a host always has a path; keep the engine off a null one.
    const char* path = url.path ? url.path->c_str() : "/";
    std::string lowered(path);
    LowerAscii(lowered);
    const int32_t found = list->hostIndex.FirstPassing(hostLabels, [&](int32_t i) {
        const PatternEntry& entry = list->entries[static_cast<size_t>(i)];
        if (entry.port != 0 && entry.port != url.port) return false;
        if (!entry.host.empty() && !MatchHostLabels(entry.labels, hostLabels)) return false;
        if (!entry.compiledPath) return true;
        return mode == PathMode::Known && entry.compiledPath->Matches(path, lowered);
    });
    return found < 0 ? nullptr : &list->entries[static_cast<size_t>(found)];
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
