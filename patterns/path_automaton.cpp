// Automaton programs: the position automaton of a path pattern, for the
// shapes globs cannot hold. Each matched element of the pattern (a
// character, "." or a bracket expression) is a position; the program says
// which positions can come first and last, which can follow each one, and
// what each matches. "$" is a position that matches the end of the path
// and only ends the pattern.
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "patterns/path_shortcut.h"
#include "patterns/text.h"

namespace tamsel {

namespace {

using Mask = uint64_t;
using ByteSet = std::array<uint64_t, 2>;  // over ASCII

constexpr size_t kMaxPositions = 64;
constexpr size_t kMaxClasses = 30;

// What a position matches, one byte each: the end of the path, any byte, a
// bracket expression (kFirstClass + its index), or one lower-cased
// character (0x20 and up).
constexpr uint8_t kEndOfPath = 0;
constexpr uint8_t kAnyByte = 1;
constexpr uint8_t kFirstClass = 2;

// Program layout: position count, nullable flag, first mask, last mask, a
// follow mask per position, a match byte per position, the byte sets.
constexpr size_t kFirstAt = 2;
constexpr size_t kLastAt = 10;
constexpr size_t kFollowAt = 18;

constexpr bool IsLowerOrDigitRange(char lo, char hi) {
    return lo <= hi && ((lo >= 'a' && hi <= 'z') || (lo >= '0' && hi <= '9'));
}

// A subexpression: the positions that can match its first and its last
// character, and whether it matches the empty text.
struct Part {
    Mask first = 0;
    Mask last = 0;
    bool nullable = true;
};

void ForEachBit(Mask mask, auto visit) {
    for (; mask != 0; mask &= mask - 1) visit(std::countr_zero(mask));
}

class Builder {
public:
    explicit Builder(std::string_view s) : s_(s) {}

    std::optional<std::string> Build() {
        Part whole;
        if (!Alternation(&whole) || i_ != s_.size() || !EndsOnlyAtTheEnd()) return std::nullopt;
        return Serialised(whole);
    }

private:
    bool Alternation(Part* out) {
        if (!Sequence(out)) return false;
        while (i_ < s_.size() && s_[i_] == '|') {
            ++i_;
            Part next;
            if (!Sequence(&next)) return false;
            out->first |= next.first;
            out->last |= next.last;
            out->nullable = out->nullable || next.nullable;
        }
        return true;
    }

    // One branch; an empty one is left to the engine.
    bool Sequence(Part* out) {
        *out = Part{};
        bool any = false;
        while (i_ < s_.size() && s_[i_] != '|' && s_[i_] != ')') {
            Part piece;
            if (!Piece(&piece)) return false;
            ForEachBit(out->last, [&](int p) { follow_[p] |= piece.first; });
            out->first |= out->nullable ? piece.first : 0;
            out->last = piece.last | (piece.nullable ? out->last : 0);
            out->nullable = out->nullable && piece.nullable;
            any = true;
        }
        return any;
    }

    // An atom and at most one of "?", "*" and "+" after it.
    bool Piece(Part* out) {
        const char atom = s_[i_];
        if (!Atom(out)) return false;
        if (i_ == s_.size() || !IsRegexQuantifier(s_[i_])) return true;
        const char q = s_[i_++];
        if (q == '{' || atom == '$' || (i_ < s_.size() && IsRegexQuantifier(s_[i_]))) return false;
        if (q != '?') ForEachBit(out->last, [&](int p) { follow_[p] |= out->first; });
        if (q != '+') out->nullable = true;
        return true;
    }

    bool Atom(Part* out) {
        const char c = s_[i_];
        if (c == '(') {
            ++i_;
            if (!Alternation(out) || i_ == s_.size() || s_[i_] != ')') return false;
            ++i_;
            return true;
        }
        uint8_t what = 0;
        if (c == '[') {
            if (!Bracket(&what)) return false;
        } else if (c == '\\' && i_ + 1 < s_.size() && IsEscapedLiteral(s_[i_ + 1])) {
            what = static_cast<uint8_t>(AsciiLower(s_[i_ + 1]));
            i_ += 2;
        } else if (c == '.' || c == '$' || IsRegexPlainChar(c)) {
            what = c == '.' ? kAnyByte : c == '$' ? kEndOfPath : static_cast<uint8_t>(AsciiLower(c));
            ++i_;
        } else {
            return false;  // "^", other escapes, bytes outside printable ASCII
        }
        if (matches_.size() == kMaxPositions) return false;
        const Mask bit = Mask{1} << matches_.size();
        matches_.push_back(what);
        follow_.push_back(0);
        *out = Part{bit, bit, false};
        return true;
    }

    // A bracket expression of plain characters and ranges of lower-case
    // letters or digits, possibly negated. Upper-case letters, "[", "\" and
    // classes such as "[:alpha:]" are left to the engine.
    bool Bracket(uint8_t* what) {
        size_t j = i_ + 1;
        const bool negated = j < s_.size() && s_[j] == '^';
        j += negated;
        ByteSet set{};
        const auto add = [&](char from, char to) {
            for (int c = from; c <= to; ++c) set[c >> 6] |= uint64_t{1} << (c & 63);
        };
        const size_t open = j;  // a "]" here is a member
        while (j == open || s_[j] != ']') {
            if (j + 1 >= s_.size()) return false;
            const char c = s_[j];
            if (c < 0x20 || c > 0x7e || c == '[' || c == '\\' || (c >= 'A' && c <= 'Z')) return false;
            if (s_[j + 1] == '-' && j + 2 < s_.size() && s_[j + 2] != ']') {
                if (!IsLowerOrDigitRange(c, s_[j + 2])) return false;
                add(c, s_[j + 2]);
                j += 3;
            } else if (c == '-' && j != open && s_[j + 1] != ']') {
                return false;  // a "-" inside that makes no range
            } else {
                add(c, c);
                ++j;
            }
        }
        i_ = j + 1;
        if (negated) set = ByteSet{~set[0], ~set[1]};
        if (classes_.size() == kMaxClasses) return false;
        *what = static_cast<uint8_t>(kFirstClass + classes_.size());
        classes_.push_back(set);
        return true;
    }

    // The engine lets a "$" that has more pattern after it match before a
    // line feed; only a "$" that ends the pattern is certain to mean the end.
    bool EndsOnlyAtTheEnd() const {
        for (size_t p = 0; p < matches_.size(); ++p) {
            if (matches_[p] == kEndOfPath && follow_[p] != 0) return false;
        }
        return true;
    }

    std::string Serialised(const Part& whole) const {
        std::string out;
        const auto put = [&out](uint64_t v) { out.append(reinterpret_cast<const char*>(&v), sizeof v); };
        out.push_back(static_cast<char>(matches_.size()));
        out.push_back(whole.nullable ? 1 : 0);
        put(whole.first);
        put(whole.last);
        for (const Mask follow : follow_) put(follow);
        out.append(matches_.begin(), matches_.end());
        for (const ByteSet& set : classes_) put(set[0]), put(set[1]);
        return out;
    }

    std::string_view s_;
    size_t i_ = 0;
    std::vector<uint8_t> matches_;  // per position
    std::vector<Mask> follow_;      // per position
    std::vector<ByteSet> classes_;
};

// A program read in place.
class Automaton {
public:
    static constexpr int kEnd = -1;  // the symbol for the end of the path

    explicit Automaton(std::string_view program)
        : p_(program), count_(static_cast<uint8_t>(program[0])), classesAt_(kFollowAt + 9 * count_) {}

    bool nullable() const { return p_[1] != 0; }
    Mask first() const { return Word(kFirstAt); }
    Mask last() const { return Word(kLastAt); }

    Mask Follows(Mask from) const {
        Mask out = 0;
        ForEachBit(from, [&](int p) { out |= Word(kFollowAt + 8 * static_cast<size_t>(p)); });
        return out;
    }

    // The positions among `candidates` that match `symbol` (a byte, or kEnd).
    Mask Matching(Mask candidates, int symbol) const {
        Mask out = 0;
        ForEachBit(candidates, [&](int p) {
            if (Accepts(static_cast<uint8_t>(p_[kFollowAt + 8 * count_ + p]), symbol)) out |= Mask{1} << p;
        });
        return out;
    }

private:
    Mask Word(size_t at) const {
        Mask v;
        std::memcpy(&v, p_.data() + at, sizeof v);
        return v;
    }

    bool Accepts(uint8_t what, int symbol) const {
        if (what == kEndOfPath || symbol == kEnd) return what == kEndOfPath && symbol == kEnd;
        if (what == kAnyByte) return true;
        if (what >= 0x20) return what == symbol;
        const size_t set = classesAt_ + 16 * static_cast<size_t>(what - kFirstClass);
        return symbol < 128 && ((Word(set + 8 * static_cast<size_t>(symbol >> 6)) >> (symbol & 63)) & 1) != 0;
    }

    std::string_view p_;
    size_t count_;
    size_t classesAt_;
};

}  // namespace

std::optional<std::string> AutomatonProgram(std::string_view path) { return Builder(path).Build(); }

bool AutomatonProgramValid(std::string_view program) {
    if (program.size() < kFollowAt) return false;
    const size_t count = static_cast<uint8_t>(program[0]);
    const size_t classesAt = kFollowAt + 9 * count;
    if (count > kMaxPositions || program.size() < classesAt || (program.size() - classesAt) % 16 != 0) return false;
    const size_t classes = (program.size() - classesAt) / 16;
    if (classes > kMaxClasses) return false;
    const Mask positions = count == 64 ? ~Mask{0} : (Mask{1} << count) - 1;
    const auto word = [&](size_t at) {
        Mask v;
        std::memcpy(&v, program.data() + at, sizeof v);
        return v;
    };
    for (size_t at = kFirstAt; at < kFollowAt + 8 * count; at += 8) {
        if ((word(at) & ~positions) != 0) return false;
    }
    for (size_t p = 0; p < count; ++p) {
        const auto what = static_cast<uint8_t>(program[kFollowAt + 8 * count + p]);
        if (what >= kFirstClass && what < 0x20 && static_cast<size_t>(what - kFirstClass) >= classes) return false;
    }
    return true;
}

bool AutomatonMatches(std::string_view program, std::string_view lowered) {
    const Automaton a(program);
    if (a.nullable()) return true;
    Mask candidates = a.first();
    for (const char c : lowered) {
        const Mask matched = a.Matching(candidates, static_cast<unsigned char>(c));
        if ((matched & a.last()) != 0) return true;
        if (matched == 0) return false;
        candidates = a.Follows(matched);
    }
    // A "$" ends the pattern, so one that can come next matches.
    return a.Matching(candidates, Automaton::kEnd) != 0;
}

}  // namespace tamsel
