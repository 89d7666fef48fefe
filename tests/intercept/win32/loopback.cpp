#include "loopback.h"

#include <ws2tcpip.h>

namespace tamsel::testing {

void StartWinsock() {
    static const bool started = [] {
        WSADATA data{};
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    (void)started;
}

LoopbackPair::LoopbackPair() {
    StartWinsock();
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof address;
    Socket listener(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (bind(listener.get(), reinterpret_cast<sockaddr*>(&address), size) != 0 || listen(listener.get(), 1) != 0 ||
        getsockname(listener.get(), reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        return;
    }
    // The backlog completes the connection before accept is called.
    Socket client(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (connect(client.get(), reinterpret_cast<sockaddr*>(&address), size) != 0) return;
    Socket server(accept(listener.get(), nullptr, nullptr));
    if (server.get() == INVALID_SOCKET) return;
    const DWORD timeoutMs = 5000;  // a lost end of stream fails the test instead of hanging it
    setsockopt(server.get(), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeoutMs), sizeof timeoutMs);
    listener_ = std::move(listener);
    client_ = std::move(client);
    server_ = std::move(server);
}

std::string LoopbackPair::Received() {
    shutdown(client_.get(), SD_SEND);
    std::string bytes;
    char chunk[4096];
    for (;;) {
        const int n = recv(server_.get(), chunk, sizeof chunk, 0);
        if (n <= 0) return bytes;
        bytes.append(chunk, static_cast<size_t>(n));
    }
}

}  // namespace tamsel::testing
