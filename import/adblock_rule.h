// One adblock-style network rule turned into a list line, or the reason it
// cannot be said in our format without blocking the wrong thing.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tamsel::import {

// Where a converted line goes in its section: ordinary block lines first,
// exceptions after them (so they override), important blocks last (so no
// exception overrides them).
enum class RuleRole { Block, Exception, ImportantBlock };

struct RuleOutcome {
    bool written = false;
    RuleRole role = RuleRole::Block;
    std::string line;                         // the list line, when written
    std::string skipReason;                   // when not
    std::vector<std::string> droppedOptions;  // type and party options left out
};

// Converts one rule line (no comment, no cosmetic filter). `line` is used as
// given; the caller trims it.
RuleOutcome ConvertAdblockRule(std::string_view line);

// The rule as a "$badfilter" rule names it: the same text with that option
// removed from its option list.
std::string RuleWithoutBadfilter(std::string_view line);

// Whether the rule carries the "badfilter" option.
bool IsBadfilterRule(std::string_view line);

}  // namespace tamsel::import
