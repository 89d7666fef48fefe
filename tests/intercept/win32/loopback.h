// Real TCP sockets on 127.0.0.1 for the send tests: whatever the client side
// sends, the server side reads back, byte for byte.
#pragma once

#include <winsock2.h>

#include <string>
#include <utility>

namespace tamsel::testing {

// Winsock started once for the whole test program.
void StartWinsock();

class Socket {
public:
    explicit Socket(SOCKET socket = INVALID_SOCKET) : socket_(socket) {}
    ~Socket() {
        if (socket_ != INVALID_SOCKET) closesocket(socket_);
    }
    Socket(Socket&& other) noexcept : socket_(other.socket_) { other.socket_ = INVALID_SOCKET; }
    Socket& operator=(Socket&& other) noexcept {
        std::swap(socket_, other.socket_);
        return *this;
    }
    SOCKET get() const { return socket_; }

private:
    SOCKET socket_;
};

// A connected pair: `client()` is where the code under test sends.
class LoopbackPair {
public:
    LoopbackPair();
    bool connected() const { return server_.get() != INVALID_SOCKET; }
    SOCKET client() const { return client_.get(); }
    // Half-closes the client and returns every byte that reached the server.
    std::string Received();

private:
    Socket listener_;
    Socket client_;
    Socket server_;
};

}  // namespace tamsel::testing
