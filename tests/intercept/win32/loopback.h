// Real TCP sockets on 127.0.0.1 for the send tests: whatever the client side
// sends, the server side reads back, byte for byte.
#pragma once

#include <winsock2.h>

#include <string>
#include <utility>

namespace tamsel::testing {

using SendFunction = int(WSAAPI*)(SOCKET, const char*, int, int);

// Winsock started once for the whole test program, with both socket
// modules loaded for good.
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

// The test program's own import of send from WS2_32.DLL, called through its
// import table at the time of the call.
int WSAAPI ProgramImportSend(SOCKET socket, const char* buffer, int length, int flags);

// Sends each request over a connection of its own through `through`: the
// refused one must fail with WSAECONNABORTED and leave the listener without
// a byte, the passed one must arrive whole with its full count.
void ExpectFiltered(SendFunction through, const std::string& refused, const std::string& passed);

}  // namespace tamsel::testing
