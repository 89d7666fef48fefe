// Glob programs: the shapes of path pattern that lists are mostly made of,
// answered by plain text search instead of an automaton.
#include <cstring>
#include <optional>
#include <string>

#include "patterns/path_shortcut.h"
#include "patterns/text.h"

namespace tamsel {

namespace {

constexpr std::string_view kSeparatorGroup = "([^-a-z0-9_.%]|$)";
constexpr std::string_view kLeadingAnything = "/*.*";  // "/*" takes any leading slashes, ".*" the rest

bool IsOperator(char c) { return c == kGlobAnyText || c == kGlobSeparator || c == kGlobEnd; }

// The byte of the path a separator stands for: anything but a letter, a
// digit or one of "-_.%" (the path is lower-cased already).
bool IsSeparatorByte(char c) {
    return !((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.' || c == '%');
}

// Reads one element of the path at `i` into `out`; false when it is not one a glob can hold.
bool ReadElement(std::string_view path, size_t* i, std::string* out) {
    const char c = path[*i];
    if (path.substr(*i, 2) == ".*") {
        if (out->empty() || out->back() != kGlobAnyText) out->push_back(kGlobAnyText);
        *i += 2;
    } else if (path.substr(*i, kSeparatorGroup.size()) == kSeparatorGroup) {
        out->push_back(kGlobSeparator);
        *i += kSeparatorGroup.size();
    } else if (c == '$' && *i + 1 == path.size()) {
        out->push_back(kGlobEnd);
        *i += 1;
    } else if (c == '\\' && *i + 1 < path.size() && IsEscapedLiteral(path[*i + 1])) {
        out->push_back(AsciiLower(path[*i + 1]));
        *i += 2;
    } else if (IsRegexPlainChar(c)) {
        out->push_back(AsciiLower(c));
        *i += 1;
    } else {
        return false;
    }
    return *i == path.size() || !IsRegexQuantifier(path[*i]);  // a repeated element is the automaton's
}

// A separator must be followed by ".*" or nothing, and "$" must not follow
// one: then the earliest place for each run is always the right one.
bool WellPlaced(const std::string& program) {
    for (size_t i = 0; i < program.size(); ++i) {
        if (program[i] != kGlobSeparator) continue;
        if (i + 1 < program.size() && program[i + 1] != kGlobAnyText) return false;
    }
    return true;
}

// Places `run` at or after `*pos` (exactly at it when anchored), with a
// separator byte or the end after it when `separator`; moves `*pos` past it.
bool Place(std::string_view path, std::string_view run, bool separator, bool anchored, size_t* pos) {
    for (size_t at = *pos;; ++at) {
        if (anchored ? path.substr(at, run.size()) != run : (at = path.find(run, at)) == std::string_view::npos) {
            return false;
        }
        const size_t after = at + run.size();
        if (!separator || after == path.size()) {
            *pos = after;
            return true;
        }
        if (IsSeparatorByte(path[after])) {
            *pos = after + 1;
            return true;
        }
        if (anchored) return false;
    }
}

}  // namespace

std::optional<std::string> GlobProgram(std::string_view path) {
    std::string program;
    size_t i = 0;
    if (path.starts_with(kLeadingAnything)) {
        program.push_back(kGlobAnyText);
        i = kLeadingAnything.size();
    }
    while (i < path.size()) {
        if (!ReadElement(path, &i, &program)) return std::nullopt;
    }
    if (!WellPlaced(program)) return std::nullopt;
    return program;
}

bool GlobMatches(std::string_view program, std::string_view lowered) {
    size_t pos = 0;
    bool anchored = true;
    for (size_t i = 0; i < program.size();) {
        if (program[i] == kGlobAnyText) {
            anchored = false;
            ++i;
            continue;
        }
        if (program[i] == kGlobEnd) return !anchored || pos == lowered.size();
        size_t end = i;
        while (end < program.size() && !IsOperator(program[end])) ++end;
        const std::string_view run = program.substr(i, end - i);
        const bool separator = end < program.size() && program[end] == kGlobSeparator;
        if (!anchored && end < program.size() && program[end] == kGlobEnd) {
            return lowered.size() >= pos + run.size() && lowered.ends_with(run);
        }
        if (!Place(lowered, run, separator, anchored, &pos)) return false;
        anchored = true;
        i = separator ? end + 1 : end;
    }
    return true;
}

}  // namespace tamsel
