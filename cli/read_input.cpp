#include "cli/read_input.h"

#include <iostream>
#include <sstream>

#include "patterns/file_bytes.h"

namespace tamsel::cli {

std::optional<std::string> ReadInput(const std::string& file, std::string* error) {
    if (file == "-") {
        std::ostringstream all;
        all << std::cin.rdbuf();
        if (std::cin.bad()) {
            *error = "cannot read standard input";
            return std::nullopt;
        }
        return all.str();
    }
    int code = 0;
    auto bytes = ReadFileBytes(file, &code);
    if (!bytes) *error = "cannot read " + file + ": " + ReadErrorText(code);
    return bytes;
}

}  // namespace tamsel::cli
