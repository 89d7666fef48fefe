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
    Result<std::string> bytes = ReadFileBytes(file);
    if (!bytes) return Failure{"cannot read " + file + ": " + bytes.message()};
    return std::move(*bytes);
}

}  // namespace tamsel::cli
