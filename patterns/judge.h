// The verdict on one request against the three lists, in their fixed order:
// the user's trust list, then the user's block list, then the shipped one.
#pragma once

#include <cstdint>
#include <string_view>

#include "patterns/matcher.h"

namespace tamsel {

// The three lists one decision consults; any may be null. Whoever fills it
// keeps the lists alive for the length of the decision.
struct ListSet {
    const PatternList* trust = nullptr;
    const PatternList* userBlock = nullptr;
    const PatternList* shippedBlock = nullptr;
};

enum class Verdict { Passed, Trusted, Refused };

struct Judgement {
    Verdict verdict = Verdict::Passed;
    // The list and entry that decided a Trusted or Refused verdict; for a
    // pass, the first exception line that answered "no", if any.
    const PatternList* list = nullptr;
    const PatternEntry* entry = nullptr;
};

// Allocates nothing for hosts and paths within the inline bounds of
// HostLabels and LoweredPath.
Judgement JudgeRequest(const RequestView& request, const ListSet& lists);

// The port that stands for every port in JudgeWhollyRefused.
inline constexpr int32_t kAnyPort = 0;

// Whether every request to `host` on `port` (kAnyPort: on every port),
// whatever its path, is refused: the question the name lookup (any port) and
// the TLS server name (the connection's port) ask, since neither sees a
// path. Refused, with the block line that decides every such request, only
// when no trust line can match a request to that host and port (a trust line
// without a host matches every host; one with a path still trusts some
// requests), and the user block list or the shipped one holds a line
// without path, of that port or of none, that matches the host, with no
// exception line after it in that list that could match such a request.
// Anything less certain passes and is left to the request's own judgement.
Judgement JudgeWhollyRefused(std::string_view host, int32_t port, const ListSet& lists);

}  // namespace tamsel
