#include "cli/read_input.h"

#include <iostream>
#include <sstream>

#include "patterns/file_bytes.h"

namespace tamsel::cli {

Result<std::string> ReadInput(const std::string& file) {
    if (file == "-") {
        std::ostringstream all;
        all << std::cin.rdbuf();
        if (std::cin.bad()) return Failure{"cannot read standard input"};
        return all.str();
    }
    int code = 0;
    std::optional<std::string> bytes = ReadFileBytes(file, &code);
    if (!bytes) return Failure{"cannot read " + file + ": " + ReadErrorText(code)};
    return std::move(*bytes);
}

}  // namespace tamsel::cli
