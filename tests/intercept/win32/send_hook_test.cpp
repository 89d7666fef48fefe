// SendHook installed in this test program, reached through every way a
// module binds send, with real sockets on 127.0.0.1.
#include <winsock2.h>

#include "intercept/win32/send_hook.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "jump_target.h"
#include "loopback.h"
#include "runtime/shared_state.h"

namespace tamsel {
namespace {

using testing::LoopbackPair;
using testing::Socket;

const std::string kAdRequest = "GET /banner.gif HTTP/1.1\r\nHost: ads.example\r\nAccept: */*\r\n\r\n";
const std::string kOrdinaryRequest = "GET /index.html HTTP/1.1\r\nHost: www.example\r\n\r\n";

struct Binding {
    std::string name;
    SendFunction send = nullptr;
};

SendFunction SenderOf(const char* dll) {
    const HMODULE module = LoadLibraryA(dll);
    return module ? reinterpret_cast<SendFunction>(reinterpret_cast<void*>(GetProcAddress(module, "SenderSend")))
                  : nullptr;
}

SendFunction Lookup(const char* dll, const char* name) {
    return reinterpret_cast<SendFunction>(reinterpret_cast<void*>(GetProcAddress(LoadLibraryA(dll), name)));
}

int SendText(SendFunction through, SOCKET socket, const std::string& text) {
    return through(socket, text.data(), static_cast<int>(text.size()), 0);
}

// The process as the tests find it: two test modules loaded before the hook
// was installed, two after, and send looked up afterwards by name and by
// ordinal in both socket DLLs.
struct HookedProcess {
    SendFunction realBefore = nullptr;  // ws2_32's send before installation
    std::vector<std::string> deliveredBeforeInstall;
    bool installed = false;
    bool installedAgain = false;
    bool installedForOtherProcess = true;
    std::vector<Binding> bindings;

    HookedProcess() {
        testing::StartWinsock();
        TheSharedState().Replace(ListKind::ShippedBlock, ParsePatternListText("ads.example\n", "test").value());
        realBefore = Lookup("ws2_32.dll", "send");
        const Binding early[] = {{"WSOCK32 import, loaded before", SenderOf("sender_wsock32_before.dll")},
                                 {"WS2_32 import, loaded before", SenderOf("sender_ws2_32_before.dll")}};
        // Without the hook the ad request goes out: what the tests see later
        // is the hook's doing, not the test modules'.
        for (const Binding& binding : early) {
            LoopbackPair pair;
            if (binding.send) SendText(binding.send, pair.client(), kAdRequest);
            deliveredBeforeInstall.push_back(pair.Received());
        }
        installedForOtherProcess = InstallSendHook(GetCurrentProcessId() + 4);
        installed = InstallSendHook(GetCurrentProcessId());
        installedAgain = InstallSendHook(GetCurrentProcessId());
        bindings = {{"WS2_32 import of the test program", &testing::ProgramImportSend},
                    early[0],
                    early[1],
                    {"WSOCK32 import, loaded after", SenderOf("sender_wsock32_after.dll")},
                    {"WS2_32 import, loaded after", SenderOf("sender_ws2_32_after.dll")},
                    {"GetProcAddress WS2_32 send", Lookup("ws2_32.dll", "send")},
                    {"GetProcAddress WSOCK32 send", Lookup("wsock32.dll", "send")},
                    {"GetProcAddress WS2_32 #19", Lookup("ws2_32.dll", MAKEINTRESOURCEA(19))},
                    {"GetProcAddress WSOCK32 #19", Lookup("wsock32.dll", MAKEINTRESOURCEA(19))}};
    }
};

const HookedProcess& Process() {
    static const HookedProcess process;
    return process;
}

class SendHookTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Process().installed);
        for (const Binding& binding : Process().bindings) ASSERT_NE(binding.send, nullptr) << binding.name;
    }
    void TearDown() override { TheSharedState().AllowAds.store(0); }
};

TEST_F(SendHookTest, InstallsOncePerProcessAndOnlyInItsOwn) {
    EXPECT_TRUE(Process().installedAgain);
    EXPECT_FALSE(Process().installedForOtherProcess);
    for (const std::string& delivered : Process().deliveredBeforeInstall) EXPECT_EQ(delivered, kAdRequest);
    // The slot holds the send that ws2_32 exported before; every later
    // lookup answers the replacement, by name or by ordinal.
    EXPECT_EQ(ApiHookChain.realSend->load(), Process().realBefore);
    EXPECT_NE(Process().realBefore, &SendHook);
    for (const Binding& binding : Process().bindings) {
        if (binding.name.starts_with("GetProcAddress")) {
            EXPECT_EQ(testing::JumpTarget(binding.send), &SendHook) << binding.name;
        }
    }
}

TEST_F(SendHookTest, BlockedRequestFailsAndNotOneByteReachesTheListener) {
    for (const Binding& binding : Process().bindings) {
        SCOPED_TRACE(binding.name);
        LoopbackPair pair;
        ASSERT_TRUE(pair.connected());
        WSASetLastError(0);
        EXPECT_EQ(SendText(binding.send, pair.client(), kAdRequest), SOCKET_ERROR);
        EXPECT_EQ(WSAGetLastError(), WSAECONNABORTED);
        EXPECT_EQ(pair.Received(), "");
    }
}

TEST_F(SendHookTest, OrdinaryRequestArrivesByteForByte) {
    for (const Binding& binding : Process().bindings) {
        SCOPED_TRACE(binding.name);
        LoopbackPair pair;
        ASSERT_TRUE(pair.connected());
        EXPECT_EQ(SendText(binding.send, pair.client(), kOrdinaryRequest), static_cast<int>(kOrdinaryRequest.size()));
        EXPECT_EQ(pair.Received(), kOrdinaryRequest);
    }
}

TEST_F(SendHookTest, BodiesAndNonHttpBuffersPassWhateverTheyMention) {
    const std::string body = "comment=see+ads.example&quote=GET+/+HTTP/1.1\r\nHost:+ads.example";
    const std::string head =
        "POST /form HTTP/1.1\r\nHost: www.example\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n";
    const char handshake[] = "\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03\0ads.example GET / HTTP/1.1";
    const std::string binary(handshake, sizeof handshake - 1);
    for (const Binding& binding : Process().bindings) {
        SCOPED_TRACE(binding.name);
        LoopbackPair pair;
        ASSERT_TRUE(pair.connected());
        for (const std::string* part : {&head, &body, &binary}) {
            EXPECT_EQ(SendText(binding.send, pair.client(), *part), static_cast<int>(part->size()));
        }
        EXPECT_EQ(pair.Received(), head + body + binary);
    }
}

TEST_F(SendHookTest, AllowAdsLetsEveryRequestThrough) {
    TheSharedState().AllowAds.store(1);
    for (const Binding& binding : Process().bindings) {
        SCOPED_TRACE(binding.name);
        LoopbackPair pair;
        ASSERT_TRUE(pair.connected());
        EXPECT_EQ(SendText(binding.send, pair.client(), kAdRequest), static_cast<int>(kAdRequest.size()));
        EXPECT_EQ(pair.Received(), kAdRequest);
    }
}

// What the real send answers on `socket` and the socket error it leaves,
// starting from an error of 4242.
std::pair<int, int> Outcome(SendFunction through, SOCKET socket, const std::string& text) {
    WSASetLastError(4242);
    const int result = SendText(through, socket, text);
    return {result, WSAGetLastError()};
}

TEST_F(SendHookTest, CallerGetsTheRealResultAndTheRealSocketError) {
    const SendFunction real = ApiHookChain.realSend->load();
    const Socket unconnected(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    const auto notConnected = Outcome(real, unconnected.get(), kOrdinaryRequest);
    const auto notSocket = Outcome(real, INVALID_SOCKET, kOrdinaryRequest);
    // The codes differ between systems (Windows says WSAENOTCONN where Wine
    // says WSAECONNRESET); what matters is that the hook hands on the same.
    for (const auto& failure : {notConnected, notSocket}) {
        EXPECT_EQ(failure.first, SOCKET_ERROR);
        EXPECT_NE(failure.second, 4242);
    }
    LoopbackPair reference;
    const auto sent = Outcome(real, reference.client(), kOrdinaryRequest);

    for (const Binding& binding : Process().bindings) {
        SCOPED_TRACE(binding.name);
        EXPECT_EQ(Outcome(binding.send, unconnected.get(), kOrdinaryRequest), notConnected);
        EXPECT_EQ(Outcome(binding.send, INVALID_SOCKET, kOrdinaryRequest), notSocket);
        LoopbackPair pair;
        EXPECT_EQ(Outcome(binding.send, pair.client(), kOrdinaryRequest), sent);
    }
}

TEST_F(SendHookTest, EmptyRealSendSlotFailsTheSendInsteadOfCrashing) {
    const SendFunction real = ApiHookChain.realSend->exchange(nullptr);
    LoopbackPair pair;
    ASSERT_TRUE(pair.connected());
    const auto ordinary = Outcome(&SendHook, pair.client(), kOrdinaryRequest);
    const auto refused = Outcome(&SendHook, pair.client(), kAdRequest);
    ApiHookChain.realSend->store(real);
    EXPECT_EQ(ordinary, std::make_pair(SOCKET_ERROR, WSAENETDOWN));
    EXPECT_EQ(refused, std::make_pair(SOCKET_ERROR, WSAECONNABORTED));
    EXPECT_EQ(pair.Received(), "");
}

// Senders on several threads while the lists and the switch keep changing:
// every call is either sent whole or refused whole, and the listener gets
// exactly the bytes of the calls that reported success. A refusal ends its
// connection, so the thread goes on over a new one.
TEST_F(SendHookTest, ConcurrentSendsWhileListsChangeLoseOrMixNothing) {
    constexpr int kThreads = 4;
    constexpr int kSendsPerThread = 200;
    std::atomic<bool> done{false};
    std::thread changer([&done] {
        for (int i = 0; !done.load(); ++i) {
            TheSharedState().Replace(ListKind::UserBlock,
                                     ParsePatternListText(i % 2 ? "ads.example\n" : "other.example\n", "u").value());
            TheSharedState().AllowAds.store(i % 3 == 0 ? 1 : 0);
        }
    });
    std::vector<int> faults(kThreads, 0);
    std::vector<std::thread> senders;
    for (int t = 0; t < kThreads; ++t) {
        senders.emplace_back([&, t] {
            const std::vector<Binding>& bindings = Process().bindings;
            auto pair = std::make_unique<LoopbackPair>();
            std::string expected;
            for (int i = 0; i < kSendsPerThread; ++i) {
                const std::string& request = i % 2 ? kAdRequest : kOrdinaryRequest;
                const int result = SendText(bindings[(t + i) % bindings.size()].send, pair->client(), request);
                if (result == static_cast<int>(request.size())) {
                    expected += request;
                    continue;
                }
                if (result != SOCKET_ERROR || WSAGetLastError() != WSAECONNABORTED || &request != &kAdRequest) {
                    ++faults[t];
                }
                if (pair->Received() != expected) ++faults[t];
                pair = std::make_unique<LoopbackPair>();
                expected.clear();
            }
            if (pair->Received() != expected) ++faults[t];
        });
    }
    for (std::thread& sender : senders) sender.join();
    done.store(true);
    changer.join();
    TheSharedState().Replace(ListKind::UserBlock, nullptr);
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(faults[t], 0) << "thread " << t;
}

}  // namespace
}  // namespace tamsel
