#include "intercept/lookup.h"

#include <string>

#include "intercept/inspect.h"
#include "intercept/refusal.h"
#include "intercept/tls_client_hello.h"

namespace tamsel {

bool IsNumericAddress(std::string_view name) {
    if (name.find(':') != std::string_view::npos) return true;  // IPv6, bracketed or not
    // No top-level domain starts with a digit, while every IPv4 form the
    // resolver accepts ("10.1", "0x7f.1", "2130706433") ends in a number.
    while (!name.empty() && name.back() == '.') name.remove_suffix(1);
    const size_t dot = name.rfind('.');
    const std::string_view last = dot == std::string_view::npos ? name : name.substr(dot + 1);
    return !last.empty() && last.front() >= '0' && last.front() <= '9';
}

Judgement InspectLookupWith(std::string_view name, const ListSet& lists) {
    if (name.empty() || name.size() > kMaxHostNameLength + 1 || IsNumericAddress(name)) return {};
    try {
        return JudgeWhollyRefused(name, kAnyPort, lists);
    } catch (...) {
        return {};  // fail open
    }
}

bool InspectLookup(const char* name) noexcept {
    if (name == nullptr) return false;
    return RefusedWithCurrentLists(kRefusedAtLookupStage, [name](const ListSet& lists, std::string* subject) {
        const Judgement judgement = InspectLookupWith(name, lists);
        if (judgement.verdict == Verdict::Refused) *subject = name;  // only a refusal is logged
        return judgement;
    });
}

}  // namespace tamsel
