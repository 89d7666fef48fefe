#include "patterns/host_labels.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "patterns/text.h"
#include "support/exact_bytes.h"
#include "support/lcg.h"

namespace tamsel {
namespace {

// The labels as a plain reading gives them: lowered, up to the first NUL or
// LF, cut at dots, empty ones dropped.
std::vector<std::string> PlainLabels(const std::string& host) {
    std::vector<std::string> labels(1);
    for (const char c : host) {
        if (c == '\0' || c == '\n') break;
        if (c == '.') {
            labels.emplace_back();
        } else {
            labels.back().push_back(AsciiLower(c));
        }
    }
    std::erase(labels, std::string());
    return labels;
}

// Hosts of every length up to three words, of bytes that matter to the scan:
// dots (doubled, leading, trailing), both cases, bytes above 127, and now and
// then a NUL or LF that ends the host.
std::string RandomHost(testing::Lcg& pick) {
    static constexpr char kBytes[] = {'a', 'B', 'z', 'Z', '.', '.', '-', '0', '\xc9', '*', '@'};
    std::string host(pick(26), 'a');
    for (char& c : host) c = pick(40) == 0 ? (pick(2) ? '\0' : '\n') : kBytes[pick(sizeof kBytes)];
    return host;
}

TEST(HostLabels, EveryLengthCutsLowersAndHashesAsAPlainReading) {
    testing::Lcg pick(7);
    for (int round = 0; round < 20000; ++round) {
        const std::string text = RandomHost(pick);
        const testing::ExactBytes exact(text);
        const HostLabels host(exact.view());
        const std::vector<std::string> expected = PlainLabels(text);
        ASSERT_EQ(host.labels.size(), expected.size()) << ::testing::PrintToString(text);
        ASSERT_EQ(host.hashes.size(), expected.size());
        for (size_t i = 0; i < expected.size(); ++i) {
            ASSERT_EQ(host.labels[i], expected[i]) << ::testing::PrintToString(text);
            // The index files a pattern's label by HashHostLabel: a request's label must meet it.
            ASSERT_EQ(host.hashes[i], HashHostLabel(expected[i])) << ::testing::PrintToString(text);
        }
        const std::string upToEnd = text.substr(0, std::min(text.find('\0'), text.find('\n')));
        std::string lowered;
        for (const char c : upToEnd) lowered.push_back(AsciiLower(c));
        EXPECT_EQ(host.lowered, expected.empty() ? "" : lowered) << ::testing::PrintToString(text);
    }
}

TEST(HostLabels, HashesTellLabelsApartThatDifferOnlyPastAWord) {
    // The hash reads whole words and masks the rest: the length and every byte must count.
    EXPECT_NE(HashHostLabel("abcdefgh"), HashHostLabel("abcdefghi"));
    EXPECT_NE(HashHostLabel("abcdefghij"), HashHostLabel("abcdefghik"));
    EXPECT_NE(HashHostLabel("a"), HashHostLabel("a\xff"));
    EXPECT_EQ(HashHostLabel("AbCdEfGhIj"), HashHostLabel("abcdefghij"));
}

// A pattern label against a request label: equal, or equal up to a "*" in
// the pattern, which takes the rest.
bool PlainLabelMatches(const std::string& pattern, const std::string& request) {
    const size_t star = pattern.find('*');
    if (star == std::string::npos) return pattern == request;
    return request.compare(0, star, pattern, 0, star) == 0 && request.size() >= star;
}

// Patterns and hosts paired label by label from the right, as a plain reading does.
bool PlainCovers(const std::string& pattern, const std::string& host) {
    std::vector<std::string> wanted = PlainLabels(pattern);
    const std::vector<std::string> labels = PlainLabels(host);
    if (wanted.size() > labels.size()) return false;
    for (size_t i = 1; i <= wanted.size(); ++i) {
        if (!PlainLabelMatches(wanted[wanted.size() - i], labels[labels.size() - i])) return false;
    }
    return true;
}

TEST(MatchHostPattern, AgreesWithPairingLabelByLabel) {
    testing::Lcg pick(11);
    static constexpr const char* kLabels[] = {"a", "A", "ab", "b", "*", "a*", "ab*", "abcdefgh", "abcdefghi", ""};
    const auto join = [&](size_t count) {
        std::string text;
        for (size_t i = 0; i < count; ++i) text += std::string(i ? "." : "") + kLabels[pick(std::size(kLabels))];
        return text;
    };
    size_t covered = 0;
    for (int round = 0; round < 20000; ++round) {
        std::string host = join(1 + pick(4));
        std::erase(host, '*');
        const std::string pattern = join(pick(4));
        const bool expected = PlainCovers(pattern, host);
        covered += expected;
        ASSERT_EQ(MatchHostPattern(pattern, HostLabels(host)), expected) << pattern << " / " << host;
    }
    EXPECT_GT(covered, 2000u);  // both answers well represented
}

}  // namespace
}  // namespace tamsel
