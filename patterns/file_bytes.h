// Reading a whole file (a list, the settings file, a snapshot) as bytes.
#pragma once

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "base/status.h"

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

// The largest file read: 128 MiB, some forty times a list of 100,000 lines
// and its snapshot. A larger file is refused (EFBIG) rather than read until
// memory runs out.
inline constexpr uint64_t kMaxFileBytes = uint64_t{128} << 20;

// The error for a path that names something other than a regular file or a
// folder (a FIFO, a device, a socket): such a file may never end, or never
// answer, so it is not opened for reading at all.
inline constexpr int kNotRegularFile = -1;

// The file's bytes, read in binary mode so every platform sees the same
// bytes, or why it cannot be opened or read: a ReadFailure, whose error
// number is the C library's (ENOENT for a missing file, EISDIR for a folder,
// EFBIG past kMaxFileBytes) or kNotRegularFile. Only a regular file is read,
// and opening it never waits.
Result<ByteBuffer> ReadFileBuffer(const std::string& path);

// The same, as a string.
Result<std::string> ReadFileBytes(const std::string& path);

// What an error number from the readers above means, for a person.
std::string ReadErrorText(int error);

// The readers' failure for an error number: its text, and the number itself.
Failure ReadFailure(int error);

// For the platform's ReadFileBuffer: reads a file opened for reading that
// claimed `claimed` bytes, through `read(into, n)` (the bytes read, 0 at
// the end, negative on failure with the error in errno). The file may grow
// or shrink meanwhile; it is read to its end, never past kMaxFileBytes.
template <class Read>
Result<ByteBuffer> ReadBounded(uint64_t claimed, Read read) {
    if (claimed > kMaxFileBytes) return ReadFailure(EFBIG);
    // One read of the size the file has now, then whatever it grew by; the
    // byte beyond is where a grown file shows itself.
    ByteBuffer bytes;
    bytes.Resize(static_cast<size_t>(claimed) + 1);
    size_t filled = 0;
    for (;;) {
        const long long n = read(bytes.data() + filled, bytes.size() - filled);
        if (n < 0) return ReadFailure(errno != 0 ? errno : EIO);
        if (n == 0) break;
        filled += static_cast<size_t>(n);
        if (filled > kMaxFileBytes) return ReadFailure(EFBIG);
        if (filled == bytes.size()) bytes.Resize(std::min<size_t>(bytes.size() * 2, kMaxFileBytes + 1));
    }
    bytes.Resize(filled);
    return bytes;
}

}  // namespace tamsel
