#include "patterns/file_bytes.h"

#include <cerrno>
#include <cstdio>

#include "base/unique_any.h"

namespace tamsel {

std::optional<std::string> ReadFileBytes(const std::string& path, int* error) {
    const auto fail = [error](int code) -> std::optional<std::string> {
        if (error != nullptr) *error = code;
        return std::nullopt;
    };
    const UniqueAny<std::FILE*, &std::fclose> file(std::fopen(path.c_str(), "rb"));
    if (!file) return fail(errno);
    std::string bytes;
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) bytes.append(chunk, n);
    if (std::ferror(file.get()) != 0) return fail(errno != 0 ? errno : EIO);
    return bytes;
}

}  // namespace tamsel
