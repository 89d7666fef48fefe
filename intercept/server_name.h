// The gate on a TLS connection's first message: the server name the client
// announces, with the connection's remote port. The path travels encrypted,
// so the connection is refused only when every request to that name and
// port would be, whatever its path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "intercept/inspect.h"
#include "patterns/judge.h"

namespace tamsel {

// The judgement of a buffer that is a whole ClientHello record naming a
// server: JudgeWhollyRefused of that name and `port`; Passed for anything
// else. Never throws: a failure passes. When `url` is given it receives
// "https://NAME:PORT/" for a named server.
Judgement InspectClientHelloWith(const char* buffer, int32_t length, int32_t port, const ListSet& lists,
                                 std::string* url = nullptr);

// The same against the lists of the shared state, for a buffer classified
// as a ClientHello (any other passes): true when refused.
bool InspectClientHello(const OutgoingBuffer& buffer, int32_t port);

// The port a connection goes to when the socket cannot say.
inline constexpr int32_t kDefaultTlsPort = 443;

// The port a connection goes to, read from its peer's address as the socket
// layer filled it in: `size` bytes (0 when it could not say), `internet` when
// it is an IPv4 or IPv6 address. Both kinds hold the port, in network order,
// in the two bytes after their two-byte family; any other peer gets
// kDefaultTlsPort, and a send on it fails anyway.
int32_t PeerPort(const void* address, size_t size, bool internet);

}  // namespace tamsel
