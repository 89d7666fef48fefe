// The server-name gate, the clean end of a refused connection and the name
// lookups with the hooks installed in this test program, over real sockets
// on 127.0.0.1.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <string>

#include "intercept/client_hello_fixtures.h"
#include "intercept/win32/send_hook.h"
#include "loopback.h"
#include "runtime/shared_state.h"

namespace tamsel {
namespace {

using testing::LoopbackPair;

const std::string& kHello = fixtures::kHelloAdsExample;  // names ads.example

using AddrInfoLookupA = INT(WSAAPI*)(PCSTR, PCSTR, const ADDRINFOA*, PADDRINFOA*);
using AddrInfoLookupW = INT(WSAAPI*)(PCWSTR, PCWSTR, const ADDRINFOW*, PADDRINFOW*);
using HostByNameLookup = hostent*(WSAAPI*)(const char*);

template <typename Fn>
Fn Lookup(const char* dll, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(LoadLibraryA(dll), name)));
}

class NameGateHook : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        testing::StartWinsock();
        installed_ = InstallSendHook(GetCurrentProcessId());
    }
    void SetUp() override { ASSERT_TRUE(installed_); }
    void TearDown() override {
        TheSharedState().ClearLists();
        TheSharedState().AllowAds.store(0);
    }
    static void Block(const std::string& lines) {
        TheSharedState().Replace(ListKind::ShippedBlock, ParsePatternListText(lines, "b").value());
    }
    static int Port(const LoopbackPair& pair) {
        sockaddr_in address{};
        int size = sizeof address;
        getpeername(pair.client(), reinterpret_cast<sockaddr*>(&address), &size);
        return ntohs(address.sin_port);
    }
    static int Send(SOCKET socket, const std::string& bytes) {
        return send(socket, bytes.data(), static_cast<int>(bytes.size()), 0);
    }

    static bool installed_;
};

bool NameGateHook::installed_ = false;

TEST_F(NameGateHook, ARecordedClientHelloIsJudgedByItsServerNameAndPort) {
    LoopbackPair refused;
    ASSERT_TRUE(refused.connected());
    Block("ads.example:" + std::to_string(Port(refused)) + "\n");
    WSASetLastError(0);
    EXPECT_EQ(Send(refused.client(), kHello), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAECONNABORTED);
    // Shut down both ways: a sender that waits for an answer is told at once
    // (a receive after the shutdown fails with WSAESHUTDOWN), a later send
    // fails. Non-blocking, so a connection left open fails the test with
    // WSAEWOULDBLOCK instead of hanging it.
    u_long nonBlocking = 1;
    ASSERT_EQ(ioctlsocket(refused.client(), FIONBIO, &nonBlocking), 0);
    char byte = 0;
    EXPECT_EQ(recv(refused.client(), &byte, 1, 0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAESHUTDOWN);
    EXPECT_EQ(Send(refused.client(), "more"), SOCKET_ERROR);
    EXPECT_EQ(refused.Received(), "");

    Block("ads.example:1\nads.example/a/path\n");
    LoopbackPair passed;
    EXPECT_EQ(Send(passed.client(), kHello), static_cast<int>(kHello.size()));
    const size_t half = kHello.size() / 2;
    Block("*\n");
    EXPECT_EQ(Send(passed.client(), kHello.substr(0, half)), static_cast<int>(half));
    EXPECT_EQ(Send(passed.client(), kHello.substr(half)), static_cast<int>(kHello.size() - half));
    EXPECT_EQ(passed.Received(), kHello + kHello);
}

// The path travels encrypted: a name is refused only when every request to
// it is, and a trust line with a path lets some through.
TEST_F(NameGateHook, AHelloPassesWhenATrustLineWithAPathCoversItsName) {
    Block("ads.example\n");
    TheSharedState().Replace(ListKind::UserTrust, ParsePatternListText("ads.example/ok\n", "t").value());
    LoopbackPair trusted;
    ASSERT_TRUE(trusted.connected());
    EXPECT_EQ(Send(trusted.client(), kHello), static_cast<int>(kHello.size()));
    EXPECT_EQ(trusted.Received(), kHello);
}

TEST_F(NameGateHook, AWhollyRefusedNameIsNotFoundThroughEveryLookup) {
    Block("localhost\n");
    const auto getAddrInfo = Lookup<AddrInfoLookupA>("ws2_32.dll", "getaddrinfo");
    const auto getAddrInfoW = Lookup<AddrInfoLookupW>("ws2_32.dll", "GetAddrInfoW");
    ASSERT_NE(getAddrInfo, nullptr);
    ASSERT_NE(getAddrInfoW, nullptr);
    ADDRINFOA* result = nullptr;
    ADDRINFOW* wideResult = nullptr;
    EXPECT_EQ(getaddrinfo("localhost", "80", nullptr, &result), WSAHOST_NOT_FOUND);
    EXPECT_EQ(getAddrInfo("localhost", "80", nullptr, &result), WSAHOST_NOT_FOUND);
    EXPECT_EQ(getAddrInfoW(L"localhost", L"80", nullptr, &wideResult), WSAHOST_NOT_FOUND);
    for (const char* dll : {"ws2_32.dll", "wsock32.dll"}) {
        const auto byName = Lookup<HostByNameLookup>(dll, "gethostbyname");
        ASSERT_NE(byName, nullptr) << dll;
        EXPECT_EQ(byName("localhost"), nullptr) << dll;
        EXPECT_EQ(WSAGetLastError(), WSAHOST_NOT_FOUND) << dll;
    }
    // Numeric addresses are never refused.
    ASSERT_EQ(getaddrinfo("127.0.0.1", "80", nullptr, &result), 0);
    freeaddrinfo(result);
}

TEST_F(NameGateHook, NamesWithAPathLineOrWhileAdsAreAllowedAreLookedUp) {
    ADDRINFOA* result = nullptr;
    Block("localhost/banners/\n");
    ASSERT_EQ(getaddrinfo("localhost", "80", nullptr, &result), 0);
    freeaddrinfo(result);
    Block("localhost\n");
    TheSharedState().AllowAds.store(1);
    ASSERT_EQ(getaddrinfo("localhost", "80", nullptr, &result), 0);
    freeaddrinfo(result);
    EXPECT_NE(gethostbyname("localhost"), nullptr);
}

}  // namespace
}  // namespace tamsel
