// What SendHook adds to a send, under Wine or on Windows.
//
// Two measurements, each against a baseline taken in the same run:
//  1. Over a real loopback connection: the real send alone against the same
//     send reached through SendHook, for a non-HTTP buffer and for a request
//     head that the shipped list lets pass, plus a head the list refuses.
//  2. The hook's own work, with a stub in the real-send slot that does
//     nothing: the loopback send's own cost no longer hides it.
// Each figure is the median of several rounds of many calls.
#include <winsock2.h>

#include "intercept/win32/send_hook.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "listfiles/list_store.h"
#include "runtime/list_supply.h"

namespace tamsel {
namespace {

constexpr int kLoopbackCalls = 1000;
constexpr int kStubCalls = 200000;
constexpr int kRounds = 15;

const std::string kNonHttp(64, '\x17');  // a TLS record's worth of bytes
const std::string kPassedHead = "GET /news/2024/index.html?page=2 HTTP/1.1\r\nHost: www.example.org\r\n"
                                "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)\r\nAccept: */*\r\n"
                                "Accept-Language: en-us\r\nConnection: Keep-Alive\r\n\r\n";
const std::string kRefusedHead =
    "GET /pagead/show_ads.js HTTP/1.1\r\nHost: pagead2.googlesyndication.com\r\n"
    "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)\r\nAccept: */*\r\n\r\n";

class Socket {
public:
    explicit Socket(SOCKET socket = INVALID_SOCKET) : socket_(socket) {}
    ~Socket() {
        if (socket_ != INVALID_SOCKET) closesocket(socket_);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    SOCKET get() const { return socket_; }

private:
    SOCKET socket_;
};

// A loopback connection whose far end a thread keeps draining.
class DrainedConnection {
public:
    DrainedConnection() {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int size = sizeof address;
        bind(listener_.get(), reinterpret_cast<sockaddr*>(&address), size);
        listen(listener_.get(), 1);
        getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&address), &size);
        connected_ = connect(client_.get(), reinterpret_cast<sockaddr*>(&address), size) == 0;
        server_ = accept(listener_.get(), nullptr, nullptr);
        drain_ = std::thread([this] {
            char chunk[65536];
            while (recv(server_, chunk, sizeof chunk, 0) > 0) {
            }
        });
    }
    ~DrainedConnection() {
        shutdown(client_.get(), SD_SEND);
        drain_.join();
        closesocket(server_);
    }
    bool connected() const { return connected_ && server_ != INVALID_SOCKET; }
    SOCKET client() const { return client_.get(); }

private:
    Socket listener_{socket(AF_INET, SOCK_STREAM, IPPROTO_TCP)};
    Socket client_{socket(AF_INET, SOCK_STREAM, IPPROTO_TCP)};
    SOCKET server_ = INVALID_SOCKET;  // owned here, closed after the drain ends
    bool connected_ = false;
    std::thread drain_;
};

struct Pair {
    double baseline;
    double hooked;
};

double NsPerCall(SendFunction through, SOCKET socket, const std::string& bytes, int calls) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < calls; ++i) through(socket, bytes.data(), static_cast<int>(bytes.size()), 0);
    const std::chrono::duration<double, std::nano> elapsed = std::chrono::steady_clock::now() - start;
    return elapsed.count() / calls;
}

// Median nanoseconds per call of the baseline and of SendHook sending
// `bytes`, their rounds interleaved so that drift touches both alike.
Pair Measure(SendFunction baseline, SOCKET socket, const std::string& bytes, int calls) {
    std::vector<double> base, hooked;
    for (int round = 0; round < kRounds; ++round) {
        base.push_back(NsPerCall(baseline, socket, bytes, calls));
        hooked.push_back(NsPerCall(&SendHook, socket, bytes, calls));
    }
    std::sort(base.begin(), base.end());
    std::sort(hooked.begin(), hooked.end());
    return {base[kRounds / 2], hooked[kRounds / 2]};
}

void Row(const char* what, Pair pair) {
    const double baseline = pair.baseline, hooked = pair.hooked;
    std::printf("  %-44s %9.1f ns %9.1f ns %+9.1f ns  x%.3f\n", what, baseline, hooked, hooked - baseline,
                hooked / baseline);
}

int WINAPI StubSend(UINT_PTR, const char*, int length, int) { return length; }

void OverLoopback(SendFunction real) {
    DrainedConnection connection;
    if (!connection.connected()) {
        std::printf("no loopback connection\n");
        return;
    }
    const SOCKET s = connection.client();
    std::printf("over a loopback connection:            %-12s %-12s %-12s ratio\n", "real send", "SendHook", "added");
    Row("non-HTTP buffer, 64 bytes", Measure(real, s, kNonHttp, kLoopbackCalls));
    Row("request head that passes", Measure(real, s, kPassedHead, kLoopbackCalls));
    Row("request head refused (nothing sent)", Measure(real, s, kRefusedHead, kLoopbackCalls));
    TheSharedState().AllowAds.store(1);
    Row("request head, AllowAds set", Measure(real, s, kPassedHead, kLoopbackCalls));
    TheSharedState().AllowAds.store(0);
}

void HookAlone(SendFunction real) {
    ApiHookChain.realSend->store(&StubSend);
    std::printf("the hook's own work (a stub in the real-send slot):\n");
    Row("non-HTTP buffer, 64 bytes", Measure(&StubSend, 0, kNonHttp, kStubCalls));
    Row("request head that passes", Measure(&StubSend, 0, kPassedHead, kStubCalls / 100));
    Row("request head refused", Measure(&StubSend, 0, kRefusedHead, kStubCalls / 100));
    TheSharedState().AllowAds.store(1);
    Row("request head, AllowAds set", Measure(&StubSend, 0, kPassedHead, kStubCalls));
    TheSharedState().AllowAds.store(0);
    ApiHookChain.realSend->store(real);
}

}  // namespace
}  // namespace tamsel

int main() {
    using namespace tamsel;
    WSADATA data{};
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return 1;
    const auto listPath = TheListStore().PathOf(ListKind::ShippedBlock);
    if (!listPath) return 1;
    TheListStore().Publish(ListKind::ShippedBlock);
    if (!TheSharedState().Present(ListKind::ShippedBlock) || !InstallSendHook(GetCurrentProcessId())) {
        std::printf("cannot load %s or install the hook\n", listPath->c_str());
        return 1;
    }
    const SendFunction real = ApiHookChain.realSend->load();
    std::printf("SendHook against the unhooked send, %d interleaved rounds (median), list %s\n\n", kRounds,
                listPath->c_str());
    OverLoopback(real);
    std::printf("\n");
    HookAlone(real);
    return 0;
}
