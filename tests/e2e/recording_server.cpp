#include "recording_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

namespace tamsel::testing {

namespace {

constexpr int kIdleLimitMs = 5000;  // a client silent this long is done

void SendAll(int fd, const std::string& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return;
        sent += static_cast<size_t>(n);
    }
}

// A listening socket on the loopback address of the family asked for, and
// its port; 0 when that fails.
int ListenOnLoopback(UniqueFd& listener, RecordingServer::Loopback on) {
    sockaddr_storage address{};
    socklen_t size;
    if (on == RecordingServer::Loopback::V4) {
        auto& v4 = reinterpret_cast<sockaddr_in&>(address);
        v4.sin_family = AF_INET;
        v4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        size = sizeof v4;
    } else {
        auto& v6 = reinterpret_cast<sockaddr_in6&>(address);
        v6.sin6_family = AF_INET6;
        v6.sin6_addr = in6addr_loopback;
        size = sizeof v6;
    }
    listener = UniqueFd(::socket(address.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0));
    auto* any = reinterpret_cast<sockaddr*>(&address);
    if (!listener || ::bind(listener.get(), any, size) != 0 || ::listen(listener.get(), 16) != 0 ||
        ::getsockname(listener.get(), any, &size) != 0) {
        return 0;
    }
    return ntohs(on == RecordingServer::Loopback::V4 ? reinterpret_cast<sockaddr_in&>(address).sin_port
                                                     : reinterpret_cast<sockaddr_in6&>(address).sin6_port);
}

}  // namespace

RecordingServer::RecordingServer(std::string body, Loopback on) : body_(std::move(body)) {
    port_ = ListenOnLoopback(listener_, on);
    if (port_ == 0) throw std::runtime_error("cannot listen on the loopback address");
    thread_ = std::thread([this] { Serve(); });
}

RecordingServer::~RecordingServer() {
    stop_ = true;
    thread_.join();
}

void RecordingServer::Serve() {
    while (!stop_) {
        pollfd p{listener_.get(), POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) continue;
        int connection;
        {
            // Accepting and counting under one lock: Idle() never sees a
            // connection that is neither queued nor open.
            const std::lock_guard<std::mutex> lock(mutex_);
            connection = ::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC);
            if (connection < 0) continue;
            ++open_;
        }
        Record(connection);
    }
}

void RecordingServer::Record(int connection) {
    const UniqueFd fd(connection);
    std::string received;
    bool answered = false;
    char chunk[4096];
    for (;;) {
        pollfd p{fd.get(), POLLIN, 0};
        if (::poll(&p, 1, kIdleLimitMs) <= 0) break;
        const ssize_t n = ::recv(fd.get(), chunk, sizeof chunk, 0);
        if (n <= 0) break;
        received.append(chunk, static_cast<size_t>(n));
        if (!answered && received.find("\r\n\r\n") != std::string::npos) {
            answered = true;
            // A page is served as one, so that clients look for its images.
            const char* type = body_.starts_with("<html") ? "text/html" : "text/plain";
            SendAll(fd.get(), std::string("HTTP/1.1 200 OK\r\nContent-Type: ") + type + "\r\nContent-Length: " +
                                  std::to_string(body_.size()) + "\r\nConnection: close\r\n\r\n" + body_);
        }
    }
    const std::lock_guard<std::mutex> lock(mutex_);
    connections_.push_back(std::move(received));
    --open_;
}

bool RecordingServer::Idle() {
    const std::lock_guard<std::mutex> lock(mutex_);
    pollfd p{listener_.get(), POLLIN, 0};
    return open_ == 0 && ::poll(&p, 1, 0) == 0;
}

std::vector<std::string> RecordingServer::Connections() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(2 * kIdleLimitMs);
    while (!Idle() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const std::lock_guard<std::mutex> lock(mutex_);
    return connections_;
}

}  // namespace tamsel::testing
