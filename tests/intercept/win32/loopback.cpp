#include "loopback.h"

#include <ws2tcpip.h>

#include <gtest/gtest.h>

namespace tamsel::testing {

void StartWinsock() {
    static const bool started = [] {
        // Both socket modules, as in a process holding Tamsel.dll (which
        // imports them): the hook engine routes only modules already loaded.
        LoadLibraryA("wsock32.dll");
        LoadLibraryA("ws2_32.dll");
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

int WSAAPI ProgramImportSend(SOCKET socket, const char* buffer, int length, int flags) {
    return send(socket, buffer, length, flags);
}

void ExpectFiltered(SendFunction through, const std::string& refused, const std::string& passed) {
    ASSERT_NE(through, nullptr);
    LoopbackPair first;
    ASSERT_TRUE(first.connected());
    WSASetLastError(0);
    EXPECT_EQ(through(first.client(), refused.data(), static_cast<int>(refused.size()), 0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAECONNABORTED);
    EXPECT_EQ(first.Received(), "");
    LoopbackPair second;
    ASSERT_TRUE(second.connected());
    EXPECT_EQ(through(second.client(), passed.data(), static_cast<int>(passed.size()), 0),
              static_cast<int>(passed.size()));
    EXPECT_EQ(second.Received(), passed);
}

}  // namespace tamsel::testing
