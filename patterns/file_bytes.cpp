#include "patterns/file_bytes.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "base/unique_any.h"

namespace tamsel {

ByteBuffer::ByteBuffer(std::string_view bytes) {
    Resize(bytes.size());
    if (!bytes.empty()) std::memcpy(data(), bytes.data(), bytes.size());
}

void ByteBuffer::Resize(size_t size) {
    if (size == 0) {
        bytes_.reset();
    } else {
        void* moved = std::realloc(bytes_.get(), size);
        if (moved == nullptr) throw std::bad_alloc();
        static_cast<void>(bytes_.release());
        bytes_.reset(static_cast<char*>(moved));
    }
    size_ = size;
}

namespace {

// The file's size as far as seeking tells it; 0 when it cannot (a pipe).
// Only a hint, and not believed past 1 GiB: a folder, say, tells a size
// that is no size at all. A larger file is still read, in steps.
size_t SizeHint(std::FILE* file) {
    constexpr long kBelievable = 1L << 30;
    if (std::fseek(file, 0, SEEK_END) != 0) return 0;
    const long size = std::ftell(file);
    std::rewind(file);
    return size > 0 && size <= kBelievable ? static_cast<size_t>(size) : 0;
}

}  // namespace

std::optional<ByteBuffer> ReadFileBuffer(const std::string& path, int* error) {
    const auto fail = [error](int code) -> std::optional<ByteBuffer> {
        if (error != nullptr) *error = code;
        return std::nullopt;
    };
    const UniqueAny<std::FILE*, &std::fclose> file(std::fopen(path.c_str(), "rb"));
    if (!file) return fail(errno);
    // One read of the size the file has now, then whatever it grew by.
    ByteBuffer bytes;
    bytes.Resize(SizeHint(file.get()) + 1);
    size_t filled = 0;
    size_t n;
    while ((n = std::fread(bytes.data() + filled, 1, bytes.size() - filled, file.get())) > 0) {
        filled += n;
        if (filled == bytes.size()) bytes.Resize(bytes.size() * 2);
    }
    if (std::ferror(file.get()) != 0) return fail(errno != 0 ? errno : EIO);
    bytes.Resize(filled);
    return bytes;
}

std::optional<std::string> ReadFileBytes(const std::string& path, int* error) {
    std::optional<ByteBuffer> bytes = ReadFileBuffer(path, error);
    if (!bytes) return std::nullopt;
    return std::string(bytes->view());
}

}  // namespace tamsel
