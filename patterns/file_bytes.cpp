#include "patterns/file_bytes.h"

#include <cerrno>
#include <cstdio>

#include "base/unique_any.h"

namespace tamsel {

namespace {

// The file's size as far as seeking tells it; 0 when it cannot (a pipe).
size_t SizeHint(std::FILE* file) {
    if (std::fseek(file, 0, SEEK_END) != 0) return 0;
    const long size = std::ftell(file);
    std::rewind(file);
    return size > 0 ? static_cast<size_t>(size) : 0;
}

}  // namespace

std::optional<std::string> ReadFileBytes(const std::string& path, int* error) {
    const auto fail = [error](int code) -> std::optional<std::string> {
        if (error != nullptr) *error = code;
        return std::nullopt;
    };
    const UniqueAny<std::FILE*, &std::fclose> file(std::fopen(path.c_str(), "rb"));
    if (!file) return fail(errno);
    // One read of the size the file has now, then whatever it grew by.
    std::string bytes(SizeHint(file.get()), '\0');
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file.get()));
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) bytes.append(chunk, n);
    if (std::ferror(file.get()) != 0) return fail(errno != 0 ? errno : EIO);
    return bytes;
}

}  // namespace tamsel
