// A copy of a text in a block of exactly its size and nothing after it, so
// that a read past the text is caught (under the address sanitizer) instead
// of reading whatever happens to follow it.
#pragma once

#include <cstring>
#include <memory>
#include <string_view>

namespace tamsel::testing {

struct ExactBytes {
    explicit ExactBytes(std::string_view text) : bytes(new char[text.size()]), size(text.size()) {
        std::memcpy(bytes.get(), text.data(), text.size());
    }
    std::string_view view() const { return {bytes.get(), size}; }
    std::unique_ptr<char[]> bytes;
    size_t size;
};

}  // namespace tamsel::testing
