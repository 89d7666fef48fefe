// A plain walk of a whole list, written apart from the matcher and its index:
// its own reading of the lines, its own host and port tests, and the regex
// engine on "^(path)" for every path. The matcher must give the same deciding
// line for every request; tests and the fuzz harness compare the two.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tamsel::testing {

struct ReferenceRequest {
    std::string host;  // as sent; empty: the request has no host
    int32_t port = 80;
    std::string path;
};

struct ReferenceAnswer {
    int32_t lineNumber = 0;  // 1-based line of the deciding line; 0 when none decides
    bool positive = false;   // whether that line is an ordinary (not exception) line

    bool operator==(const ReferenceAnswer&) const = default;
};

// The deciding line for each request. Lines are tried from the last one up,
// so one compiled expression at a time serves every request still open.
// Returns false when a path of the list does not compile.
bool ReferenceDecideAll(std::string_view listText, const std::vector<ReferenceRequest>& requests,
                        std::vector<ReferenceAnswer>* answers);

}  // namespace tamsel::testing
