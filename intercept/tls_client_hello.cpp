#include "intercept/tls_client_hello.h"

#include <cstdint>

namespace tamsel {

namespace {

constexpr unsigned char kHandshakeRecord = 0x16;
constexpr unsigned char kClientHello = 0x01;
constexpr size_t kRecordHeader = 5;
// A plaintext record carries at most 2^14 bytes.
constexpr size_t kMaxRecordBody = 16384;
constexpr uint16_t kServerNameExtension = 0;
constexpr unsigned char kHostNameType = 0;

// A bounded reader over a byte range: every take fails once the range is
// exhausted, and a failed reader stays failed.
class Bytes {
public:
    Bytes(const unsigned char* data, size_t size) : data_(data), size_(size) {}

    bool ok() const { return ok_; }
    bool empty() const { return at_ == size_; }

    uint32_t Number(size_t width) {
        if (!Has(width)) return 0;
        uint32_t value = 0;
        for (size_t i = 0; i < width; ++i) value = (value << 8) | data_[at_ + i];
        at_ += width;
        return value;
    }
    void Skip(size_t count) {
        if (Has(count)) at_ += count;
    }
    // The next `count` bytes as a reader of their own.
    Bytes Take(size_t count) {
        if (!Has(count)) return Bytes(data_, 0, false);
        const Bytes part(data_ + at_, count);
        at_ += count;
        return part;
    }
    // A vector whose length prefix is `width` bytes wide.
    Bytes Vector(size_t width) { return Take(Number(width)); }
    std::string_view Text() const { return {reinterpret_cast<const char*>(data_), size_}; }

private:
    Bytes(const unsigned char* data, size_t size, bool ok) : data_(data), size_(size), ok_(ok) {}
    bool Has(size_t count) {
        if (ok_ && size_ - at_ >= count) return true;
        ok_ = false;
        return false;
    }

    const unsigned char* data_;
    size_t size_;
    size_t at_ = 0;
    bool ok_ = true;
};

bool IsHostNameByte(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_';
}

std::optional<std::string_view> UsableName(std::string_view name) {
    if (name.empty() || name.size() > kMaxHostNameLength) return std::nullopt;
    for (const char c : name) {
        if (!IsHostNameByte(static_cast<unsigned char>(c))) return std::nullopt;
    }
    return name;
}

// The first host_name of a server_name extension's body.
std::optional<std::string_view> HostNameIn(Bytes body) {
    Bytes names = body.Vector(2);
    while (names.ok() && !names.empty()) {
        const uint32_t type = names.Number(1);
        Bytes name = names.Vector(2);
        if (names.ok() && type == kHostNameType) return UsableName(name.Text());
    }
    return std::nullopt;
}

// The ClientHello's body after its header: version, random, session id,
// cipher suites, compression methods, then the extensions.
std::optional<std::string_view> ServerNameIn(Bytes hello) {
    hello.Skip(2 + 32);
    hello.Vector(1);
    hello.Vector(2);
    hello.Vector(1);
    Bytes extensions = hello.Vector(2);
    while (extensions.ok() && !extensions.empty()) {
        const uint32_t type = extensions.Number(2);
        Bytes body = extensions.Vector(2);
        if (extensions.ok() && type == kServerNameExtension) return HostNameIn(body);
    }
    return std::nullopt;
}

}  // namespace

bool LooksLikeClientHello(const unsigned char* buffer, size_t length) {
    return buffer != nullptr && length > kRecordHeader && buffer[0] == kHandshakeRecord && buffer[1] == 3 &&
           buffer[kRecordHeader] == kClientHello;
}

size_t TlsRecordSize(const unsigned char* buffer, size_t length) {
    if (buffer == nullptr || length < kRecordHeader || buffer[0] != kHandshakeRecord || buffer[1] != 3) return 0;
    const size_t body = (static_cast<size_t>(buffer[3]) << 8) | buffer[4];
    return body <= kMaxRecordBody ? kRecordHeader + body : 0;
}

std::optional<std::string_view> FindServerName(const unsigned char* buffer, size_t length) {
    if (!LooksLikeClientHello(buffer, length)) return std::nullopt;
    return ServerNameOfHello(buffer, length);
}

std::optional<std::string_view> ServerNameOfHello(const unsigned char* buffer, size_t length) {
    const size_t record = TlsRecordSize(buffer, length);
    if (record == 0 || record > length) return std::nullopt;
    Bytes body(buffer + kRecordHeader, record - kRecordHeader);
    body.Number(1);  // the message type, tested above
    Bytes hello = body.Vector(3);
    if (!hello.ok()) return std::nullopt;  // the message goes on in a later record
    return ServerNameIn(hello);
}

}  // namespace tamsel
