// Reading what a command is given: a file, or standard input for "-".
#pragma once

#include <string>

#include "base/status.h"

namespace tamsel::cli {

// All bytes of `file` ("-": standard input), or why they cannot be had.
Result<std::string> ReadInput(const std::string& file);

}  // namespace tamsel::cli
