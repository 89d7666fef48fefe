// List loading, then matching: the input is a list file, and the requests
// asked of it are made from its own lines, so they reach its entries, some
// of them as long paths. With TAMSEL_FUZZ_REQUEST_MS set, a request that
// takes more processor time than that many milliseconds is a finding.
#include <time.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_input.h"
#include "patterns/judge.h"
#include "patterns/pattern_list.h"
#include "support/list_set.h"

namespace {

using tamsel::fuzz::Fail;

// A request line for an entry: wildcards made plain, the path taken as text.
std::string RequestFor(const tamsel::PatternList& list, const tamsel::PatternEntry& entry) {
    std::string host = entry.hostLength == 0 ? "any.example" : std::string(list.Host(entry));
    std::replace(host.begin(), host.end(), '*', 'w');
    const std::string port = list.Port(entry) != 0 ? ":" + std::to_string(list.Port(entry)) : "";
    return "GET http://" + host + port + std::string(list.Path(entry).value_or("/")) + " HTTP/1.1";
}

double ThreadMilliseconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

void Ask(const std::string& line, const tamsel::PatternList* list) {
    static const char* const bound = std::getenv("TAMSEL_FUZZ_REQUEST_MS");
    const double start = ThreadMilliseconds();
    tamsel::RequestUrl url;
    tamsel::ParseRequestUrl(line.c_str(), nullptr, &url);
    const tamsel::PatternEntry* entry = tamsel::testing::DecidingEntry(list, url);
    const bool refused = entry != nullptr && entry->positive;
    const tamsel::Verdict verdict =
        tamsel::JudgeRequest(tamsel::testing::ViewOf(url), {nullptr, list, nullptr}).verdict;
    if (refused != (verdict == tamsel::Verdict::Refused)) Fail("the entry and the judgement disagree on " + line);
    if (bound != nullptr && ThreadMilliseconds() - start > std::atof(bound)) {
        Fail("a request took longer than " + std::string(bound) + " ms: " + line.substr(0, 200));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const tamsel::ListLoadResult result = tamsel::ParsePatternListText(text, "fuzz");
    if (!result.ok()) {
        if (result.message().empty()) Fail("a failed load says no reason");
        return 0;
    }
    const tamsel::PatternList* list = result.value().get();
    for (const auto& entry : list->entries) {
        const std::string_view text = list->Text(entry);
        if (text.empty() || text.size() > tamsel::kMaxPieceLength) Fail("an entry of no text or too much");
        if (list->Host(entry).find_first_of(":/") != std::string_view::npos) Fail("a host holding a port or path");
        if (list->Path(entry) && !list->Path(entry)->starts_with('/')) Fail("a path that does not start at its slash");
    }
    const size_t asked = std::min<size_t>(list->entries.size(), 8);
    for (size_t i = 0; i < asked; ++i) {
        const std::string request = RequestFor(*list, list->entries[i]);
        Ask(request, list);
        if (i >= 4) continue;
        // The entry's own text again and again makes a long path near its matches.
        const std::string path(list->Path(list->entries[i]).value_or("/"));
        std::string longer = request.substr(0, request.rfind(' '));
        while (longer.size() < 4000) longer += path;
        Ask(longer + " HTTP/1.1", list);
    }
    const auto lines = tamsel::fuzz::SplitFields(data, size, '\n');
    for (size_t i = 0; i < std::min<size_t>(lines.size(), 8); ++i) Ask("GET http://" + lines[i] + " HTTP/1.1", list);
    return 0;
}
