// The server name a TLS client announces in clear in its first message.
//
// Only a ClientHello that lies whole in one handshake record, itself whole
// at the start of the buffer, is read: a record split over several writes,
// a malformed one or one without a usable name gives no name, and the
// buffer then passes untouched. No byte at or past `length` is read.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace tamsel {

// The longest host name the resolver accepts, in characters.
inline constexpr size_t kMaxHostNameLength = 253;

// Cheap first test: a handshake record of TLS (or SSL 3) whose message is
// a ClientHello. Reads at most the first six bytes.
bool LooksLikeClientHello(const unsigned char* buffer, size_t length);

// The total size of the record that starts the buffer (header included),
// as its header says, or 0 when the buffer does not start with one.
size_t TlsRecordSize(const unsigned char* buffer, size_t length);

// The host_name of the server_name extension, a view into `buffer`, or
// nullopt when the buffer is not a whole ClientHello record or the name is
// empty, longer than a host name can be, or holds a byte no host name has.
std::optional<std::string_view> FindServerName(const unsigned char* buffer, size_t length);

// The same for a buffer LooksLikeClientHello has accepted already.
std::optional<std::string_view> ServerNameOfHello(const unsigned char* buffer, size_t length);

}  // namespace tamsel
