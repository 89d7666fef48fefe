// Reading a whole file (a list, the settings file) as bytes.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tamsel {

// Bytes from the C heap, so that a buffer can shrink (or grow) in place
// rather than by copying, and needs no filling before it is read into.
class ByteBuffer {
public:
    ByteBuffer() = default;
    explicit ByteBuffer(std::string_view bytes);

    char* data() { return bytes_.get(); }
    const char* data() const { return bytes_.get(); }
    size_t size() const { return size_; }
    std::string_view view() const { return {bytes_.get(), size_}; }

    // Changes the size, keeping the first bytes; new bytes are not set.
    // Throws std::bad_alloc when the memory cannot be had.
    void Resize(size_t size);

private:
    struct Free {
        void operator()(char* p) const { std::free(p); }
    };
    std::unique_ptr<char, Free> bytes_;
    size_t size_ = 0;
};

// The file's bytes, read in binary mode so every platform sees the same
// bytes; nullopt when it cannot be opened or read, with the C library's
// error number in `*error` when given (ENOENT for a missing file).
std::optional<ByteBuffer> ReadFileBuffer(const std::string& path, int* error = nullptr);

// The same, as a string.
std::optional<std::string> ReadFileBytes(const std::string& path, int* error = nullptr);

}  // namespace tamsel
