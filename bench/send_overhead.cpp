// What the preloaded send replacement adds to each call: libtamsel.so is
// opened, its exported send and write are called directly and compared
// with libc's own, on the same buffers and sockets, in the same run. A
// second table sets the gate's decision (with the server-name test for TLS
// ClientHellos) against the request-head test alone, which was the whole
// gate before, on the same buffers and lists.
//
// usage: send_overhead [PATH-TO-libtamsel.so]
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/posix/unique_fd.h"
#include "intercept/inspect.h"
#include "intercept/posix/send_gate.h"
#include "runtime/shared_state.h"

namespace {

using SendFn = ssize_t (*)(int, const void*, size_t, int);
using WriteFn = ssize_t (*)(int, const void*, size_t);

constexpr int kRounds = 7;
constexpr int kCallsPerRound = 100000;

// Reads the receiving end dry so the sender never blocks.
class Drain {
public:
    explicit Drain(int fd) : fd_(fd), thread_([this] { Run(); }) {}
    ~Drain() {
        stop_ = true;
        thread_.join();
    }

private:
    void Run() {
        char sink[65536];
        while (!stop_) {
            if (::recv(fd_, sink, sizeof sink, MSG_DONTWAIT) <= 0) std::this_thread::yield();
        }
    }
    int fd_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

struct Figures {
    double unhooked, hooked;  // median nanoseconds per call
};

// The two calls take turns round by round, so a slow spell of the machine
// falls on both alike.
template <class Unhooked, class Hooked>
Figures Measure(Unhooked unhooked, Hooked hooked, int calls = kCallsPerRound) {
    std::vector<double> a, b;
    const auto perCall = [calls](auto call) {
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < calls; ++i) call();
        const std::chrono::duration<double, std::nano> spent = std::chrono::steady_clock::now() - start;
        return spent.count() / calls;
    };
    for (int r = 0; r < kRounds; ++r) {
        a.push_back(perCall(unhooked));
        b.push_back(perCall(hooked));
    }
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    return {a[kRounds / 2], b[kRounds / 2]};
}

void Row(const char* what, Figures f) {
    std::printf("%-48s %10.1f %10.1f %9.1f %7.2fx\n", what, f.unhooked, f.hooked, f.hooked - f.unhooked,
                f.hooked / f.unhooked);
}

std::string Head(const char* host) {
    return std::string("GET /static/js/app.min.js?v=20231 HTTP/1.1\r\nHost: ") + host +
           "\r\nUser-Agent: Mozilla/5.0 (X11; Linux x86_64)\r\nAccept: */*\r\n"
           "Accept-Language: en-GB,en;q=0.8\r\nReferer: http://www.example.org/news/\r\n"
           "Connection: keep-alive\r\n\r\n";
}

// libc's send and write and the module's, side by side.
struct Entries {
    SendFn realSend, hookedSend;
    WriteFn realWrite, hookedWrite;
};

std::optional<Entries> OpenModule(const char* modulePath) {
    // A settings folder that does not exist: the switch reads 0, so the
    // filter is on whatever the user has stored.
    ::setenv("XDG_CONFIG_HOME", "/nonexistent/tamsel-bench", 1);
    void* module = ::dlopen(modulePath, RTLD_NOW | RTLD_LOCAL);  // stays open until exit
    if (module == nullptr) {
        std::fprintf(stderr, "send_overhead: cannot open %s: %s\n", modulePath, ::dlerror());
        return std::nullopt;
    }
    const Entries e{
        reinterpret_cast<SendFn>(::dlsym(RTLD_DEFAULT, "send")), reinterpret_cast<SendFn>(::dlsym(module, "send")),
        reinterpret_cast<WriteFn>(::dlsym(RTLD_DEFAULT, "write")), reinterpret_cast<WriteFn>(::dlsym(module, "write"))};
    if (!e.realSend || !e.hookedSend || !e.realWrite || !e.hookedWrite || e.hookedSend == e.realSend) {
        std::fprintf(stderr, "send_overhead: %s does not export its own send and write\n", modulePath);
        return std::nullopt;
    }
    return e;
}

const std::string kBinary(512, '\x17');  // e.g. a TLS application data record

// A ClientHello of 200 bytes naming a host no list names: it is parsed and
// judged, and passes.
std::string ClientHello() {
    const std::string name = "www.example.org";
    std::string ext = std::string("\x00\x00", 2) + char(0) + char(name.size() + 5) + char(0) + char(name.size() + 3) +
                      char(0) + char(0) + char(name.size()) + name;
    ext += std::string("\x00\x15", 2) + char(0) + char(100) + std::string(100, '\0');  // padding
    std::string body = std::string("\x03\x03", 2) + std::string(32, '\x5a') + char(0) +
                       std::string("\x00\x02\x13\x01", 4) + std::string("\x01\x00", 2) + char(ext.size() >> 8) +
                       char(ext.size() & 0xff) + ext;
    const std::string message = std::string("\x01\x00", 2) + char(body.size() >> 8) + char(body.size() & 0xff) + body;
    return std::string("\x16\x03\x01", 3) + char(message.size() >> 8) + char(message.size() & 0xff) + message;
}

// The gate's decision alone, in this process, against the shipped list.
void PrintGateTable(const char* modulePath, int socket) {
    const std::string list =
        std::string(modulePath).substr(0, std::string(modulePath).rfind('/') + 1) + "BlockList.txt";
    tamsel::ListLoadResult loaded = tamsel::LoadPatternListChecked(list);
    tamsel::TheSharedState().Replace(tamsel::ListKind::ShippedBlock, loaded ? std::move(*loaded) : nullptr);
    tamsel::EnableSendGate();
    const std::string passing = Head("www.example.org");
    const std::string hello = ClientHello();
    std::printf("\nThe gate's decision per call: the request-head test alone (the gate before the\n"
                "server-name test) against the whole gate (ns per call)\n");
    std::printf("%-48s %10s %10s %9s %8s\n", "case", "head only", "whole", "added", "ratio");
    const auto row = [&](const char* what, const std::string& buffer) {
        Row(what, Measure([&] { (void)tamsel::InspectRequest(tamsel::ClassifyOutgoing(buffer.data(), buffer.size())); },
                          [&] { (void)tamsel::CheckSend(socket, buffer.data(), buffer.size()); }));
    };
    row("512-byte non-HTTP buffer", kBinary);
    row("request head that passes", passing);
    row("ClientHello that passes (judged by its name)", hello);
}

void PrintTable(const Entries& e, int socket, int refusedSocket, int devNull, const std::string& refused) {
    const std::string& binary = kBinary;
    const std::string passing = Head("www.example.org");
    std::printf("Added cost of libtamsel.so's send and write (median of %d rounds of %d calls, ns per call)\n", kRounds,
                kCallsPerRound);
    std::printf("%-48s %10s %10s %9s %8s\n", "case", "libc", "libtamsel", "added", "ratio");
    const auto sendRow = [&](const char* what, const std::string& buffer, int calls = kCallsPerRound) {
        Row(what, Measure([&] { e.realSend(socket, buffer.data(), buffer.size(), MSG_NOSIGNAL); },
                          [&] { e.hookedSend(socket, buffer.data(), buffer.size(), MSG_NOSIGNAL); }, calls));
    };
    const auto writeRow = [&](const char* what, const std::string& buffer) {
        Row(what, Measure([&] { e.realWrite(devNull, buffer.data(), buffer.size()); },
                          [&] { e.hookedWrite(devNull, buffer.data(), buffer.size()); }));
    };
    sendRow("send, 512-byte non-HTTP buffer", binary);
    sendRow("send, request head that passes", passing);
    Row("send, request head refused (vs. sending it)",
        Measure([&] { e.realSend(socket, refused.data(), refused.size(), MSG_NOSIGNAL); },
                [&] { e.hookedSend(refusedSocket, refused.data(), refused.size(), MSG_NOSIGNAL); }));
    sendRow("send, ClientHello that passes", ClientHello());
    std::string upload = "POST /upload HTTP/1.1\r\nHost: www.example.org\r\nContent-Length: 67108864\r\n\r\n";
    upload.resize(64 << 20, 'u');
    sendRow("send, 64 MB POST that passes (20 calls a round)", upload, 20);
    writeRow("write to /dev/null, 512-byte non-HTTP buffer", binary);
    writeRow("write to /dev/null, request head (not a socket)", refused);
    std::printf("\"refused\" never reaches the kernel: its cost is the whole inspection and\n"
                "the shutdown of its connection, set against the unhooked send of the same bytes.\n");
}

}  // namespace

int main(int argc, char** argv) {
    const char* modulePath = argc > 1 ? argv[1] : TAMSEL_PRELOAD_MODULE;
    const auto entries = OpenModule(modulePath);
    if (!entries) return 1;
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0) return 1;
    const tamsel::UniqueFd sender(pair[0]), receiver(pair[1]);
    const tamsel::UniqueFd devNull(::open("/dev/null", O_WRONLY));
    const Drain drain(receiver.get());
    const std::string refused = Head("ad.doubleclick.net");
    // A refusal shuts its connection down: it gets a pair of its own.
    int refusedPair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, refusedPair) != 0) return 1;
    const tamsel::UniqueFd refusedSender(refusedPair[0]), refusedReceiver(refusedPair[1]);
    if (entries->hookedSend(refusedSender.get(), refused.data(), refused.size(), 0) != -1) {
        std::fprintf(stderr, "send_overhead: the shipped list beside %s did not refuse the test head\n", modulePath);
        return 1;
    }
    PrintTable(*entries, sender.get(), refusedSender.get(), devNull.get(), refused);
    PrintGateTable(modulePath, sender.get());
    return 0;
}
