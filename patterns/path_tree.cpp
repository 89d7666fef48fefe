#include "patterns/path_tree.h"

#include <cstring>

#include "patterns/path_syntax.h"
#include "patterns/text.h"

namespace tamsel {

namespace {

// Case is ignored by comparing upper-cased bytes: the pattern's characters,
// its ranges and the path's bytes alike.
constexpr unsigned char Upper(unsigned char c) { return c >= 'a' && c <= 'z' ? c - 32 : c; }

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

ByteSet ClassSet(std::string_view name) {
    ByteSet set;
    for (int c = 0; c < 256; ++c) {
        if (InClass(name, c)) set.Add(static_cast<unsigned char>(c));
    }
    return set;
}

ByteSet Complement(const ByteSet& set) {
    ByteSet out;
    for (size_t i = 0; i < out.words.size(); ++i) out.words[i] = ~set.words[i];
    return out;
}

// A set over upper-cased bytes as the set of lower-cased path bytes it accepts.
ByteSet ForLoweredPath(const ByteSet& upperSet) {
    ByteSet out;
    for (int c = 0; c < 256; ++c) {
        if (upperSet.Has(Upper(static_cast<unsigned char>(c)))) out.Add(static_cast<unsigned char>(c));
    }
    return out;
}

ByteSet OneByte(unsigned char c) {
    ByteSet set;
    set.Add(c);
    return set;
}

class TreeParser {
public:
    explicit TreeParser(std::string_view s) : s_(s) {}

    std::optional<PathTree> Run() {
        tree_.root = Alternation(0);
        if (failed_ || pos_ != s_.size()) return std::nullopt;
        tree_.searches = tree_.nodes[tree_.root].kind == PathNode::Kind::Either;
        return std::move(tree_);
    }

private:
    int Add(PathNode node) {
        tree_.nodes.push_back(std::move(node));
        return static_cast<int>(tree_.nodes.size() - 1);
    }
    int AddBytes(const ByteSet& set) {
        PathNode node;
        node.kind = PathNode::Kind::Bytes;
        node.bytes = set;
        return Add(std::move(node));
    }
    int AddAssertion(PathAssertion assertion) {
        PathNode node;
        node.kind = PathNode::Kind::Assertion;
        node.assertion = assertion;
        return Add(std::move(node));
    }
    bool AtEnd() const { return pos_ >= s_.size() || failed_; }

    int Alternation(int nest) {
        const int first = Branch(nest);
        if (AtEnd() || s_[pos_] != '|') return first;
        PathNode either;
        either.kind = PathNode::Kind::Either;
        either.children.push_back(first);
        while (!AtEnd() && s_[pos_] == '|') {
            ++pos_;
            either.children.push_back(Branch(nest));
        }
        return Add(std::move(either));
    }

    // A ")" with no group open is an ordinary character.
    int Branch(int nest) {
        PathNode sequence;
        sequence.kind = PathNode::Kind::Sequence;
        while (!AtEnd() && s_[pos_] != '|' && !(s_[pos_] == ')' && nest > 0)) {
            // A repetition with nothing before it repeats nothing and is dropped.
            if (IsRepetitionOperator(s_[pos_])) {
                ++pos_;
                continue;
            }
            sequence.children.push_back(Piece(nest));
        }
        return Add(std::move(sequence));
    }

    // An anchor takes no repetition: what follows it starts afresh.
    int Piece(int nest) {
        bool anchor = false;
        int part = Atom(nest, &anchor);
        while (!anchor && !AtEnd() && IsRepetitionOperator(s_[pos_])) part = Repeated(part);
        return part;
    }

    int Atom(int nest, bool* anchor) {
        const auto c = static_cast<unsigned char>(s_[pos_]);
        if (c == '(') {
            if (nest >= kMaxGroupDepth) return Fail();
            ++pos_;
            const int inside = Alternation(nest + 1);
            if (AtEnd() || s_[pos_] != ')') return Fail();
            ++pos_;
            return inside;
        }
        if (c == '[') return Bracket();
        if (c == '\\') return Escape(anchor);
        ++pos_;
        *anchor = c == '^' || c == '$';
        if (c == '^') return AddAssertion(PathAssertion::LineStart);
        if (c == '$') return AddAssertion(PathAssertion::LineEnd);
        if (c == '.') return AddBytes(Complement(ByteSet{}));
        return AddBytes(ForLoweredPath(OneByte(Upper(c))));
    }

    // The character after a backslash is taken as written, not upper-cased
    // as the pattern's other characters are: an escaped lower-case letter
    // that names nothing else matches no byte at all.
    int Escape(bool* anchor) {
        if (pos_ + 1 >= s_.size()) return Fail();
        const auto c = static_cast<unsigned char>(s_[pos_ + 1]);
        pos_ += 2;
        static constexpr std::string_view kAnchors = "`'<>bB";
        if (const size_t k = kAnchors.find(static_cast<char>(c)); k != std::string_view::npos) {
            *anchor = true;
            static constexpr PathAssertion kKinds[] = {PathAssertion::TextStart, PathAssertion::TextEnd,
                                                       PathAssertion::WordStart, PathAssertion::WordEnd,
                                                       PathAssertion::WordEdge,  PathAssertion::NotWordEdge};
            return AddAssertion(kKinds[k]);
        }
        if (c >= '1' && c <= '9') return Fail();  // back-references are refused
        ByteSet word = ClassSet("alnum");
        word.Add('_');
        if (c == 'w' || c == 'W') return AddBytes(ForLoweredPath(c == 'w' ? word : Complement(word)));
        if (c == 's' || c == 'S') {
            const ByteSet space = ClassSet("space");
            return AddBytes(ForLoweredPath(c == 's' ? space : Complement(space)));
        }
        return AddBytes(ForLoweredPath(OneByte(c)));
    }

    // One of "*", "+", "?", "{m}", "{m,}", "{,n}" and "{m,n}" after `operand`.
    int Repeated(int operand) {
        PathNode repeat;
        repeat.kind = PathNode::Kind::Repeat;
        repeat.children.push_back(operand);
        const char c = s_[pos_++];
        repeat.min = c == '+' ? 1 : 0;
        repeat.max = c == '?' ? 1 : -1;
        if (c == '{' && !Interval(&repeat.min, &repeat.max)) return Fail();
        return Add(std::move(repeat));
    }

    bool Interval(int* min, int* max) {
        const int low = Count();
        const bool comma = pos_ < s_.size() && s_[pos_] == ',';
        if (comma) ++pos_;
        const int high = comma ? Count() : low;
        if (pos_ >= s_.size() || s_[pos_] != '}' || (low < 0 && !comma)) return false;
        ++pos_;
        *min = low < 0 ? 0 : low;
        *max = high;
        return high < 0 || high >= *min;
    }

    int Count() {
        int value = -1;
        while (pos_ < s_.size() && IsAsciiDigit(s_[pos_]) && value <= kMaxRepeatCount) {
            value = (value < 0 ? 0 : value) * 10 + (s_[pos_++] - '0');
        }
        return value <= kMaxRepeatCount ? value : -2;
    }

    int Bracket();
    bool BracketElement(bool mayBeHyphen, ByteSet* set, int* single);

    int Fail() {
        failed_ = true;
        return Add(PathNode{});
    }

    std::string_view s_;
    size_t pos_ = 0;
    bool failed_ = false;
    PathTree tree_;
};

// One element at the scan position: a class ("[:alpha:]") or an equivalence
// class ("[=a=]") adds to `set` and leaves `single` at -1; a character, or a
// collating symbol ("[.a.]"), sets `single` to its upper-cased byte.
bool TreeParser::BracketElement(bool mayBeHyphen, ByteSet* set, int* single) {
    *single = -1;
    const char c = s_[pos_];
    if (c == '[' && pos_ + 1 < s_.size() && std::strchr(":.=", s_[pos_ + 1]) != nullptr && s_[pos_ + 1] != '\0') {
        const char kind = s_[pos_ + 1];
        const char close[3] = {kind, ']', '\0'};
        const size_t end = s_.find(close, pos_ + 2);
        if (end == std::string_view::npos) return false;
        const std::string_view name = s_.substr(pos_ + 2, end - pos_ - 2);
        pos_ = end + 2;
        if (kind == ':') {
            const ByteSet members = ClassSet(name);
            for (size_t i = 0; i < set->words.size(); ++i) set->words[i] |= members.words[i];
            return true;
        }
        if (name.size() != 1) return false;
        const unsigned char member = Upper(static_cast<unsigned char>(name[0]));
        if (kind == '=') {
            set->Add(member);
        } else {
            *single = member;
        }
        return true;
    }
    if (c == '-' && !mayBeHyphen && !(pos_ + 1 < s_.size() && s_[pos_ + 1] == ']')) return false;
    *single = Upper(static_cast<unsigned char>(c));
    ++pos_;
    return true;
}

// "[...]" and "[^...]": a "]" first is a member, a "-" first or last is
// itself, and ranges run over upper-cased bytes.
int TreeParser::Bracket() {
    ++pos_;
    const bool negated = pos_ < s_.size() && s_[pos_] == '^';
    pos_ += negated;
    ByteSet set;
    for (bool first = true;; first = false) {
        if (pos_ >= s_.size()) return Fail();
        if (s_[pos_] == ']' && !first) break;
        int start = -1;
        if (!BracketElement(first, &set, &start)) return Fail();
        const bool range = start >= 0 && pos_ + 1 < s_.size() && s_[pos_] == '-' && s_[pos_ + 1] != ']';
        if (!range) {
            if (start >= 0) set.Add(static_cast<unsigned char>(start));
            continue;
        }
        ++pos_;
        int end = -1;
        if (!BracketElement(true, &set, &end) || end < start) return Fail();
        for (int b = start; b <= end; ++b) set.Add(static_cast<unsigned char>(b));
    }
    ++pos_;
    return AddBytes(ForLoweredPath(negated ? Complement(set) : set));
}

}  // namespace

std::optional<PathTree> ParsePathTree(std::string_view expression) { return TreeParser(expression).Run(); }

}  // namespace tamsel
