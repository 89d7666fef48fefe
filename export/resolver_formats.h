// The refused names written for a resolver: a response-policy zone, an
// Unbound include, dnsmasq lines or a hosts file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "export/resolver_names.h"

namespace tamsel {

enum class ResolverFormat { Rpz, Unbound, Dnsmasq, Hosts };

// "rpz", "unbound", "dnsmasq" or "hosts"; nullopt for anything else.
std::optional<ResolverFormat> ParseResolverFormat(std::string_view text);

// What one format made of the names.
struct FormatCounts {
    size_t written = 0;         // names written
    size_t records = 0;         // lines a resolver reads as records or rules
    size_t underParent = 0;     // left out: a parent written with everything below covers them
    size_t belowKept = 0;       // left out: refused, but the format would refuse names kept below too
    size_t onlyBelow = 0;       // left out: only names below are refused, the format would refuse the name
    size_t belowUncovered = 0;  // written, but the names below, also refused, are not
};

struct ResolverText {
    std::string text;
    FormatCounts counts;
};

// Writes `names` in `format`. `serial` is the zone's serial (rpz only).
// Nothing is written broader than the names: a name whose subtree the
// format cannot leave alone is left out and counted instead.
ResolverText WriteResolverText(const RefusedNames& names, ResolverFormat format, uint32_t serial);

// The SOA serial of a zone written earlier; nullopt when there is none.
std::optional<uint32_t> ZoneSerialOf(std::string_view zoneText);

// A serial above the previous one, and at least the time in seconds, so that
// secondaries take every new export for a change.
uint32_t NextZoneSerial(std::optional<uint32_t> previous, int64_t unixTime);

// The lines of the report: names written, and what was left out and why.
std::string ExportReport(const RefusedNames& names, const ResolverText& written, ResolverFormat format);

}  // namespace tamsel
