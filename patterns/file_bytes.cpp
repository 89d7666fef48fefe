#include "patterns/file_bytes.h"

#include <cstring>
#include <new>

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

Result<std::string> ReadFileBytes(const std::string& path) {
    Result<ByteBuffer> bytes = ReadFileBuffer(path);
    if (!bytes) return bytes.failure();
    return std::string(bytes->view());
}

std::string ReadErrorText(int error) {
    if (error == kNotRegularFile) return "not a regular file";
    return std::strerror(error);
}

Failure ReadFailure(int error) { return Failure{ReadErrorText(error), error}; }

}  // namespace tamsel
