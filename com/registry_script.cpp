#include "com/registry_script.h"

#include <algorithm>
#include <cctype>
#include <string>

#include "base/status.h"

namespace tamsel {

namespace {

// Blocks nest no deeper than this: the module's own script needs four, and
// the registry itself allows no key path much deeper.
constexpr int kMaxBlockDepth = 64;

struct Token {
    enum Kind { End, Open, Close, Equals, Word } kind = End;
    std::string text;  // the word, quotes taken off, replacements made
    bool quoted = false;
    int32_t line = 1;
};

// Where the first fault in the script text was found; its words travel as
// the Failure that every step hands back up to the parser's edge.
struct FaultLine {
    int32_t line = 0;
    Failure At(int32_t where, std::string message) {
        line = where;
        return Failure{std::move(message)};
    }
};

bool IsWordChar(char c) {
    return !std::isspace(static_cast<unsigned char>(c)) && c != '{' && c != '}' && c != '=' && c != '\'';
}

bool SameWord(const std::string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size() && b[i] != '\0'; ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return i == a.size() && b[i] == '\0';
}

class Lexer {
public:
    Lexer(const std::string& text, const ScriptReplacements& replacements, FaultLine& fault)
        : text_(text), replacements_(replacements), fault_(fault) {}

    Result<Token> Next() {
        SkipSpace();
        Token t;
        t.line = line_;
        if (pos_ >= text_.size()) return t;
        const char c = text_[pos_];
        if (c == '{' && StartsBracedWord()) {
            t.kind = Token::Word;
            return Replaced(Braced(), std::move(t));
        }
        if (c == '{' || c == '}' || c == '=') {
            ++pos_;
            t.kind = c == '{' ? Token::Open : c == '}' ? Token::Close : Token::Equals;
            return t;
        }
        t.kind = Token::Word;
        t.quoted = c == '\'';
        return Replaced(t.quoted ? Quoted() : Result<std::string>(Bare()), std::move(t));
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
    bool StartsBracedWord() const { return pos_ + 1 < text_.size() && IsWordChar(text_[pos_ + 1]); }

    Result<std::string> Braced() {
        const size_t close = text_.find('}', pos_);
        if (close == std::string::npos) return fault_.At(line_, "a name in braces without its closing brace");
        std::string word = text_.substr(pos_, close + 1 - pos_);
        if (!std::all_of(word.begin() + 1, word.end() - 1, IsWordChar)) {
            return fault_.At(line_, "white space or a quote inside a name in braces");
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
    Result<std::string> Quoted() {
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
        return fault_.At(startLine, "quoted text without its closing quote");
    }

    // The word `raw` into `t`, with its replacements made.
    Result<Token> Replaced(const Result<std::string>& raw, Token t) const {
        if (!raw) return Failure{raw.message()};
        Result<std::string> text = Replace(*raw, t.line);
        if (!text) return Failure{text.message()};
        t.text = std::move(*text);
        return t;
    }

    Result<std::string> Replace(const std::string& raw, int32_t line) const {
        std::string out;
        for (size_t i = 0; i < raw.size(); ++i) {
            if (raw[i] != '%') {
                out += raw[i];
                continue;
            }
            const size_t end = raw.find('%', i + 1);
            if (end == std::string::npos) return fault_.At(line, "a lone '%' in \"" + raw + "\"");
            const std::string name = raw.substr(i + 1, end - i - 1);
            if (name.empty()) {
                out += '%';
            } else {
                const auto found = replacements_.find(name);
                if (found == replacements_.end()) return fault_.At(line, "no replacement for %" + name + "%");
                out += found->second;
            }
            i = end;
        }
        return out;
    }

    const std::string& text_;
    const ScriptReplacements& replacements_;
    FaultLine& fault_;
    size_t pos_ = 0;
    int32_t line_ = 1;
};

class Parser {
public:
    Parser(const std::string& text, const ScriptReplacements& replacements) : lexer_(text, replacements, fault_) {}

    // The line of the first fault, once Script() has failed.
    int32_t FaultLineNumber() const { return fault_.line; }

    Result<RegistryScript> Script() {
        if (Status first = Advance(); !first.ok()) return Failure{first.message()};
        RegistryScript script;
        while (current_.kind != Token::End) {
            Result<Token> rootWord = Expect(Token::Word, "a root key");
            if (!rootWord) return Failure{rootWord.message()};
            Result<RegistryRoot> root = Root(*rootWord);
            if (!root) return Failure{root.message()};
            Result<Token> open = Expect(Token::Open, "'{' after the root key");
            if (!open) return Failure{open.message()};
            Result<std::vector<ScriptKey>> keys = KeyList(nullptr, 1);
            if (!keys) return Failure{keys.message()};
            script.roots.push_back({*root, std::move(*keys)});
        }
        return script;
    }

private:
    Status Advance() {
        Result<Token> next = lexer_.Next();
        if (!next) return next.status();
        current_ = std::move(*next);
        return {};
    }

    Result<Token> Expect(Token::Kind kind, const char* what) {
        if (current_.kind != kind) return fault_.At(current_.line, std::string("expected ") + what);
        Token t = std::move(current_);
        if (Status next = Advance(); !next.ok()) return Failure{next.message()};
        return t;
    }

    bool IsKeyword(const char* word) const {
        return current_.kind == Token::Word && !current_.quoted && SameWord(current_.text, word);
    }

    Result<RegistryRoot> Root(const Token& t) {
        const std::string& w = t.text;
        if (SameWord(w, "HKCR") || SameWord(w, "HKEY_CLASSES_ROOT")) return RegistryRoot::ClassesRoot;
        if (SameWord(w, "HKCU") || SameWord(w, "HKEY_CURRENT_USER")) return RegistryRoot::CurrentUser;
        if (SameWord(w, "HKLM") || SameWord(w, "HKEY_LOCAL_MACHINE")) return RegistryRoot::LocalMachine;
        if (SameWord(w, "HKU") || SameWord(w, "HKEY_USERS")) return RegistryRoot::Users;
        return fault_.At(t.line, "unknown root key \"" + w + "\"");
    }

    // "= s 'text'": only string values exist in this script form.
    Result<std::string> StringValue() {
        if (Result<Token> equals = Expect(Token::Equals, "'='"); !equals) return Failure{equals.message()};
        if (!IsKeyword("s")) return fault_.At(current_.line, "expected the value type s");
        if (Status next = Advance(); !next.ok()) return Failure{next.message()};
        Result<Token> text = Expect(Token::Word, "the value's text");
        if (!text) return Failure{text.message()};
        return std::move(text->text);
    }

    // A named value ("val NAME = s 'text'") of `owner`, the key whose block
    // holds it; null for a root block, which holds none.
    Status NamedValue(ScriptKey* owner) {
        if (owner == nullptr) return fault_.At(current_.line, "a value directly under a root key");
        if (Status next = Advance(); !next.ok()) return next;
        Result<Token> name = Expect(Token::Word, "the value's name");
        if (!name) return name.status();
        Result<std::string> data = StringValue();
        if (!data) return data.status();
        owner->values.push_back({std::move(name->text), std::move(*data)});
        return {};
    }

    // The items of one block, up to and including its '}'. `owner` is the
    // key the block belongs to, null for a root block; `depth` counts the
    // blocks open, this one included.
    Result<std::vector<ScriptKey>> KeyList(ScriptKey* owner, int depth) {
        if (depth > kMaxBlockDepth) {
            return fault_.At(current_.line, "blocks nested deeper than " + std::to_string(kMaxBlockDepth));
        }
        std::vector<ScriptKey> keys;
        while (current_.kind != Token::Close) {
            if (IsKeyword("val")) {
                if (Status value = NamedValue(owner); !value.ok()) return Failure{value.message()};
                continue;
            }
            Result<ScriptKey> key = Key(depth);
            if (!key) return Failure{key.message()};
            keys.push_back(std::move(*key));
        }
        if (Status next = Advance(); !next.ok()) return Failure{next.message()};
        return keys;
    }

    Result<ScriptKey> Key(int depth) {
        ScriptKey key;
        if (IsKeyword("ForceRemove") || IsKeyword("NoRemove")) {
            key.mark = IsKeyword("NoRemove") ? KeyMark::NoRemove : KeyMark::ForceRemove;
            if (Status next = Advance(); !next.ok()) return Failure{next.message()};
        }
        Result<Token> name = Expect(Token::Word, "a key name");
        if (!name) return Failure{name.message()};
        if (name->text.empty()) return fault_.At(current_.line, "an empty key name");
        key.name = std::move(name->text);
        if (current_.kind == Token::Equals) {
            Result<std::string> data = StringValue();
            if (!data) return Failure{data.message()};
            key.values.push_back({"", std::move(*data)});
        }
        if (current_.kind == Token::Open) {
            if (Status next = Advance(); !next.ok()) return Failure{next.message()};
            Result<std::vector<ScriptKey>> subkeys = KeyList(&key, depth + 1);
            if (!subkeys) return Failure{subkeys.message()};
            key.subkeys = std::move(*subkeys);
        }
        return key;
    }

    FaultLine fault_;
    Lexer lexer_;
    Token current_;
};

}  // namespace

ScriptParseResult ParseRegistryScript(const std::string& text, const ScriptReplacements& replacements) {
    ScriptParseResult result;
    Parser parser(text, replacements);
    Result<RegistryScript> script = parser.Script();
    if (script) {
        result.script = std::move(*script);
    } else {
        result.lineNumber = parser.FaultLineNumber();
        result.error = script.message();
    }
    return result;
}

}  // namespace tamsel
