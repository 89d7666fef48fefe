// The gate on name lookups: a host whose every request the lists refuse is
// answered "no such host", so no connection to it is ever opened.
#pragma once

#include <string_view>

#include "patterns/judge.h"

namespace tamsel {

// Whether `name` is written as an address (IPv4 in any form the resolver
// reads, or IPv6) rather than a host name. Such names are never refused.
bool IsNumericAddress(std::string_view name);

// Refused when the lists refuse every request to `name` on any port (see
// JudgeWhollyRefused); Passed for numeric addresses, names longer than a host
// name can be, and anything less certain. Never throws.
Judgement InspectLookupWith(std::string_view name, const ListSet& lists);

// The same against the lists of the shared state: true when refused. A null
// name passes, and so does every name while the lists cannot be had or
// anything inside fails.
bool InspectLookup(const char* name) noexcept;

}  // namespace tamsel
