// The server-name gate, the clean end of a refused connection and the name
// lookups, through the replacements linked straight into this program, over
// real loopback connections.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "base/posix/unique_fd.h"
#include "cancellation_probe.h"
#include "intercept/client_hello_fixtures.h"
#include "intercept/posix/send_replacement.h"
#include "runtime/shared_state.h"

namespace tamsel {
namespace {

const std::string& kHello = fixtures::kHelloAdsExample;  // names ads.example

class NameGate : public ::testing::Test {
protected:
    void SetUp() override {
        InstallSendReplacement();
        TheSharedState().AllowAds = 0;
        Connect();
    }
    void TearDown() override {
        TheSharedState().ClearLists();
        TheSharedState().AllowAds = 0;
    }
    static void Block(const std::string& lines) {
        TheSharedState().Replace(ListKind::ShippedBlock, ParsePatternListText(lines, "b").value());
    }
    // A TCP connection over 127.0.0.1: sender_ to receiver_, on port_.
    void Connect() {
        const UniqueFd listener(::socket(AF_INET, SOCK_STREAM, 0));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        ASSERT_EQ(::bind(listener.get(), reinterpret_cast<sockaddr*>(&address), size), 0);
        ASSERT_EQ(::listen(listener.get(), 1), 0);
        ASSERT_EQ(::getsockname(listener.get(), reinterpret_cast<sockaddr*>(&address), &size), 0);
        port_ = ntohs(address.sin_port);
        sender_ = UniqueFd(::socket(AF_INET, SOCK_STREAM, 0));
        ASSERT_EQ(::connect(sender_.get(), reinterpret_cast<sockaddr*>(&address), size), 0);
        receiver_ = UniqueFd(::accept(listener.get(), nullptr, nullptr));
        ASSERT_GE(receiver_.get(), 0);
    }
    // What has arrived; `ended` tells whether the sender shut its side.
    std::string Received(bool* ended = nullptr) {
        std::string all;
        char chunk[4096];
        ssize_t n;
        while ((n = ::recv(receiver_.get(), chunk, sizeof chunk, MSG_DONTWAIT)) > 0) all.append(chunk, n);
        if (ended != nullptr) *ended = n == 0;
        return all;
    }
    ssize_t Send(const std::string& bytes) { return ::send(sender_.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL); }

    UniqueFd sender_, receiver_;
    int port_ = 0;
};

TEST_F(NameGate, AClientHelloIsJudgedByItsServerNameAndTheConnectionsPort) {
    Block("ads.example:" + std::to_string(port_) + "\n");
    EXPECT_EQ(::write(sender_.get(), kHello.data(), kHello.size()), -1);
    EXPECT_EQ(errno, ECONNABORTED);
    // The record over three elements, cut inside its header.
    iovec parts[3] = {
        {const_cast<char*>(kHello.data()), 3}, {nullptr, 0}, {const_cast<char*>(kHello.data() + 3), kHello.size() - 3}};
    EXPECT_EQ(::writev(sender_.get(), parts, 3), -1);
    EXPECT_EQ(Received(), "");

    Connect();
    Block("ads.example:1\nads.example/any/path\n");  // another port; a path no name can show
    EXPECT_EQ(Send(kHello), static_cast<ssize_t>(kHello.size()));
    EXPECT_EQ(Received(), kHello);
}

TEST_F(NameGate, AHelloSplitOverTwoSendsOrWithoutANamePasses) {
    Block("*\n");
    const size_t half = kHello.size() / 2;
    EXPECT_EQ(Send(kHello.substr(0, half)), static_cast<ssize_t>(half));
    EXPECT_EQ(Send(kHello.substr(half)), static_cast<ssize_t>(kHello.size() - half));
    EXPECT_EQ(Send(fixtures::kHelloWithoutName), static_cast<ssize_t>(fixtures::kHelloWithoutName.size()));
    EXPECT_EQ(Received(), kHello + fixtures::kHelloWithoutName);
}

// A refused connection is shut down both ways: the peer sees the end at
// once with nothing before it, the sender reads the end instead of waiting,
// and a later send fails.
TEST_F(NameGate, ARefusedConnectionEndsAtOnce) {
    Block("ads.example\n");
    for (const std::string& refused : {kHello, std::string("GET / HTTP/1.1\r\nHost: ads.example\r\n\r\n")}) {
        EXPECT_EQ(Send(refused), -1);
        bool ended = false;
        EXPECT_EQ(Received(&ended), "");
        EXPECT_TRUE(ended);
        char byte;
        EXPECT_EQ(::recv(sender_.get(), &byte, 1, MSG_DONTWAIT), 0);
        EXPECT_EQ(Send("body"), -1);
        EXPECT_EQ(errno, EPIPE);
        Connect();
    }
    // Nothing is shut down while ads are allowed.
    TheSharedState().AllowAds = 1;
    EXPECT_EQ(Send(kHello), static_cast<ssize_t>(kHello.size()));
    bool ended = true;
    EXPECT_EQ(Received(&ended), kHello);
    EXPECT_FALSE(ended);
}

// A lookup is a cancellation point in libc; a refused one stays one.
TEST_F(NameGate, ACancelledThreadEndsAtARefusedLookup) {
    Block("ads.test\n");
    const auto outcome = testing::CallWithCancellationPending([] {
        addrinfo* result = nullptr;
        ::getaddrinfo("www.ads.test", nullptr, nullptr, &result);
    });
    EXPECT_TRUE(outcome.cancelled);
    EXPECT_FALSE(outcome.returned);
}

TEST_F(NameGate, AWhollyRefusedNameIsNotFound) {
    Block("localhost\nads.test\n");
    addrinfo* result = nullptr;
    EXPECT_EQ(::getaddrinfo("localhost", "80", nullptr, &result), EAI_NONAME);
    EXPECT_EQ(::getaddrinfo("www.ads.test", nullptr, nullptr, &result), EAI_NONAME);
    EXPECT_EQ(::gethostbyname("localhost"), nullptr);
    EXPECT_EQ(h_errno, HOST_NOT_FOUND);
    hostent entry{};
    char buffer[1024];
    hostent* found = &entry;
    int error = 0;
    EXPECT_EQ(::gethostbyname_r("localhost", &entry, buffer, sizeof buffer, &found, &error), 0);
    EXPECT_EQ(found, nullptr);
    EXPECT_EQ(error, HOST_NOT_FOUND);
    // Numeric addresses are never refused.
    ASSERT_EQ(::getaddrinfo("127.0.0.1", "80", nullptr, &result), 0);
    ::freeaddrinfo(result);
    EXPECT_NE(::gethostbyname("127.0.0.1"), nullptr);
}

TEST_F(NameGate, NamesWithAPathLineOrWhileAdsAreAllowedAreLookedUp) {
    Block("localhost/banners/\n");
    addrinfo* result = nullptr;
    ASSERT_EQ(::getaddrinfo("localhost", "80", nullptr, &result), 0);
    ::freeaddrinfo(result);
    Block("localhost\n");
    TheSharedState().AllowAds = 1;
    ASSERT_EQ(::getaddrinfo("localhost", "80", nullptr, &result), 0);
    ::freeaddrinfo(result);
    EXPECT_NE(::gethostbyname("localhost"), nullptr);
}

}  // namespace
}  // namespace tamsel
