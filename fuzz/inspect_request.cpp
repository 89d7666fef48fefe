// Request inspection over raw bytes, as a send hands them over: the buffer
// is exactly the input, so a read past its end is caught.
#include <cstdint>
#include <cstring>
#include <memory>

#include "fuzz/fuzz_input.h"
#include "intercept/inspect.h"
#include "patterns/pattern_list.h"

namespace {

std::unique_ptr<tamsel::PatternList> Parse(const char* text) {
    tamsel::ListLoadResult loaded = tamsel::ParsePatternListText(text, "fuzz");
    if (!loaded) tamsel::fuzz::Fail("the harness's own list failed to load");
    return std::move(*loaded);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const auto trust = Parse("ok.example.org\n~ads.example.org/ok\n");
    static const auto block = Parse("ads.example.org\n*.tracker.*:8080/pixel\n/ads/\n");
    static const tamsel::ListSet lists{trust.get(), block.get(), nullptr};
    if (size > INT32_MAX) return 0;
    const auto buffer = std::make_unique<char[]>(size);
    std::memcpy(buffer.get(), data, size);
    tamsel::RequestUrl parsed;
    const auto judgement = tamsel::InspectRequestWith(buffer.get(), static_cast<int32_t>(size), lists, &parsed);
    if (judgement.verdict != tamsel::Verdict::Passed) {
        if (!parsed.host) tamsel::fuzz::Fail("a request without a host was judged");
        if (judgement.entry == nullptr) tamsel::fuzz::Fail("a verdict names no deciding line");
    }
    // The classification finds a head where the method test does, and the
    // walk that starts at the head it found judges as the walk that finds
    // the head itself.
    const bool head = tamsel::LooksLikeRequestHead(buffer.get(), static_cast<int32_t>(size));
    const tamsel::OutgoingBuffer outgoing = tamsel::ClassifyOutgoing(buffer.get(), size);
    if (head != (outgoing.kind == tamsel::OutgoingKind::RequestHead)) tamsel::fuzz::Fail("the two head tests disagree");
    if (head) {
        const auto walked = tamsel::InspectStreamWith(buffer.get(), size, 0, lists);
        if (walked.verdict != judgement.verdict || walked.entry != judgement.entry) {
            tamsel::fuzz::Fail("the classified head and the walk disagree");
        }
    }
    // The same bytes as the rest of a connection, after a body of the length
    // the first byte says: the trail of a body must lie past the head that
    // announced it.
    const uint64_t bodyLeft = size > 0 ? static_cast<unsigned char>(data[0]) : 0;
    tamsel::BodyTrail trail;
    tamsel::InspectStreamWith(buffer.get(), size, bodyLeft, lists, &trail);
    if (trail.bodyEnd < trail.bodyStart) tamsel::fuzz::Fail("a body ends before it starts");
    if (trail.bodyEnd != 0 && trail.bodyEnd < size) tamsel::fuzz::Fail("a body within the buffer was left pending");
    return 0;
}
