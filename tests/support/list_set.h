// Three lists parsed from text, owned together, for tests that judge
// against all three at once.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "patterns/judge.h"

namespace tamsel::testing {

struct OwnedLists {
    std::unique_ptr<PatternList> trust, userBlock, shippedBlock;
    ListSet view() const { return {trust.get(), userBlock.get(), shippedBlock.get()}; }
};

inline OwnedLists MakeLists(const std::string& trust, const std::string& userBlock, const std::string& shippedBlock) {
    auto parse = [](const std::string& text) { return ParsePatternListText(text, "list.txt").value(); };
    return {parse(trust), parse(userBlock), parse(shippedBlock)};
}

// The parts of an owned record, as views into it.
inline RequestView ViewOf(const RequestUrl& url) {
    const auto view = [](const std::optional<std::string>& text) -> std::optional<std::string_view> {
        if (!text) return std::nullopt;
        return std::string_view(*text);
    };
    return {view(url.method), view(url.host), url.port, view(url.path), view(url.version), view(url.hostport)};
}

// Whether `list`, asked as the user's block list with no other list beside
// it, refuses the request: what the product's judgement says of one list.
inline bool Refuses(const PatternList* list, const RequestUrl& request) {
    return JudgeRequest(ViewOf(request), {nullptr, list, nullptr}).verdict == Verdict::Refused;
}

// The line of `list` that decides the request, ordinary or exception, or null
// when none does: asked the same way, as the judgement reports it.
inline const PatternEntry* DecidingEntry(const PatternList* list, const RequestUrl& request) {
    return JudgeRequest(ViewOf(request), {nullptr, list, nullptr}).entry;
}

}  // namespace tamsel::testing
