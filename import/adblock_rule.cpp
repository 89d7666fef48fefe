#include "import/adblock_rule.h"

#include <algorithm>
#include <array>

#include "base/status.h"
#include "patterns/pattern_list.h"
#include "patterns/text.h"

namespace tamsel::import {
namespace {

// What a separator ("^") stands for: any byte but a letter, a digit or one
// of "_-.%", or the end of the address.
constexpr std::string_view kSeparatorEre = "([^-a-z0-9_.%]|$)";

// Options that only narrow which requests a rule applies to by type or by
// party: without them the rule applies more widely, which is what we keep.
constexpr std::array<std::string_view, 32> kDroppableOptions = {
    "script",
    "image",
    "stylesheet",
    "css",
    "object",
    "object-subrequest",
    "subdocument",
    "frame",
    "xmlhttprequest",
    "xhr",
    "ping",
    "beacon",
    "media",
    "font",
    "websocket",
    "webrtc",
    "other",
    "all",
    "third-party",
    "3p",
    "first-party",
    "1p",
    "strict3p",
    "strict1p",
    "strict-third-party",
    "strict-first-party",
    "match-case",
    "background",
    "xbl",
    "dtd",
    "document",
    "doc",
};

struct RuleOptions {
    bool important = false;
    std::vector<std::string> dropped;
    std::string skipReason;  // set when an option cannot be kept
};

std::string Lowered(std::string_view text) {
    std::string out(text);
    LowerAscii(out);
    return out;
}

// Sorts one option into dropped, important, or a reason to skip the rule.
// "document" on an exception turns off filtering for a whole page, which
// is not a request decision: such exceptions are skipped.
void ClassifyOption(std::string_view option, bool exception, RuleOptions* out) {
    const std::string written = Lowered(option.substr(0, option.find('=')));
    const std::string_view name = std::string_view(written).substr(written.starts_with('~') ? 1 : 0);
    const bool pageLevel = exception && (name == "document" || name == "doc");
    if (name == "important" && written == name) {
        out->important = true;
    } else if (!pageLevel && option.find('=') == std::string_view::npos &&
               std::find(kDroppableOptions.begin(), kDroppableOptions.end(), name) != kDroppableOptions.end()) {
        out->dropped.push_back(written);
    } else if (out->skipReason.empty()) {
        out->skipReason = "option " + std::string(name);
    }
}

RuleOptions ParseOptions(std::string_view options, bool exception) {
    RuleOptions out;
    while (!options.empty()) {
        const size_t comma = options.find(',');
        ClassifyOption(options.substr(0, comma), exception, &out);
        options = comma == std::string_view::npos ? std::string_view() : options.substr(comma + 1);
    }
    return out;
}

// The ERE for rule text: "*" is any text, "^" a separator, and every other
// byte stands for itself.
std::string TextToEre(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = AsciiLower(text[i]);
        if (c == '*') {
            if (!out.ends_with(".*")) out += ".*";
        } else if (c == '^') {
            out += kSeparatorEre;
        } else {
            if (std::string_view(".[]()\\{}+?|$").find(c) != std::string_view::npos) out += '\\';
            out += c;
        }
    }
    return out;
}

// A path for the rest of a rule after its host: `rest` begins with "/",
// "^" or "*". A final "|" anchors the end of the address.
std::string PathFromRest(std::string_view rest) {
    const bool endAnchor = rest.ends_with('|');
    if (endAnchor) rest.remove_suffix(1);
    std::string path;
    if (rest.starts_with('^')) {
        path = "/" + TextToEre(rest.substr(1));  // the separator after a host is the path's "/"
    } else if (rest.starts_with('*')) {
        path = "/*" + TextToEre(rest);  // "/*.*...": the path's own "/" may be what "*" covers
    } else {
        path = TextToEre(rest);
    }
    while (!endAnchor && path.size() > 1 && path.ends_with(".*")) path.resize(path.size() - 2);
    return endAnchor ? path + "$" : path;
}

bool IsHostByte(char c) {
    const char l = AsciiLower(c);
    return (l >= 'a' && l <= 'z') || IsAsciiDigit(l) || l == '-' || l == '_' || l == '.' || l == '*';
}

// Checks a host taken from after "||": a "*" may stand for a whole label or
// end one (our hosts cannot say more), and a final "." (a name that goes on
// with any ending) becomes a wildcard label.
Result<std::string> ListHost(std::string_view host) {
    if (host.empty() || host.front() == '.' || host.find("..") != std::string_view::npos) {
        return Failure{"no host after ||"};
    }
    std::string out = Lowered(host);
    if (out.ends_with('.')) out += '*';
    for (size_t star = out.find('*'); star != std::string::npos; star = out.find('*', star + 1)) {
        if (star + 1 < out.size() && out[star + 1] != '.') return Failure{"wildcard inside a host label"};
    }
    return out;
}

// "||host[:port][rest]" (the "||" already taken off) as a list line.
Result<std::string> HostAnchoredLine(std::string_view rule) {
    size_t end = 0;
    while (end < rule.size() && IsHostByte(rule[end])) ++end;
    // A "*" that ends the last label may run on past the host: the path
    // takes it ("||example.com*&utm=").
    if (end > 1 && rule[end - 1] == '*' && rule[end - 2] != '.') --end;
    Result<std::string> host = ListHost(rule.substr(0, end));
    if (!host) return host;
    std::string_view rest = rule.substr(end);
    if (rest.starts_with(':')) {
        size_t digits = 1;
        while (digits < rest.size() && IsAsciiDigit(rest[digits])) ++digits;
        if (digits == 1) return Failure{"text after the host"};
        *host += rest.substr(0, digits);
        rest.remove_prefix(digits);
    }
    if (rest.empty() || rest == "^" || rest == "*" || rest == "^*") return host;
    if (rest == "|") rest = "^|";
    if (!rest.starts_with('/') && !rest.starts_with('^') && !rest.starts_with('*')) {
        return Failure{"text after the host"};
    }
    return *host + PathFromRest(rest);
}

// "|scheme://..." anchors the start of the address: an http address is a
// host-anchored rule; any other scheme never reaches the filter.
Result<std::string> StartAnchoredLine(std::string_view rule) {
    for (const std::string_view scheme : {"http://", "https://", "http*://"}) {
        if (rule.size() > scheme.size() && Lowered(rule.substr(0, scheme.size())) == scheme)
            return HostAnchoredLine(rule.substr(scheme.size()));
    }
    return Failure{"anchored at the start of a non-http address"};
}

// A rule that may match anywhere in the address is looked for anywhere in
// the path ("/*.*" takes any start).
Result<std::string> AnywhereLine(std::string_view rule) {
    while (rule.starts_with('*')) rule.remove_prefix(1);
    const bool endAnchor = rule.ends_with('|');
    if (endAnchor) rule.remove_suffix(1);
    while (!endAnchor && rule.ends_with('*')) rule.remove_suffix(1);
    if (rule.empty() || rule == "^") return Failure{"matches every address"};
    return "/*.*" + TextToEre(rule) + (endAnchor ? "$" : "");
}

Result<std::string> PatternLine(std::string_view pattern) {
    if (pattern.size() > 2 && pattern.front() == '/' && pattern.back() == '/') return Failure{"regular expression"};
    if (pattern.starts_with("||")) return HostAnchoredLine(pattern.substr(2));
    if (pattern.starts_with('|')) return StartAnchoredLine(pattern.substr(1));
    return AnywhereLine(pattern);
}

// Bytes our lists cannot carry: "#" starts a comment, white space is
// removed, and a byte beyond ASCII never appears in a sent address.
std::string UnsayableReason(std::string_view pattern) {
    for (const char c : pattern) {
        if (c == '#') return "holds #";
        if (IsCSpace(c) || static_cast<unsigned char>(c) < 0x20) return "holds white space";
        if (static_cast<unsigned char>(c) >= 0x80) return "holds non-ASCII text";
    }
    return {};
}

// Splits "pattern$options"; a rule written as a regular expression keeps a
// "$" that belongs to it.
std::pair<std::string_view, std::string_view> SplitOptions(std::string_view rule) {
    const size_t dollar = rule.rfind('$');
    if (dollar == std::string_view::npos) return {rule, {}};
    const std::string_view options = rule.substr(dollar + 1);
    if (rule.front() == '/' && (options.find('/') != std::string_view::npos || options.empty())) return {rule, {}};
    return {rule.substr(0, dollar), options};
}

}  // namespace

RuleOutcome ConvertAdblockRule(std::string_view rule) {
    RuleOutcome out;
    const bool exception = rule.starts_with("@@");
    if (exception) rule.remove_prefix(2);
    const auto [pattern, optionText] = SplitOptions(rule);
    RuleOptions options = ParseOptions(optionText, exception);
    out.skipReason = UnsayableReason(pattern);
    if (out.skipReason.empty()) out.skipReason = options.skipReason;
    if (!out.skipReason.empty()) return out;
    const Result<std::string> line = PatternLine(pattern);
    if (!line) {
        out.skipReason = line.message();
        return out;
    }
    out.line = (exception ? "~" : "") + *line;
    if (out.line.size() + 1 > kMaxPieceLength) {
        out.skipReason = "longer than a list line";
        return out;
    }
    out.written = true;
    out.role = exception ? RuleRole::Exception : options.important ? RuleRole::ImportantBlock : RuleRole::Block;
    out.droppedOptions = std::move(options.dropped);
    return out;
}

bool IsBadfilterRule(std::string_view rule) { return RuleWithoutBadfilter(rule).size() != rule.size(); }

std::string RuleWithoutBadfilter(std::string_view rule) {
    const auto [pattern, optionText] = SplitOptions(rule);
    if (optionText.empty()) return std::string(rule);
    std::string kept;
    std::string_view rest = optionText;
    while (!rest.empty()) {
        const size_t comma = rest.find(',');
        const std::string_view option = rest.substr(0, comma);
        if (Lowered(option) != "badfilter") kept += (kept.empty() ? "" : ",") + std::string(option);
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    }
    return std::string(pattern) + (kept.empty() ? "" : "$" + kept);
}

}  // namespace tamsel::import
