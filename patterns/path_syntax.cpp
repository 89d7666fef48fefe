#include "patterns/path_syntax.h"

#include <algorithm>

#include "patterns/path_shortcut.h"
#include "patterns/text.h"

namespace tamsel {

bool IsRepetitionOperator(char c) { return c == '*' || c == '+' || c == '?' || c == '{'; }

bool IsAnchorEscape(char c) { return c == '<' || c == '>' || c == 'b' || c == 'B' || c == '`' || c == '\''; }

namespace {

// What the scan knows of a subexpression.
struct Part {
    long size = 0;            // atoms, counted once per copy the engine makes
    bool nullable = true;     // can match the empty string
    bool repetition = false;  // is a repeated item, perhaps in parentheses
};

// One interval or operator: how many copies the engine makes of its operand,
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
            Fail("its counts ask the engine for more than " + std::to_string(kMaxExpandedSize) +
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
            pos_ = SkipBracketExpression(s_, pos_);
            // The closing ")" of the anchoring group always follows a bracket
            // expression that is closed.
            if (pos_ >= s_.size()) Fail("a \"[\" is not closed");
            return {1, false, false};
        }
        if (c == '\\') return Escape();
        ++pos_;
        const bool anchor = c == '^' || c == '$';
        return {1, anchor, false};
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
        // The engine's matcher for back-references recurses without bound on
        // some patterns and would overflow the stack of whatever thread sends;
        // a list path has no need of them.
        if (next >= '1' && next <= '9') Fail("back-references (\\1 to \\9) are not allowed in a list path");
        return {1, IsAnchorEscape(next), false};
    }

    Repeat Operator() {
        const char c = s_[pos_++];
        if (c == '*') return {1, true};
        if (c == '?') return {1, true};
        if (c == '+') return {2, false};
        return Interval();
    }

    // After "{": "m}", "m,}", ",n}" or "m,n}", as the engine reads them.
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
