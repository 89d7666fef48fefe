// A whole list in one of the formats people block with, turned into the
// lines of one section of our block list.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"

namespace tamsel::import {

enum class ListFormat {
    Adblock,  // network rules such as "||host^$third-party", cosmetic rules, "!" comments
    Hosts,    // "0.0.0.0 host", "127.0.0.1 host", "::1 host", "#" comments
    Domains,  // one host name a line, "#" comments
};

const char* FormatName(ListFormat format);

// A source line longer than this is not a list line: the input is refused.
inline constexpr size_t kMaxSourceLine = 64 * 1024;

struct SkippedRule {
    int32_t lineNumber = 0;
    std::string text;
    std::string reason;
};

struct ConvertedSource {
    ListFormat format = ListFormat::Adblock;
    std::vector<std::string> blocks, exceptions, importantBlocks;
    std::vector<SkippedRule> skipped;
    std::map<std::string, int32_t> droppedOptions;  // option name -> rules written without it

    size_t written() const { return blocks.size() + exceptions.size() + importantBlocks.size(); }
};

// Whether `text` can be a list: it fails, naming the line, on binary bytes
// or a line beyond kMaxSourceLine.
Status CheckListInput(std::string_view text);

// Looks at the lines that are not comments: mostly address-and-name lines
// make a hosts file, nothing but host names a domain list, anything else an
// adblock-style list.
ListFormat DetectFormat(std::string_view text);

// Detects the format and converts every line of `text`.
ConvertedSource ConvertSource(std::string_view text);

}  // namespace tamsel::import
