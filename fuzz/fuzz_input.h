// Helpers the harnesses share: cutting one fuzz input into fields, and a
// regex compiled the plain way, as the reference the shortcuts answer to.
#pragma once

#include <locale.h>
#include <regex.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace tamsel::fuzz {

// The input as text, cut at every `separator`; empty fields are kept.
inline std::vector<std::string> SplitFields(const uint8_t* data, size_t size, char separator) {
    std::vector<std::string> fields(1);
    for (size_t i = 0; i < size; ++i) {
        if (static_cast<char>(data[i]) == separator) {
            fields.emplace_back();
        } else {
            fields.back().push_back(static_cast<char>(data[i]));
        }
    }
    return fields;
}

inline std::string LowerAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

// The C locale for the calling thread while it lives, whatever the program chose.
class InCLocale {
public:
    InCLocale() : previous_(uselocale(CLocale())) {}
    ~InCLocale() { uselocale(previous_); }
    InCLocale(const InCLocale&) = delete;
    InCLocale& operator=(const InCLocale&) = delete;

private:
    static locale_t CLocale() {
        static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
        return c;
    }
    locale_t previous_;
};

// regcomp/regexec with the flags list paths are compiled with, used
// directly, compiled and run in the C locale: the reference paths are
// matched against.
class ReferenceRegex {
public:
    explicit ReferenceRegex(const std::string& expression) {
        const InCLocale c;
        ok_ = regcomp(&re_, expression.c_str(), REG_EXTENDED | REG_ICASE | REG_NOSUB) == 0;
    }
    ~ReferenceRegex() { regfree(&re_); }
    ReferenceRegex(const ReferenceRegex&) = delete;
    ReferenceRegex& operator=(const ReferenceRegex&) = delete;

    bool ok() const { return ok_; }
    bool Matches(const std::string& text) const {
        const InCLocale c;
        return regexec(&re_, text.c_str(), 0, nullptr, 0) == 0;
    }

private:
    regex_t re_{};
    bool ok_ = false;
};

// Stops the run with a message a finding can be told by.
[[noreturn]] inline void Fail(const std::string& what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what.c_str());
    std::abort();
}

}  // namespace tamsel::fuzz
