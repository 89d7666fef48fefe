#include "intercept/tls_client_hello.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "client_hello_fixtures.h"

namespace tamsel {
namespace {

using Buffer = std::vector<unsigned char>;

Buffer Of(const std::string& bytes) { return Buffer(bytes.begin(), bytes.end()); }

// Parses a heap copy of exactly `length` bytes, so that a read past the end
// is caught by the address sanitizer.
std::optional<std::string> NameIn(const Buffer& bytes, size_t length) {
    const Buffer exact(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length));
    const auto name = FindServerName(exact.data(), exact.size());
    return name ? std::optional<std::string>(std::string(*name)) : std::nullopt;
}
std::optional<std::string> NameIn(const Buffer& bytes) { return NameIn(bytes, bytes.size()); }

void Put(Buffer& out, uint32_t value, int width) {
    for (int i = width - 1; i >= 0; --i) out.push_back(static_cast<unsigned char>(value >> (8 * i)));
}
Buffer WithLength(const Buffer& body, int width) {
    Buffer out;
    Put(out, static_cast<uint32_t>(body.size()), width);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}
Buffer Cat(std::initializer_list<Buffer> parts) {
    Buffer out;
    for (const Buffer& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}
Buffer Extension(uint16_t type, const Buffer& body) {
    Buffer out;
    Put(out, type, 2);
    return Cat({out, WithLength(body, 2)});
}
Buffer ServerNames(std::initializer_list<std::pair<uint8_t, std::string>> names) {
    Buffer list;
    for (const auto& [type, name] : names) list = Cat({list, Buffer{type}, WithLength(Of(name), 2)});
    return Extension(0, WithLength(list, 2));
}
// A ClientHello handshake message with the given extensions, in a record.
Buffer Hello(const Buffer& extensions) {
    const Buffer random(32, 0xab);
    const Buffer body = Cat({Buffer{3, 3}, random, WithLength(Buffer(32, 1), 1), WithLength(Buffer{0x13, 0x01}, 2),
                             WithLength(Buffer{0}, 1), WithLength(extensions, 2)});
    const Buffer message = Cat({Buffer{1}, WithLength(body, 3)});
    return Cat({Buffer{0x16, 3, 1}, WithLength(message, 2)});
}

TEST(FindServerName, RecordedClientHellos) {
    EXPECT_EQ(NameIn(Of(fixtures::kHelloAdsExample)), "ads.example");
    EXPECT_EQ(NameIn(Of(fixtures::kHelloTls12Www)), "www.news.test");
    EXPECT_EQ(NameIn(Of(fixtures::kHelloWithoutName)), std::nullopt);
    // Bytes after the record (the next record of the same write) change nothing.
    EXPECT_EQ(NameIn(Of(fixtures::kHelloAdsExample + "\x17\x03\x03\x00\x01x")), "ads.example");
}

TEST(FindServerName, EveryTruncationPassesWithoutReadingPastTheEnd) {
    for (const std::string* hello : {&fixtures::kHelloAdsExample, &fixtures::kHelloTls12Www}) {
        const Buffer bytes = Of(*hello);
        for (size_t length = 0; length < bytes.size(); ++length) {
            EXPECT_EQ(NameIn(bytes, length), std::nullopt) << length;
        }
    }
    EXPECT_EQ(FindServerName(nullptr, 10), std::nullopt);
}

// Lengths that point past their container must never be followed, whatever
// byte is damaged; a name, when one is still found, lies inside the buffer.
TEST(FindServerName, DamagedBytesNeverLeadOutOfTheBuffer) {
    const Buffer original = Of(fixtures::kHelloAdsExample);
    for (size_t at = 0; at < original.size(); ++at) {
        for (const unsigned char value : {0x00, 0x01, 0x7f, 0xff}) {
            Buffer damaged = original;
            damaged[at] = value;
            const auto name = FindServerName(damaged.data(), damaged.size());
            if (!name) continue;
            const auto* begin = reinterpret_cast<const unsigned char*>(name->data());
            EXPECT_TRUE(begin >= damaged.data() && begin + name->size() <= damaged.data() + damaged.size()) << at;
        }
    }
}

TEST(FindServerName, ExtensionsAndNamesInAnyOrder) {
    const Buffer other = Extension(10, Buffer{0, 2, 0, 0x1d});
    EXPECT_EQ(NameIn(Hello(Cat({other, ServerNames({{0, "b.x"}})}))), "b.x");
    EXPECT_EQ(NameIn(Hello(Cat({ServerNames({{7, "odd"}, {0, "a.b.x"}}), other}))), "a.b.x");
    EXPECT_EQ(NameIn(Hello(other)), std::nullopt);
    EXPECT_EQ(NameIn(Hello({})), std::nullopt);
    EXPECT_EQ(NameIn(Hello(ServerNames({{7, "odd"}}))), std::nullopt);
}

TEST(FindServerName, NamesNoHostCouldHavePass) {
    EXPECT_EQ(NameIn(Hello(ServerNames({{0, std::string(253, 'a')}}))), std::string(253, 'a'));
    EXPECT_EQ(NameIn(Hello(ServerNames({{0, std::string(254, 'a')}}))), std::nullopt);
    EXPECT_EQ(NameIn(Hello(ServerNames({{0, ""}}))), std::nullopt);
    for (const char* bad : {"a b.x", "a/b.x", "a:443", "a\r\nb", "\xc3\xa9.x"}) {
        EXPECT_EQ(NameIn(Hello(ServerNames({{0, bad}}))), std::nullopt) << bad;
    }
    EXPECT_EQ(NameIn(Hello(ServerNames({{0, std::string("a\0b.x", 5)}}))), std::nullopt);
}

TEST(FindServerName, OnlyAWholeHelloInAWholeRecordIsRead) {
    Buffer hello = Hello(ServerNames({{0, "b.x"}}));
    // The message claims more than its record holds: it goes on in the next
    // record, which this write does not carry.
    Buffer split = hello;
    split[8] = static_cast<unsigned char>(split[8] + 40);
    EXPECT_EQ(NameIn(split), std::nullopt);
    Buffer notHandshake = hello;
    notHandshake[0] = 0x17;
    EXPECT_EQ(NameIn(notHandshake), std::nullopt);
    Buffer serverHello = hello;
    serverHello[5] = 2;
    EXPECT_EQ(NameIn(serverHello), std::nullopt);
    Buffer oversized = hello;
    oversized[3] = 0x40;  // a record body over 2^14 bytes
    oversized.resize(0x4100 + 5, 0);
    EXPECT_EQ(NameIn(oversized), std::nullopt);
    EXPECT_TRUE(LooksLikeClientHello(hello.data(), hello.size()));
    EXPECT_EQ(TlsRecordSize(hello.data(), 5), hello.size());
}

}  // namespace
}  // namespace tamsel
