#include "import/list_source.h"

#include <set>

#include "import/adblock_rule.h"
#include "patterns/pattern_list.h"
#include "patterns/text.h"

namespace tamsel::import {
namespace {

std::string_view Trimmed(std::string_view s) {
    while (!s.empty() && IsCSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsCSpace(s.back())) s.remove_suffix(1);
    return s;
}

std::string_view WithoutByteOrderMark(std::string_view text) {
    return text.starts_with("\xEF\xBB\xBF") ? text.substr(3) : text;
}

// Calls visit(lineNumber, line) for every line, trimmed of white space.
template <class Visit>
void ForEachLine(std::string_view text, Visit visit) {
    text = WithoutByteOrderMark(text);
    int32_t lineNumber = 1;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        visit(lineNumber++, Trimmed(text.substr(0, end)));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    }
}

std::vector<std::string_view> Words(std::string_view line) {
    std::vector<std::string_view> words;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && IsCSpace(line[i])) ++i;
        const size_t start = i;
        while (i < line.size() && !IsCSpace(line[i])) ++i;
        if (i > start) words.push_back(line.substr(start, i - start));
    }
    return words;
}

std::string_view BeforeHashComment(std::string_view line) { return Trimmed(line.substr(0, line.find('#'))); }

// A host name as hosts files and domain lists write it: letters, digits,
// "-", "_" and inner dots; a final dot (the root) is dropped.
std::optional<std::string> HostName(std::string_view name) {
    if (name.ends_with('.')) name.remove_suffix(1);
    if (name.empty() || name.front() == '.' || name.front() == '-' || name.find("..") != std::string_view::npos)
        return std::nullopt;
    std::string out;
    for (const char c : name) {
        const char l = AsciiLower(c);
        if (!((l >= 'a' && l <= 'z') || IsAsciiDigit(l) || l == '-' || l == '_' || l == '.')) return std::nullopt;
        out += l;
    }
    return out;
}

// Our host lines also take every name below the one given: a bare "com"
// would take the whole top-level domain.
constexpr const char* kSingleLabel = "a single label";

bool LooksLikeAddress(std::string_view word) {
    if (word.empty()) return false;
    const bool v6 = word.find(':') != std::string_view::npos;
    for (const char c : word) {
        const char l = AsciiLower(c);
        if (!(IsAsciiDigit(l) || l == '.' || (v6 && (l == ':' || (l >= 'a' && l <= 'f') || l == '%')))) return false;
    }
    return true;
}

bool IsNullRoute(std::string_view address) {
    for (const std::string_view a : {"0.0.0.0", "127.0.0.1", "::1", "::", "0:0:0:0:0:0:0:0", "0:0:0:0:0:0:0:1"}) {
        if (address == a) return true;
    }
    return false;
}

// Names every hosts file carries for the machine itself.
bool IsLocalName(std::string_view name) {
    for (const std::string_view n :
         {"localhost", "localhost.localdomain", "local", "broadcasthost", "0.0.0.0", "ip6-localhost", "ip6-loopback",
          "ip6-localnet", "ip6-mcastprefix", "ip6-allnodes", "ip6-allrouters", "ip6-allhosts"}) {
        if (name == n) return true;
    }
    return false;
}

void ConvertHostsLine(int32_t lineNumber, std::string_view line, ConvertedSource* out) {
    const std::vector<std::string_view> words = Words(BeforeHashComment(line));
    if (words.empty()) return;
    auto skip = [&](const char* reason) { out->skipped.push_back({lineNumber, std::string(line), reason}); };
    if (words.size() < 2 || !LooksLikeAddress(words[0])) return skip("not a hosts line");
    if (!IsNullRoute(words[0])) return skip("maps to a real address");
    for (size_t i = 1; i < words.size(); ++i) {
        const auto host = HostName(words[i]);
        if (!host) {
            skip("not a host name");
        } else if (IsLocalName(*host)) {
            skip("the machine's own name");
        } else if (host->find('.') == std::string::npos) {
            skip(kSingleLabel);
        } else {
            out->blocks.push_back(*host);
        }
    }
}

void ConvertDomainLine(int32_t lineNumber, std::string_view line, ConvertedSource* out) {
    std::string_view name = BeforeHashComment(line);
    if (name.empty()) return;
    if (name.starts_with("*.")) name.remove_prefix(2);  // the name and all below it, as our host lines read
    const auto host = HostName(name);
    if (!host) return out->skipped.push_back({lineNumber, std::string(line), "not a host name"});
    if (host->find('.') == std::string::npos)
        return out->skipped.push_back({lineNumber, std::string(line), kSingleLabel});
    out->blocks.push_back(*host);
}

bool IsCosmetic(std::string_view line) {
    for (size_t hash = line.find('#'); hash != std::string_view::npos; hash = line.find('#', hash + 1)) {
        size_t i = hash + 1;
        if (i < line.size() && line[i] == '@') ++i;
        if (i < line.size() && (line[i] == '?' || line[i] == '$' || line[i] == '%')) ++i;
        if (i < line.size() && (line[i] == '#' || line[i] == '+')) return true;
    }
    return false;
}

// Adblock-style lines that are not network rules, and why; nullopt for a
// comment or header, "" for a rule.
std::optional<std::string> NonRuleReason(std::string_view line, int* conditionalDepth) {
    if (line.starts_with("!#if")) ++*conditionalDepth;
    if (line.starts_with("!#endif") && *conditionalDepth > 0) --*conditionalDepth;
    if (line.empty() || line.starts_with('!') || (line.starts_with('[') && line.ends_with(']'))) return std::nullopt;
    if (IsCosmetic(line)) return "cosmetic rule";
    if (line.find("$$") != std::string_view::npos || line.find("$@$") != std::string_view::npos) return "HTML filter";
    if (*conditionalDepth > 0) return "inside a !#if block";
    return "";
}

// A "$badfilter" rule takes back the rule it names, wherever it stands.
std::set<std::string> BadfilterTargets(std::string_view text) {
    std::set<std::string> targets;
    ForEachLine(text, [&](int32_t, std::string_view line) {
        if (!line.starts_with('!') && IsBadfilterRule(line)) targets.insert(RuleWithoutBadfilter(line));
    });
    return targets;
}

// Whether the loader takes the line: a converted path it would refuse is
// skipped rather than left to disable the whole list.
std::string LoaderRefusal(const std::string& line) {
    if (line.find('/') == std::string::npos) return {};
    const ListLoadResult loaded = ParsePatternListText(line + "\n", "");
    return loaded ? std::string() : "refused by the loader: " + loaded.message();
}

void ConvertAdblockLine(int32_t lineNumber, std::string_view line, const std::set<std::string>& cancelled,
                        int* conditionalDepth, ConvertedSource* out) {
    const auto nonRule = NonRuleReason(line, conditionalDepth);
    if (!nonRule) return;
    std::string reason = *nonRule;
    RuleOutcome rule;
    if (reason.empty() && cancelled.count(std::string(line)) > 0) reason = "taken back by a badfilter rule";
    if (reason.empty()) {
        rule = ConvertAdblockRule(line);
        reason = rule.written ? LoaderRefusal(rule.line) : rule.skipReason;
    }
    if (!reason.empty()) return out->skipped.push_back({lineNumber, std::string(line), reason});
    for (const std::string& option : rule.droppedOptions) ++out->droppedOptions[option];
    auto& lines = rule.role == RuleRole::Block       ? out->blocks
                  : rule.role == RuleRole::Exception ? out->exceptions
                                                     : out->importantBlocks;
    lines.push_back(std::move(rule.line));
}

}  // namespace

const char* FormatName(ListFormat format) {
    switch (format) {
        case ListFormat::Hosts: return "hosts file";
        case ListFormat::Domains: return "domain list";
        case ListFormat::Adblock: break;
    }
    return "adblock-style list";
}

Status CheckListInput(std::string_view text) {
    text = WithoutByteOrderMark(text);
    int32_t lineNumber = 1;
    size_t lineStart = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '\n') {
            if (i - lineStart > kMaxSourceLine) {
                return Failure{"line " + std::to_string(lineNumber) + " is " + std::to_string(i - lineStart) +
                               " bytes long: not a list"};
            }
            lineStart = i + 1;
            ++lineNumber;
            continue;
        }
        const auto byte = static_cast<unsigned char>(text[i]);
        if ((byte < 0x20 && !IsCSpace(text[i])) || byte == 0x7f) {
            return Failure{"binary data on line " + std::to_string(lineNumber) + ": not a text list"};
        }
    }
    return {};
}

ListFormat DetectFormat(std::string_view text) {
    size_t rules = 0, hostsLines = 0, names = 0;
    bool adblockMarks = false;
    ForEachLine(text, [&](int32_t, std::string_view line) {
        if (line.starts_with('!') || (line.starts_with('[') && line.ends_with(']'))) adblockMarks = true;
        const std::string_view content = line.starts_with('!') ? std::string_view() : BeforeHashComment(line);
        if (content.empty()) return;
        ++rules;
        const std::vector<std::string_view> words = Words(content);
        if (words.size() >= 2 && LooksLikeAddress(words[0])) ++hostsLines;
        if (words.size() == 1 && HostName(words[0].starts_with("*.") ? words[0].substr(2) : words[0])) ++names;
    });
    if (hostsLines * 2 > rules) return ListFormat::Hosts;
    if (!adblockMarks && names * 10 >= rules * 9) return ListFormat::Domains;
    return ListFormat::Adblock;
}

ConvertedSource ConvertSource(std::string_view text) {
    ConvertedSource out;
    out.format = DetectFormat(text);
    const std::set<std::string> cancelled =
        out.format == ListFormat::Adblock ? BadfilterTargets(text) : std::set<std::string>();
    int conditionalDepth = 0;
    ForEachLine(text, [&](int32_t lineNumber, std::string_view line) {
        switch (out.format) {
            case ListFormat::Hosts: return ConvertHostsLine(lineNumber, line, &out);
            case ListFormat::Domains: return ConvertDomainLine(lineNumber, line, &out);
            case ListFormat::Adblock: return ConvertAdblockLine(lineNumber, line, cancelled, &conditionalDepth, &out);
        }
    });
    return out;
}

}  // namespace tamsel::import
