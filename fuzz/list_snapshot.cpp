// Snapshots of loaded lists: the input is a number of byte changes (first
// byte, low four bits; then five bytes each: offset, value) and a list file.
// The list's snapshot, changed at those offsets and given a valid checksum,
// must be refused or read into a list that answers requests without fault;
// an unchanged snapshot must decide every request as the parsed list does.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "patterns/list_snapshot.h"
#include "patterns/matcher.h"
#include "support/list_set.h"
#include "support/string_storage.h"

namespace {

using tamsel::fuzz::Fail;

constexpr size_t kHeaderBytes = 40;

// Requests made from the list's own lines, so that they reach its entries.
std::vector<std::string> RequestsFor(const tamsel::PatternList& list) {
    std::vector<std::string> urls = {"http://a.example/", "http://ads.example:8080/x/banner.gif?1"};
    const size_t n = std::min<size_t>(list.entries.size(), 8);
    for (size_t i = 0; i < n; ++i) {
        std::string host = std::string(list.Host(list.entries[i]));
        std::replace(host.begin(), host.end(), '*', 'w');
        urls.push_back("http://" + (host.empty() ? "any.example" : host) +
                       std::string(list.Path(list.entries[i]).value_or("/")));
    }
    return urls;
}

const tamsel::PatternEntry* Decide(const std::string& url, const tamsel::PatternList& list) {
    tamsel::RequestUrl request;
    tamsel::ParseRequestUrl(url.c_str(), nullptr, &request);
    return tamsel::testing::DecidingEntry(&list, request);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const size_t changes = data[0] & 15;
    if (size < 1 + changes * 5) return 0;
    const std::string text(reinterpret_cast<const char*>(data) + 1 + changes * 5, size - 1 - changes * 5);
    const tamsel::ListLoadResult loaded = tamsel::ParsePatternListText(text, "fuzz");
    if (!loaded) return 0;
    const auto& parsed = *loaded;
    const tamsel::ListTextKey key = tamsel::ListTextKey::Of(text);
    std::string payload = tamsel::ListSnapshotBytes(*parsed, key).substr(kHeaderBytes);
    for (size_t c = 0; c < changes && !payload.empty(); ++c) {
        uint32_t offset = 0;
        std::memcpy(&offset, data + 1 + c * 5, sizeof offset);
        payload[offset % payload.size()] = static_cast<char>(data[1 + c * 5 + 4]);
    }
    const auto restored = tamsel::ListFromSnapshot(
        std::make_unique<tamsel::testing::StringStorage>(tamsel::SealedSnapshot(payload, key)), key, "fuzz");
    if (changes == 0 && !restored) Fail("an unchanged snapshot was refused");
    if (!restored) return 0;
    for (const std::string& url : RequestsFor(*parsed)) {
        const tamsel::PatternEntry* mine = Decide(url, *restored);
        if (changes != 0) continue;
        const tamsel::PatternEntry* theirs = Decide(url, *parsed);
        const int a = mine ? restored->LineNumber(*mine) : 0;
        const int b = theirs ? parsed->LineNumber(*theirs) : 0;
        if (a != b)
            Fail("the restored list decides " + url + " by line " + std::to_string(a) + ", the parsed one by " +
                 std::to_string(b));
    }
    return 0;
}
