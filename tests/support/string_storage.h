// List storage of bytes held in a string: a snapshot as a test or a fuzz
// harness makes it, read in place as one read from a file would be.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "patterns/stored_array.h"

namespace tamsel::testing {

class StringStorage : public ListStorage {
public:
    explicit StringStorage(std::string bytes) : bytes_(std::move(bytes)) {}
    std::string_view bytes() const override { return bytes_; }

private:
    std::string bytes_;
};

}  // namespace tamsel::testing
