// Does a list claim a request? The first entry, in chain order, whose port,
// host and path tests all pass decides; an exception entry decides "no".
#pragma once

#include "patterns/host_labels.h"
#include "patterns/pattern_list.h"
#include "patterns/request_url.h"

namespace tamsel {

// Whether the request's path is known. A TLS server name carries no path:
// then a line with a path can neither block nor trust, so none may decide.
enum class PathMode { Known, Unknown };

// 1 when the deciding entry is an ordinary line, else 0 (an exception line
// decided, nothing matched, or the list, the record or its host is null).
int MatchPatternList(const RequestUrl* url, const PatternList* list);

// The entry that decides, ordinary or exception, or null when none does.
const PatternEntry* FindDecidingEntry(const RequestUrl& url, const PatternList* list);

// The same, for a caller that has split the request's host already and asks
// several lists about one request.
const PatternEntry* FindDecidingEntry(const RequestUrl& url, const HostLabels& hostLabels,
                                      const PatternList* list, PathMode mode = PathMode::Known);

}  // namespace tamsel
