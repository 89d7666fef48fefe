#include "patterns/path_syntax.h"

#include <algorithm>
#include <iterator>

#include "patterns/path_shortcut.h"
#include "patterns/text.h"

namespace tamsel {

bool IsRepetitionOperator(char c) { return c == '*' || c == '+' || c == '?' || c == '{'; }

bool IsAnchorEscape(char c) { return c == '<' || c == '>' || c == 'b' || c == 'B' || c == '`' || c == '\''; }

namespace {

constexpr std::string_view kClassNames[] = {"alpha", "upper", "lower", "digit", "xdigit", "space",
                                           "print", "punct", "graph", "cntrl", "blank", "alnum"};

// One element of a bracket expression: a character (perhaps written as a
// collating symbol "[.c.]"), or a class or equivalence class, which cannot
// end a range.
struct BracketElement {
    bool isClass = false;
    unsigned char c = 0;
};

// Reads the element at `*j`. `firstOrRangeEnd`: a "-" may stand here as itself.
std::optional<std::string> ReadBracketElement(std::string_view s, size_t* j, bool firstOrRangeEnd,
                                              BracketElement* element) {
    const char c = s[*j];
    if (c == '[' && *j + 1 < s.size() && (s[*j + 1] == ':' || s[*j + 1] == '.' || s[*j + 1] == '=')) {
        const char kind = s[*j + 1];
        const char close[3] = {kind, ']', '\0'};
        const size_t end = s.find(close, *j + 2);
        if (end == std::string_view::npos || end - (*j + 2) >= 32) return "a \"[\" is not closed";
        const std::string_view name = s.substr(*j + 2, end - (*j + 2));
        *j = end + 2;
        if (kind == ':') {
            element->isClass = true;
            if (std::find(std::begin(kClassNames), std::end(kClassNames), name) == std::end(kClassNames)) {
                return "no character class is named \"" + std::string(name) + "\"";
            }
            return std::nullopt;
        }
        if (name.size() != 1) return "a collating element of more than one character";
        element->isClass = kind == '=';
        element->c = static_cast<unsigned char>(name[0]);
        return std::nullopt;
    }
    if (c == '-' && !firstOrRangeEnd && !(*j + 1 < s.size() && s[*j + 1] == ']')) {
        return "a \"-\" inside brackets stands only first, last or as a range";
    }
    element->c = static_cast<unsigned char>(c);
    ++*j;
    return std::nullopt;
}

// Without regard to case, range ends compare as upper-cased bytes.
unsigned char RangeKey(unsigned char c) { return c >= 'a' && c <= 'z' ? c - 32 : c; }

// What the GNU rules refuse in the bracket expression that opens at `open`:
// unknown classes, collating elements it does not know, and ranges that
// end at a class, run backwards or leave ASCII.
std::optional<std::string> BracketFault(std::string_view s, size_t open) {
    size_t j = open + 1;
    if (j < s.size() && s[j] == '^') ++j;
    for (bool first = true;; first = false) {
        if (j >= s.size()) return "a \"[\" is not closed";
        if (s[j] == ']' && !first) return std::nullopt;
        BracketElement start;
        if (auto fault = ReadBracketElement(s, &j, first, &start)) return fault;
        if (!(j + 1 < s.size() && s[j] == '-' && s[j + 1] != ']')) continue;
        ++j;
        BracketElement end;
        if (auto fault = ReadBracketElement(s, &j, true, &end)) return fault;
        if (start.isClass || end.isClass) return "a range inside brackets ends at a class";
        if (start.c >= 0x80 || end.c >= 0x80) return "a range inside brackets ends outside ASCII";
        if (RangeKey(start.c) > RangeKey(end.c)) return "a range inside brackets runs backwards";
    }
}

// What the scan knows of a subexpression.
struct Part {
    long size = 0;            // atoms, counted once per copy a count makes
    bool nullable = true;     // can match the empty string
    bool repetition = false;  // is a repeated item, perhaps in parentheses
    bool anchor = false;      // holds an anchor ("^", "$", "\b", ...)
};

// One interval or operator: how many copies of its operand it makes,
// and whether the operand may be absent.
struct Repeat {
    long copies = 1;
    bool optional = false;
};

// Recursive descent over the extended syntax under the GNU rules: "|" splits
// branches, an unmatched ")" is an ordinary character, "^" and "$" are anchors
// anywhere. Recursion is bounded by kMaxGroupDepth.
class Scanner {
public:
    explicit Scanner(std::string_view s) : s_(s) {}

    std::optional<std::string> Run() {
        if (s_.size() > kMaxExpressionLength) {
            return "longer than " + std::to_string(kMaxExpressionLength) + " bytes";
        }
        Alternation(0);
        return fault_;
    }

private:
    bool AtEnd() const { return pos_ >= s_.size() || fault_.has_value(); }

    void Fail(std::string reason) {
        if (!fault_) fault_ = std::move(reason);
    }

    // Sizes add up as they are scanned, so a bound that is passed stops the
    // scan at once and no product can overflow.
    void AddSize(long* total, long size) {
        *total += size;
        if (*total > kMaxExpandedSize) {
            Fail("its counts make more than " + std::to_string(kMaxExpandedSize) +
                 " copies of its characters");
        }
    }

    Part Alternation(int depth) {
        Part whole = Branch(depth);
        while (!AtEnd() && s_[pos_] == '|') {
            ++pos_;
            const Part branch = Branch(depth);
            AddSize(&whole.size, branch.size);
            whole.nullable = whole.nullable || branch.nullable;
            whole.repetition = false;
            whole.anchor = whole.anchor || branch.anchor;
        }
        return whole;
    }

    Part Branch(int depth) {
        Part whole;
        for (int pieces = 0; !AtEnd() && s_[pos_] != '|' && !(s_[pos_] == ')' && depth > 0); ++pieces) {
            const Part piece = Piece(depth);
            AddSize(&whole.size, piece.size);
            whole.nullable = whole.nullable && piece.nullable;
            whole.repetition = pieces == 0 && piece.repetition;
            whole.anchor = whole.anchor || piece.anchor;
        }
        return whole;
    }

    Part Piece(int depth) {
        Part part = Atom(depth);
        while (!AtEnd() && IsRepetitionOperator(s_[pos_])) {
            if (part.repetition) Fail("a repetition (*, +, ? or {}) may not repeat what is already repeated");
            if (part.nullable) Fail("a repetition may not repeat what can match nothing");
            if (fault_) break;
            const Repeat repeat = Operator();
            // The GNU matcher heeds an anchor in the first copy a count
            // makes and, in most places, not in the others.
            if (part.anchor && repeat.copies > 1) {
                Fail("an anchor (^, $, \\b, \\<, ...) may not stand in what + or a count above one repeats");
            }
            part.size = std::min(part.size * repeat.copies, kMaxExpandedSize + 1);
            part.nullable = repeat.optional;
            part.repetition = true;
        }
        return part;
    }

    Part Atom(int depth) {
        const char c = s_[pos_];
        if (c == '(') return Group(depth);
        if (c == '[') {
            if (auto fault = BracketFault(s_, pos_)) Fail(std::move(*fault));
            pos_ = SkipBracketExpression(s_, pos_);
            // The closing ")" of the anchoring group always follows a bracket
            // expression that is closed.
            if (pos_ >= s_.size()) Fail("a \"[\" is not closed");
            return {1, false, false};
        }
        if (c == '\\') return Escape();
        ++pos_;
        const bool anchor = c == '^' || c == '$';
        return {1, anchor, false, anchor};
    }

    Part Group(int depth) {
        if (depth + 1 > kMaxGroupDepth) {
            Fail("groups nested deeper than " + std::to_string(kMaxGroupDepth - 1));
            return {};
        }
        ++pos_;
        const Part inside = Alternation(depth + 1);
        if (pos_ >= s_.size()) Fail("a \"(\" is not closed");
        ++pos_;
        return inside;
    }

    Part Escape() {
        if (pos_ + 1 >= s_.size()) {
            Fail("it ends in a backslash");
            return {};
        }
        const char next = s_[pos_ + 1];
        pos_ += 2;
        // No automaton can match a back-reference, and a list path has no
        // need of one.
        if (next >= '1' && next <= '9') Fail("back-references (\\1 to \\9) are not allowed in a list path");
        return {1, IsAnchorEscape(next), false, IsAnchorEscape(next)};
    }

    Repeat Operator() {
        const char c = s_[pos_++];
        if (c == '*') return {1, true};
        if (c == '?') return {1, true};
        if (c == '+') return {2, false};
        return Interval();
    }

    // After "{": "m}", "m,}", ",n}" or "m,n}", as the GNU rules read them.
    Repeat Interval() {
        const long low = Count();
        const bool comma = pos_ < s_.size() && s_[pos_] == ',';
        if (comma) ++pos_;
        const long high = comma ? Count() : low;
        if (pos_ >= s_.size() || s_[pos_] != '}' || (low < 0 && !comma)) {
            Fail("a \"{\" does not hold a count such as {2}, {2,} or {2,5}");
            return {};
        }
        ++pos_;
        if (high >= 0 && high < std::max(low, 0L)) Fail("an interval's upper count is below its lower one");
        if (high < 0) return {std::max(low, 0L) + 1, low <= 0};  // "{m,}": m copies and a starred one
        return {std::max(high, 1L), low <= 0};
    }

    // Digits at the scan position as a number, -1 when there are none.
    long Count() {
        long value = -1;
        while (pos_ < s_.size() && IsAsciiDigit(s_[pos_])) {
            value = std::max(value, 0L) * 10 + (s_[pos_++] - '0');
            if (value > kMaxRepeatCount) {
                Fail("a repetition count is above " + std::to_string(kMaxRepeatCount));
                value = kMaxRepeatCount;
            }
        }
        return value;
    }

    std::string_view s_;
    size_t pos_ = 0;
    std::optional<std::string> fault_;
};

}  // namespace

std::optional<std::string> PathSyntaxFault(std::string_view expression) { return Scanner(expression).Run(); }

}  // namespace tamsel
