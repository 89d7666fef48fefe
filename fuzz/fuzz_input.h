// Helpers the harnesses share: cutting one fuzz input into fields, and a
// regex compiled the plain way, as the reference the shortcuts answer to.
#pragma once

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

// regcomp/regexec with the flags list paths are compiled with, used directly.
class ReferenceRegex {
public:
    explicit ReferenceRegex(const std::string& expression)
        : ok_(regcomp(&re_, expression.c_str(), REG_EXTENDED | REG_ICASE | REG_NOSUB) == 0) {}
    ~ReferenceRegex() { regfree(&re_); }
    ReferenceRegex(const ReferenceRegex&) = delete;
    ReferenceRegex& operator=(const ReferenceRegex&) = delete;

    bool ok() const { return ok_; }
    bool Matches(const std::string& text) const { return regexec(&re_, text.c_str(), 0, nullptr, 0) == 0; }

private:
    regex_t re_{};
    bool ok_;
};

// Stops the run with a message a finding can be told by.
[[noreturn]] inline void Fail(const std::string& what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what.c_str());
    std::abort();
}

}  // namespace tamsel::fuzz
