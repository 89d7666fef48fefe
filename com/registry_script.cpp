#include "com/registry_script.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>
#include <string>

namespace tamsel {

namespace {

// Blocks nest no deeper than this: the module's own script needs four, and
// the registry itself allows no key path much deeper.
constexpr int kMaxBlockDepth = 64;

struct Token {
    enum Kind { End, Open, Close, Equals, Word } kind = End;
    std::string text;     // the word, quotes taken off, replacements made
    bool quoted = false;
    int32_t line = 1;
};

// A fault in the script text; caught at the parser's edge and turned into
// the result's error.
struct ScriptFault : std::runtime_error {
    ScriptFault(int32_t l, const std::string& what) : std::runtime_error(what), line(l) {}
    int32_t line;
};

bool IsWordChar(char c) {
    return !std::isspace(static_cast<unsigned char>(c)) && c != '{' && c != '}' && c != '=' && c != '\'';
}

bool SameWord(const std::string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size() && b[i] != '\0'; ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
    }
    return i == a.size() && b[i] == '\0';
}

class Lexer {
public:
    Lexer(const std::string& text, const ScriptReplacements& replacements)
        : text_(text), replacements_(replacements) {}

    Token Next() {
        SkipSpace();
        Token t;
        t.line = line_;
        if (pos_ >= text_.size()) return t;
        const char c = text_[pos_];
        if (c == '{' && StartsBracedWord()) {
            t.kind = Token::Word;
            t.text = Replace(Braced(), t.line);
            return t;
        }
        if (c == '{' || c == '}' || c == '=') {
            ++pos_;
            t.kind = c == '{' ? Token::Open : c == '}' ? Token::Close : Token::Equals;
            return t;
        }
        t.kind = Token::Word;
        t.quoted = c == '\'';
        t.text = Replace(t.quoted ? Quoted() : Bare(), t.line);
        return t;
    }

private:
    void SkipSpace() {
        while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_]))) {
            if (text_[pos_] == '\n') ++line_;
            ++pos_;
        }
    }

    // A block opens with a brace that white space follows; a brace followed
    // by anything else begins a name in braces, as a GUID is written.
    bool StartsBracedWord() const {
        return pos_ + 1 < text_.size() && IsWordChar(text_[pos_ + 1]);
    }

    std::string Braced() {
        const size_t close = text_.find('}', pos_);
        if (close == std::string::npos) throw ScriptFault(line_, "a name in braces without its closing brace");
        std::string word = text_.substr(pos_, close + 1 - pos_);
        if (!std::all_of(word.begin() + 1, word.end() - 1, IsWordChar)) {
            throw ScriptFault(line_, "white space or a quote inside a name in braces");
        }
        pos_ = close + 1;
        return word;
    }

    std::string Bare() {
        const size_t start = pos_;
        while (pos_ < text_.size() && IsWordChar(text_[pos_])) ++pos_;
        return text_.substr(start, pos_ - start);
    }

    // After the opening quote; '' inside stands for one quote.
    std::string Quoted() {
        const int32_t startLine = line_;
        std::string out;
        for (++pos_; pos_ < text_.size(); ++pos_) {
            const char c = text_[pos_];
            if (c == '\n') ++line_;
            if (c != '\'') {
                out += c;
            } else if (pos_ + 1 < text_.size() && text_[pos_ + 1] == '\'') {
                out += '\'';
                ++pos_;
            } else {
                ++pos_;
                return out;
            }
        }
        throw ScriptFault(startLine, "quoted text without its closing quote");
    }

    std::string Replace(const std::string& raw, int32_t line) const {
        std::string out;
        for (size_t i = 0; i < raw.size(); ++i) {
            if (raw[i] != '%') {
                out += raw[i];
                continue;
            }
            const size_t end = raw.find('%', i + 1);
            if (end == std::string::npos) throw ScriptFault(line, "a lone '%' in \"" + raw + "\"");
            const std::string name = raw.substr(i + 1, end - i - 1);
            if (name.empty()) {
                out += '%';
            } else {
                const auto found = replacements_.find(name);
                if (found == replacements_.end()) throw ScriptFault(line, "no replacement for %" + name + "%");
                out += found->second;
            }
            i = end;
        }
        return out;
    }

    const std::string& text_;
    const ScriptReplacements& replacements_;
    size_t pos_ = 0;
    int32_t line_ = 1;
};

class Parser {
public:
    Parser(const std::string& text, const ScriptReplacements& replacements) : lexer_(text, replacements) {
        Advance();
    }

    RegistryScript Script() {
        RegistryScript script;
        while (current_.kind != Token::End) {
            ScriptRootBlock block;
            block.root = Root(Expect(Token::Word, "a root key"));
            Expect(Token::Open, "'{' after the root key");
            block.keys = KeyList(nullptr, 1);
            script.roots.push_back(std::move(block));
        }
        return script;
    }

private:
    void Advance() { current_ = lexer_.Next(); }

    Token Expect(Token::Kind kind, const char* what) {
        if (current_.kind != kind) throw ScriptFault(current_.line, std::string("expected ") + what);
        Token t = std::move(current_);
        Advance();
        return t;
    }

    bool IsKeyword(const char* word) const {
        return current_.kind == Token::Word && !current_.quoted && SameWord(current_.text, word);
    }

    static RegistryRoot Root(const Token& t) {
        const std::string& w = t.text;
        if (SameWord(w, "HKCR") || SameWord(w, "HKEY_CLASSES_ROOT")) return RegistryRoot::ClassesRoot;
        if (SameWord(w, "HKCU") || SameWord(w, "HKEY_CURRENT_USER")) return RegistryRoot::CurrentUser;
        if (SameWord(w, "HKLM") || SameWord(w, "HKEY_LOCAL_MACHINE")) return RegistryRoot::LocalMachine;
        if (SameWord(w, "HKU") || SameWord(w, "HKEY_USERS")) return RegistryRoot::Users;
        throw ScriptFault(t.line, "unknown root key \"" + w + "\"");
    }

    // "= s 'text'": only string values exist in this script form.
    std::string StringValue() {
        Expect(Token::Equals, "'='");
        if (!IsKeyword("s")) throw ScriptFault(current_.line, "expected the value type s");
        Advance();
        return Expect(Token::Word, "the value's text").text;
    }

    // The items of one block, up to and including its '}'. `owner` is the
    // key the block belongs to, null for a root block; `depth` counts the
    // blocks open, this one included.
    std::vector<ScriptKey> KeyList(ScriptKey* owner, int depth) {
        if (depth > kMaxBlockDepth) {
            throw ScriptFault(current_.line, "blocks nested deeper than " + std::to_string(kMaxBlockDepth));
        }
        std::vector<ScriptKey> keys;
        while (current_.kind != Token::Close) {
            if (IsKeyword("val")) {
                if (owner == nullptr) throw ScriptFault(current_.line, "a value directly under a root key");
                Advance();
                ScriptValue value;
                value.name = Expect(Token::Word, "the value's name").text;
                value.data = StringValue();
                owner->values.push_back(std::move(value));
            } else {
                keys.push_back(Key(depth));
            }
        }
        Advance();
        return keys;
    }

    ScriptKey Key(int depth) {
        ScriptKey key;
        if (IsKeyword("ForceRemove") || IsKeyword("NoRemove")) {
            key.mark = IsKeyword("NoRemove") ? KeyMark::NoRemove : KeyMark::ForceRemove;
            Advance();
        }
        key.name = Expect(Token::Word, "a key name").text;
        if (key.name.empty()) throw ScriptFault(current_.line, "an empty key name");
        if (current_.kind == Token::Equals) key.values.push_back({"", StringValue()});
        if (current_.kind == Token::Open) {
            Advance();
            key.subkeys = KeyList(&key, depth + 1);
        }
        return key;
    }

    Lexer lexer_;
    Token current_;
};

}  // namespace

ScriptParseResult ParseRegistryScript(const std::string& text, const ScriptReplacements& replacements) {
    ScriptParseResult result;
    try {
        Parser parser(text, replacements);
        result.script = parser.Script();
    } catch (const ScriptFault& fault) {
        result.lineNumber = fault.line;
        result.error = fault.what();
    }
    return result;
}

}  // namespace tamsel
