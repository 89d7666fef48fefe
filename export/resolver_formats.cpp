#include "export/resolver_formats.h"

#include <algorithm>
#include <sstream>
#include <unordered_set>

namespace tamsel {
namespace {

// Whether the format's one line for a name also refuses every name below it.
bool CoversBelow(ResolverFormat format) {
    return format == ResolverFormat::Unbound || format == ResolverFormat::Dnsmasq;
}

using NameSet = std::unordered_set<std::string_view>;

// The names the format writes with every name below them: views into
// `names`, which outlives the set.
NameSet SubtreeNames(const RefusedNames& names, ResolverFormat format) {
    NameSet subtrees;
    subtrees.reserve(names.names.size());
    for (const RefusedName& n : names.names) {
        const bool whole = format == ResolverFormat::Rpz ? n.below : CoversBelow(format) && n.self && n.below;
        if (whole) subtrees.insert(n.name);
    }
    return subtrees;
}

bool UnderAnyOf(std::string_view name, const NameSet& subtrees) {
    for (size_t dot = name.find('.'); dot != std::string_view::npos; dot = name.find('.', dot + 1)) {
        if (subtrees.count(name.substr(dot + 1)) != 0) return true;
    }
    return false;
}

const char* ZoneHead() {
    return "; Names the filter refuses at lookup answer \"no such name\".\n"
           "$TTL 300\n";
}

// The record of a name for a format whose one line covers what is below it,
// or nothing (counted) when the name and what is below it differ.
void WriteSubtree(const RefusedName& n, ResolverFormat format, std::string& out, FormatCounts& counts) {
    if (!n.self) {
        ++counts.onlyBelow;
    } else if (!n.below) {
        ++counts.belowKept;
    } else if (format == ResolverFormat::Unbound) {
        out += "local-zone: \"" + n.name + ".\" always_nxdomain\n";
        ++counts.records;
    } else {
        out += "address=/" + n.name + "/\n";
        ++counts.records;
    }
}

// The records of one name, or nothing when the format cannot hold it as it is.
void WriteName(const RefusedName& n, ResolverFormat format, std::string& out, FormatCounts& counts) {
    const size_t before = counts.records;
    if (format == ResolverFormat::Rpz) {
        if (n.self) out += n.name + " CNAME .\n";
        if (n.below) out += "*." + n.name + " CNAME .\n";
        counts.records += n.self + n.below;
    } else if (format == ResolverFormat::Hosts) {
        if (!n.self) {
            ++counts.onlyBelow;
            return;
        }
        out += "0.0.0.0 " + n.name + "\n";
        ++counts.records;
        counts.belowUncovered += n.below;
    } else {
        WriteSubtree(n, format, out, counts);
    }
    if (counts.records > before) ++counts.written;
}

}  // namespace

std::optional<ResolverFormat> ParseResolverFormat(std::string_view text) {
    if (text == "rpz") return ResolverFormat::Rpz;
    if (text == "unbound") return ResolverFormat::Unbound;
    if (text == "dnsmasq") return ResolverFormat::Dnsmasq;
    if (text == "hosts") return ResolverFormat::Hosts;
    return std::nullopt;
}

ResolverText WriteResolverText(const RefusedNames& names, ResolverFormat format, uint32_t serial) {
    ResolverText result;
    result.text.reserve(names.names.size() * 48);  // about a name and its record's words each
    if (format == ResolverFormat::Rpz) {
        result.text = std::string(ZoneHead()) + "@ IN SOA localhost. root.localhost. " + std::to_string(serial) +
                      " 3600 600 86400 300\n@ IN NS localhost.\n";
    }
    // A hosts file covers no name below the one it lists, so it repeats them all.
    const NameSet subtrees = format == ResolverFormat::Hosts ? NameSet() : SubtreeNames(names, format);
    for (const RefusedName& n : names.names) {
        if (UnderAnyOf(n.name, subtrees)) {
            ++result.counts.underParent;
            continue;
        }
        WriteName(n, format, result.text, result.counts);
    }
    return result;
}

std::optional<uint32_t> ZoneSerialOf(std::string_view zoneText) {
    std::istringstream in{std::string(zoneText)};
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line.substr(0, line.find(';')));
        std::string word;
        while (words >> word && word != "SOA") {
        }
        std::string mname, rname, serial;
        if (!(words >> mname >> rname >> serial)) continue;
        if (serial.empty() || serial.size() > 10 || !std::all_of(serial.begin(), serial.end(), ::isdigit)) continue;
        const uint64_t value = std::stoull(serial);
        if (value <= UINT32_MAX) return static_cast<uint32_t>(value);
    }
    return std::nullopt;
}

uint32_t NextZoneSerial(std::optional<uint32_t> previous, int64_t unixTime) {
    const uint64_t after = previous ? uint64_t{*previous} + 1 : 0;
    const uint64_t now = unixTime > 0 ? static_cast<uint64_t>(unixTime) : 0;
    // Serials compare modulo 2^32: past the top, counting on from 1 still reads as newer.
    const uint64_t next = std::max(after, now);
    return next > UINT32_MAX ? static_cast<uint32_t>(next - UINT32_MAX) : static_cast<uint32_t>(next);
}

std::string ExportReport(const RefusedNames& names, const ResolverText& written, ResolverFormat format) {
    const FormatCounts& c = written.counts;
    std::ostringstream out;
    out << "names written: " << c.written << " (" << c.records << " records)\n";
    out << "names left out, covered by a parent written with every name below it: " << c.underParent << "\n";
    out << "block lines left out, by reason:\n";
    for (size_t r = 0; r < kLeftOutReasons; ++r) {
        out << "  " << LeftOutText(static_cast<LeftOutReason>(r)) << ": " << names.leftOut[r] << "\n";
    }
    out << "names refused while a trust or exception line keeps a name below in use: " << names.keptBelow << "\n";
    if (!names.hostlessKeepers.empty()) {
        out << "lines without a host, which may keep every name in use: " << names.hostlessKeepers.size() << "\n";
        for (const std::string& line : names.hostlessKeepers) out << "  " << line << "\n";
    }
    if (CoversBelow(format) || format == ResolverFormat::Hosts) {
        out << "names left out, as only the names below them are refused: " << c.onlyBelow << "\n";
    }
    if (CoversBelow(format)) {
        out << "names left out, as a name below them is kept in use: " << c.belowKept << "\n";
    }
    if (format == ResolverFormat::Hosts) {
        out << "names written whose subdomains, also refused, a hosts file cannot cover: " << c.belowUncovered << "\n";
    }
    return out.str();
}

}  // namespace tamsel
