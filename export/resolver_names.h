// The names a resolver can refuse on the filter's behalf: those the name
// lookup gate refuses, together with whether every name below them is refused
// too, and the block lines that no resolver record can stand for.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "patterns/judge.h"

namespace tamsel {

// Why a block line without a path of its own gave no name.
enum class LeftOutReason {
    WildcardInLabel,  // a "*" inside a label, or "*" labels a resolver cannot place
    Port,             // the line names a port: a lookup sees none
    Path,             // the line names a path: a lookup sees none
    KeptInUse,        // a trust or exception line keeps the name (or all below it) in use
    NotAHostName,     // a numeric address, or characters a resolver's name cannot hold
    kCount,
};

inline constexpr size_t kLeftOutReasons = static_cast<size_t>(LeftOutReason::kCount);

// One name, lower-cased, without a trailing dot. `self`: the lookup gate
// refuses the name itself. `below`: it refuses every name below it as well.
// At least one of them is set.
struct RefusedName {
    std::string name;
    bool self = false;
    bool below = false;
};

struct RefusedNames {
    std::vector<RefusedName> names;  // sorted by name, each name once
    // Block lines (in both block lists) left out, by reason.
    std::array<size_t, kLeftOutReasons> leftOut{};
    // Names whose own refusal is written while a trust or exception line
    // keeps some name below them in use.
    size_t keptBelow = 0;
    // Trust and exception lines without a host, as "file:line: text": each
    // may keep every name in use, and so explain an empty export.
    std::vector<std::string> hostlessKeepers;
};

// Collects the names from the block lines of `lists`. Every verdict is the
// lookup gate's own (InspectLookupWith); a name is claimed for everything
// below it only when that is certain, never approximated into something
// broader.
RefusedNames CollectRefusedNames(const ListSet& lists);

// Whether `name` is one a resolver can hold in every format: labels of
// letters, digits, "-" and "_", at most 63 bytes each and 253 in all.
bool IsResolverName(std::string_view name);

// "a \"*\" inside a label", ... for the report.
const char* LeftOutText(LeftOutReason reason);

}  // namespace tamsel
