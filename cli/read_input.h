// Reading what a command is given: a file, or standard input for "-".
#pragma once

#include <optional>
#include <string>

namespace tamsel::cli {

// All bytes of `file` ("-": standard input), or nullopt with the reason in
// `*error`.
std::optional<std::string> ReadInput(const std::string& file, std::string* error);

}  // namespace tamsel::cli
