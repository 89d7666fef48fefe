#include "patterns/path_tree.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>

#include "patterns/path_syntax.h"
#include "patterns/text.h"

namespace tamsel {

namespace {

// Case is ignored by comparing upper-cased bytes: the pattern's characters,
// its ranges and the path's bytes alike.
constexpr unsigned char Upper(unsigned char c) { return c >= 'a' && c <= 'z' ? c - 32 : c; }

constexpr std::string_view kClassNames[] = {"alpha", "upper", "lower", "digit", "xdigit", "space",
                                            "print", "punct", "graph", "cntrl", "blank",  "alnum"};

// The C locale's classes; without regard to case "upper" and "lower" are "alpha".
bool InClass(std::string_view name, int c) {
    const bool upper = c >= 'A' && c <= 'Z', lower = c >= 'a' && c <= 'z', digit = c >= '0' && c <= '9';
    const bool alpha = upper || lower, graph = c > 32 && c < 127;
    if (name == "alpha" || name == "upper" || name == "lower") return alpha;
    if (name == "digit") return digit;
    if (name == "alnum") return alpha || digit;
    if (name == "xdigit") return digit || (Upper(static_cast<unsigned char>(c)) >= 'A' && Upper(c) <= 'F');
    if (name == "space") return c == ' ' || (c >= '\t' && c <= '\r');
    if (name == "blank") return c == ' ' || c == '\t';
    if (name == "print") return graph || c == ' ';
    if (name == "graph") return graph;
    if (name == "punct") return graph && !alpha && !digit;
    if (name == "cntrl") return c < 32 || c == 127;
    return false;
}

ByteSet ComputeClassSet(std::string_view name) {
    ByteSet set;
    for (int c = 0; c < 256; ++c) {
        if (InClass(name, c)) set.Add(static_cast<unsigned char>(c));
    }
    return set;
}

// The members of a class kClassNames names, each worked out once.
ByteSet ClassSet(std::string_view name) {
    static const auto kSets = [] {
        std::array<ByteSet, std::size(kClassNames)> sets;
        for (size_t i = 0; i < sets.size(); ++i) sets[i] = ComputeClassSet(kClassNames[i]);
        return sets;
    }();
    return kSets[std::find(std::begin(kClassNames), std::end(kClassNames), name) - std::begin(kClassNames)];
}

ByteSet Complement(const ByteSet& set) {
    ByteSet out;
    for (size_t i = 0; i < out.words.size(); ++i) out.words[i] = ~set.words[i];
    return out;
}

// A set over upper-cased bytes as the set of lower-cased path bytes it
// accepts: no byte upper-cases to a-z, and a to z accept as A to Z do.
ByteSet ForLoweredPath(const ByteSet& upperSet) {
    constexpr uint64_t kLetters = (uint64_t{1} << 26) - 1;
    constexpr int kUpperA = 'A' - 64, kLowerA = 'a' - 64;  // bit of "A" and of "a" in the second word
    ByteSet out = upperSet;
    out.words[1] &= ~(kLetters << kLowerA);
    out.words[1] |= ((upperSet.words[1] >> kUpperA) & kLetters) << kLowerA;
    return out;
}

ByteSet OneByte(unsigned char c) {
    ByteSet set;
    set.Add(c);
    return set;
}

// The path bytes of "\w", "\W", "\s" and "\S".
ByteSet EscapedClass(unsigned char c) {
    ByteSet word = ClassSet("alnum");
    word.Add('_');
    const ByteSet space = ClassSet("space");
    const ByteSet& set = c == 'w' || c == 'W' ? word : space;
    return ForLoweredPath(c == 'w' || c == 's' ? set : Complement(set));
}

bool IsRepetitionOperator(char c) { return c == '*' || c == '+' || c == '?' || c == '{'; }

// A printable ASCII character that stands for itself outside brackets.
bool IsPlainChar(unsigned char c) {
    constexpr std::string_view kSpecial = ".[]()*+?{}|^$\\";
    return c >= 0x20 && c < 0x7f && kSpecial.find(static_cast<char>(c)) == std::string_view::npos;
}

// After a backslash, punctuation stands for itself; letters and digits are
// classes or back-references, and "<", ">", "`" and "'" anchors.
bool IsEscapedLiteral(unsigned char c) {
    const bool alnum = IsAsciiDigit(static_cast<char>(c)) || (Upper(c) >= 'A' && Upper(c) <= 'Z');
    constexpr std::string_view kAnchors = "<>`'";
    return c >= 0x20 && c < 0x7f && !alnum && kAnchors.find(static_cast<char>(c)) == std::string_view::npos;
}

constexpr std::string_view kNotClosed = "a \"[\" is not closed";

// What the checks know of a subexpression.
struct Facts {
    long size = 0;            // atoms, counted once per copy a count makes
    bool nullable = true;     // can match the empty string
    bool repetition = false;  // is a repeated item, perhaps in parentheses
    bool anchor = false;      // holds an anchor ("^", "$", "\b", ...)
};
constexpr Facts kOneByte{1, false, false, false};
constexpr Facts kAnchor{1, true, false, true};

struct Parsed {
    int node = 0;
    Facts facts;
};

// One element of a bracket expression: a character (perhaps written as a
// collating symbol "[.c.]"), or a class or equivalence class, which cannot
// end a range.
struct BracketElement {
    bool isClass = false;
    bool named = false;  // a class named "[:name:]", whose members are `members`
    unsigned char c = 0;
    ByteSet members;

    void AddTo(ByteSet* set) const {
        if (!named) set->Add(Upper(c));
        for (size_t i = 0; named && i < set->words.size(); ++i) set->words[i] |= members.words[i];
    }
};

// Recursive descent over the extended syntax under the GNU rules: "|" splits
// branches, an unmatched ")" is an ordinary character, "^" and "$" are
// anchors anywhere, and a repetition with nothing before it is dropped.
// Recursion is bounded by kMaxGroupDepth.
//
// A path that repeats a repetition or something that can match nothing adds
// nothing a list needs and, under the GNU rules, means things no two readers
// agree on; one whose counts make too many copies is too large to match.
// Those are refused but read on, so the tree is whole; any other fault stops
// the reading.
class Parser {
public:
    explicit Parser(std::string_view path) : s_("^(" + std::string(path) + ")") {}

    ParsedPath Run() {
        tree_.nodes.reserve(s_.size() + 1);  // most bytes make a node, few make two
        const Parsed root = Alternation(0);
        ParsedPath out;
        out.expression.reserve(s_.size());
        for (size_t i = 0, d = 0; i < s_.size(); ++i) {
            if (d < dropped_.size() && dropped_[d] == i) {
                ++d;
            } else {
                out.expression.push_back(s_[i]);
            }
        }
        out.status = std::move(fault_);
        if (out.expression.size() > kMaxExpressionLength) {
            out.status = Failure{"longer than " + std::to_string(kMaxExpressionLength) + " bytes"};
        }
        if (!broken_) {
            tree_.root = root.node;
            tree_.searches = tree_.nodes[root.node].kind == PathNode::Kind::Either;
            out.tree = std::move(tree_);
        }
        return out;
    }

private:
    int Add(PathNode node) {
        tree_.nodes.push_back(std::move(node));
        return static_cast<int>(tree_.nodes.size() - 1);
    }
    Parsed Bytes(const ByteSet& set, int literal = -1) {
        PathNode node;
        node.kind = PathNode::Kind::Bytes;
        node.bytes = set;
        node.literal = literal;
        return {Add(std::move(node)), kOneByte};
    }
    Parsed Assertion(PathAssertion assertion) {
        PathNode node;
        node.kind = PathNode::Kind::Assertion;
        node.assertion = assertion;
        return {Add(std::move(node)), kAnchor};
    }
    bool AtEnd() const { return pos_ >= s_.size() || broken_; }

    // The first reason given is the one reported.
    void Refuse(std::string reason) {
        if (fault_.ok()) fault_ = Failure{std::move(reason)};
    }
    Parsed Break(std::string reason) {
        Refuse(std::move(reason));
        broken_ = true;
        return {};
    }
    bool Stop(std::string reason) {
        Break(std::move(reason));
        return false;
    }

    // Sizes add up as they are read; a sum is capped by the length of the
    // expression times one more than the bound, so it cannot overflow.
    void AddSize(long* total, long size) {
        *total += size;
        if (*total > kMaxExpandedSize) {
            Refuse("its counts make more than " + std::to_string(kMaxExpandedSize) + " copies of its characters");
        }
    }

    Parsed Alternation(int depth) {
        Parsed whole = Branch(depth);
        if (AtEnd() || s_[pos_] != '|') return whole;
        PathNode either;
        either.kind = PathNode::Kind::Either;
        either.children.push_back(whole.node);
        while (!AtEnd() && s_[pos_] == '|') {
            ++pos_;
            const Parsed branch = Branch(depth);
            either.children.push_back(branch.node);
            AddSize(&whole.facts.size, branch.facts.size);
            whole.facts.nullable = whole.facts.nullable || branch.facts.nullable;
            whole.facts.repetition = false;
            whole.facts.anchor = whole.facts.anchor || branch.facts.anchor;
        }
        whole.node = Add(std::move(either));
        return whole;
    }

    // A ")" with no group open is an ordinary character.
    Parsed Branch(int depth) {
        PathNode sequence;
        sequence.kind = PathNode::Kind::Sequence;
        Facts whole;
        while (!AtEnd() && s_[pos_] != '|' && !(s_[pos_] == ')' && depth > 0)) {
            if (IsRepetitionOperator(s_[pos_])) {  // nothing before it to repeat
                dropped_.push_back(pos_++);
                continue;
            }
            const Parsed piece = Piece(depth);
            AddSize(&whole.size, piece.facts.size);
            whole.nullable = whole.nullable && piece.facts.nullable;
            whole.repetition = sequence.children.empty() && piece.facts.repetition;
            whole.anchor = whole.anchor || piece.facts.anchor;
            sequence.children.push_back(piece.node);
        }
        return {Add(std::move(sequence)), whole};
    }

    // An anchor takes no repetition: what follows it starts afresh.
    Parsed Piece(int depth) {
        Parsed part = Atom(depth);
        if (broken_ || tree_.nodes[part.node].kind == PathNode::Kind::Assertion) return part;
        while (!AtEnd() && IsRepetitionOperator(s_[pos_])) {
            if (part.facts.repetition) Refuse("a repetition (*, +, ? or {}) may not repeat what is already repeated");
            if (part.facts.nullable) Refuse("a repetition may not repeat what can match nothing");
            part = Repeated(part);
        }
        return part;
    }

    Parsed Atom(int depth) {
        const auto c = static_cast<unsigned char>(s_[pos_]);
        if (c == '(') return Group(depth);
        if (c == '[') return Bracket();
        if (c == '\\') return Escape();
        ++pos_;
        if (c == '^') return Assertion(PathAssertion::LineStart);
        if (c == '$') return Assertion(PathAssertion::LineEnd);
        if (c == '.') return Bytes(Complement(ByteSet{}));
        return Bytes(ForLoweredPath(OneByte(Upper(c))), IsPlainChar(c) ? c : -1);
    }

    Parsed Group(int depth) {
        if (depth + 1 > kMaxGroupDepth) return Break("groups nested deeper than " + std::to_string(kMaxGroupDepth - 1));
        ++pos_;
        const Parsed inside = Alternation(depth + 1);
        if (broken_) return inside;
        if (pos_ >= s_.size()) return Break("a \"(\" is not closed");
        ++pos_;
        return inside;
    }

    // The character after a backslash is taken as written, not upper-cased
    // as the pattern's other characters are: an escaped lower-case letter
    // that names nothing else matches no byte at all.
    Parsed Escape() {
        if (pos_ + 1 >= s_.size()) return Break("it ends in a backslash");
        const auto c = static_cast<unsigned char>(s_[pos_ + 1]);
        pos_ += 2;
        static constexpr std::string_view kAnchors = "`'<>bB";
        if (const size_t k = kAnchors.find(static_cast<char>(c)); k != std::string_view::npos) {
            static constexpr PathAssertion kKinds[] = {PathAssertion::TextStart, PathAssertion::TextEnd,
                                                       PathAssertion::WordStart, PathAssertion::WordEnd,
                                                       PathAssertion::WordEdge,  PathAssertion::NotWordEdge};
            return Assertion(kKinds[k]);
        }
        // No automaton can match a back-reference, and a list path has no need of one.
        if (c >= '1' && c <= '9') return Break("back-references (\\1 to \\9) are not allowed in a list path");
        static constexpr std::string_view kClassEscapes = "wWsS";
        if (const size_t k = kClassEscapes.find(static_cast<char>(c)); k != std::string_view::npos) {
            static const ByteSet kClasses[] = {EscapedClass('w'), EscapedClass('W'), EscapedClass('s'),
                                               EscapedClass('S')};
            return Bytes(kClasses[k]);
        }
        return Bytes(ForLoweredPath(OneByte(c)), IsEscapedLiteral(c) ? c : -1);
    }

    // One of "*", "+", "?", "{m}", "{m,}", "{,n}" and "{m,n}" after `operand`.
    Parsed Repeated(const Parsed& operand) {
        PathNode repeat;
        repeat.kind = PathNode::Kind::Repeat;
        repeat.children.push_back(operand.node);
        repeat.op = s_[pos_++];
        repeat.min = repeat.op == '+' ? 1 : 0;
        repeat.max = repeat.op == '?' ? 1 : -1;
        if (repeat.op == '{' && !Interval(&repeat.min, &repeat.max)) return {};
        // "x{m,}" is m copies and a starred one, "x{m,n}" n copies.
        const long copies = repeat.max < 0 ? repeat.min + 1 : std::max(repeat.max, 1);
        // The GNU matcher heeds an anchor in the first copy a count makes
        // and, in most places, not in the others.
        if (operand.facts.anchor && copies > 1) {
            Refuse("an anchor (^, $, \\b, \\<, ...) may not stand in what + or a count above one repeats");
        }
        const Facts facts{std::min(operand.facts.size * copies, kMaxExpandedSize + 1), repeat.min == 0, true,
                          operand.facts.anchor};
        return {Add(std::move(repeat)), facts};
    }

    // After "{": "m}", "m,}", ",n}" or "m,n}", as the GNU rules read them.
    bool Interval(int* min, int* max) {
        const int low = Count();
        const bool comma = !broken_ && pos_ < s_.size() && s_[pos_] == ',';
        if (comma) ++pos_;
        const int high = comma ? Count() : low;
        if (broken_) return false;
        if (pos_ >= s_.size() || s_[pos_] != '}' || (low < 0 && !comma)) {
            return Stop("a \"{\" does not hold a count such as {2}, {2,} or {2,5}");
        }
        ++pos_;
        *min = std::max(low, 0);
        *max = high;
        if (high >= 0 && high < *min) Break("an interval's upper count is below its lower one");
        return !broken_;
    }

    // Digits at the reading position as a number, -1 when there are none.
    int Count() {
        int value = -1;
        while (pos_ < s_.size() && IsAsciiDigit(s_[pos_])) {
            value = std::max(value, 0) * 10 + (s_[pos_++] - '0');
            if (value > kMaxRepeatCount) {
                Break("a repetition count is above " + std::to_string(kMaxRepeatCount));
                return -1;
            }
        }
        return value;
    }

    Parsed Bracket();
    bool ReadBracketElement(bool hyphenMayStand, BracketElement* element);

    std::string s_;
    size_t pos_ = 0;
    std::vector<size_t> dropped_;  // the repetitions with nothing before them
    Status fault_;
    bool broken_ = false;  // the reading stopped: no tree
    PathTree tree_;
};

// Reads the element at the reading position. `hyphenMayStand`: a "-" may
// stand here as itself.
bool Parser::ReadBracketElement(bool hyphenMayStand, BracketElement* element) {
    const char c = s_[pos_];
    if (c == '[' && pos_ + 1 < s_.size() && (s_[pos_ + 1] == ':' || s_[pos_ + 1] == '.' || s_[pos_ + 1] == '=')) {
        const char kind = s_[pos_ + 1];
        const char close[3] = {kind, ']', '\0'};
        const size_t end = s_.find(close, pos_ + 2);
        if (end == std::string::npos || end - (pos_ + 2) >= 32) return Stop(std::string(kNotClosed));
        const std::string_view name = std::string_view(s_).substr(pos_ + 2, end - (pos_ + 2));
        pos_ = end + 2;
        if (kind == ':') {
            if (std::find(std::begin(kClassNames), std::end(kClassNames), name) == std::end(kClassNames)) {
                return Stop("no character class is named \"" + std::string(name) + "\"");
            }
            element->isClass = element->named = true;
            element->members = ClassSet(name);
            return true;
        }
        if (name.size() != 1) return Stop("a collating element of more than one character");
        element->isClass = kind == '=';
        element->c = static_cast<unsigned char>(name[0]);
        return true;
    }
    if (c == '-' && !hyphenMayStand && !(pos_ + 1 < s_.size() && s_[pos_ + 1] == ']')) {
        return Stop("a \"-\" inside brackets stands only first, last or as a range");
    }
    element->c = static_cast<unsigned char>(c);
    ++pos_;
    return true;
}

// "[...]" and "[^...]": a "]" first is a member, a "-" first or last is
// itself, and ranges run over upper-cased bytes. Refused as the GNU rules
// refuse them: unknown classes, collating elements they do not know, and
// ranges that end at a class, run backwards or leave ASCII.
Parsed Parser::Bracket() {
    ++pos_;
    const bool negated = pos_ < s_.size() && s_[pos_] == '^';
    pos_ += negated;
    ByteSet set;
    for (bool first = true;; first = false) {
        if (pos_ >= s_.size()) return Break(std::string(kNotClosed));
        if (s_[pos_] == ']' && !first) break;
        BracketElement start;
        if (!ReadBracketElement(first, &start)) return {};
        if (!(pos_ + 1 < s_.size() && s_[pos_] == '-' && s_[pos_ + 1] != ']')) {
            start.AddTo(&set);
            continue;
        }
        ++pos_;
        BracketElement end;
        if (!ReadBracketElement(true, &end)) return {};
        if (start.isClass || end.isClass) return Break("a range inside brackets ends at a class");
        if (start.c >= 0x80 || end.c >= 0x80) return Break("a range inside brackets ends outside ASCII");
        if (Upper(start.c) > Upper(end.c)) return Break("a range inside brackets runs backwards");
        for (int b = Upper(start.c); b <= Upper(end.c); ++b) set.Add(static_cast<unsigned char>(b));
    }
    ++pos_;
    // The closing ")" of the anchoring group always follows a bracket
    // expression that is closed.
    if (pos_ >= s_.size()) return Break(std::string(kNotClosed));
    return Bytes(ForLoweredPath(negated ? Complement(set) : set));
}

}  // namespace

const PathNode* PathTree::Body() const {
    const PathNode& top = nodes[root];
    if (top.kind != PathNode::Kind::Sequence || top.children.size() != 2) return nullptr;
    return &nodes[top.children[1]];
}

bool MatchesAnyByte(const PathNode& node) {
    return node.kind == PathNode::Kind::Bytes && node.bytes == Complement(ByteSet{});
}

ParsedPath ParsePath(std::string_view path) { return Parser(path).Run(); }

}  // namespace tamsel
