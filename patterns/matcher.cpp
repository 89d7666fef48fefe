#include "patterns/matcher.h"

#include <new>

namespace tamsel {

namespace {

// A record with a host always has a path; keep the engine off a null one.
std::string_view PathOf(const RequestView& url) { return url.path.value_or("/"); }

bool Passes(const PatternList& list, const PatternEntry& entry, const PreparedRequest& request) {
    if (const int32_t port = list.Port(entry); port != 0 && port != request.port) return false;
    if (!EntryHostCovers(list, entry, request.host)) return false;
    if (!entry.hasPath()) return true;
    return request.mode == PathMode::Known && list.paths.Matches(entry.pathSlot, request.path);
}

}  // namespace

bool EntryHostCovers(const PatternList& list, const PatternEntry& entry, const HostLabels& host) {
    return entry.hostLength == 0 || MatchHostPattern(list.Host(entry), host);
}

PreparedRequest::PreparedRequest(const RequestView& url, const HostLabels& hostLabels, PathMode mode)
    : host(hostLabels),
      port(url.port),
      mode(mode),
      path(PathOf(url)),
      pathGrams(mode == PathMode::Known ? path.lowered() : std::string_view()) {}

const PatternEntry* FindDecidingEntry(const PreparedRequest& request, const PatternList* list) {
    if (list == nullptr || request.host.empty()) return nullptr;
    // With no path known, no line filed by its path text can pass.
    const std::string_view path = request.mode == PathMode::Known ? request.path.lowered() : std::string_view();
    // An unknown path holds no text, so every line that needs some is passed over.
    const uint32_t found = list->index.FirstPassing(
        request.host, path, [&](uint32_t i) { return Passes(*list, list->entries[i], request); }, &request.pathGrams);
    return found == ListIndex::kNone ? nullptr : &list->entries[found];
}

const PatternEntry* FindDecidingEntry(const RequestUrl& url, const PatternList* list) {
    if (list == nullptr || !url.host) return nullptr;
    const HostLabels labels = SplitHostLabels(*url.host);
    return FindDecidingEntry(PreparedRequest(ViewOf(url), labels), list);
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
