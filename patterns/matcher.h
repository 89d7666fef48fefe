// Does a list claim a request? Of all the entries whose port, host and path
// tests pass, the first in chain order (the line nearest the end of the file)
// decides; an exception entry decides "no". The list's index finds the few
// entries that can pass, so the cost does not grow with the list.
#pragma once

#include "patterns/host_labels.h"
#include "patterns/path_table.h"
#include "patterns/pattern_list.h"
#include "patterns/request_url.h"

namespace tamsel {

// A request as lists are asked about it, prepared once for all of them.
struct PreparedRequest {
    PreparedRequest(const RequestView& url, const HostLabels& hostLabels);

    const HostLabels& host;
    int32_t port;
    LoweredPath path;
    PathGramSet pathGrams;  // of the lowered path
};

// The entry that decides, ordinary or exception, or null when none does.
const PatternEntry* FindDecidingEntry(const PreparedRequest& request, const PatternList* list);

// Whether an entry's host pattern covers `host` (an entry without a host covers all).
bool EntryHostCovers(const PatternList& list, const PatternEntry& entry, const HostLabels& host);

}  // namespace tamsel
