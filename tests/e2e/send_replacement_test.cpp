// The send replacements linked straight into this program: every call below
// goes through them, over a real socket pair.
#include "intercept/posix/send_replacement.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <fstream>
#include <functional>
#include <iterator>
#include <utility>
#include <string>
#include <thread>
#include <vector>

#include "base/posix/unique_fd.h"
#include "cancellation_probe.h"
#include "runtime/refusal_log.h"
#include "runtime/shared_state.h"
#include "support/temp_dir.h"

namespace tamsel {
namespace {

const std::string kRefusedHead = "GET /a.gif HTTP/1.1\r\nHost: ads.test\r\nAccept: */*\r\n\r\n";
const std::string kPassingHead = "GET /a.gif HTTP/1.1\r\nHost: news.test\r\nAccept: */*\r\n\r\n";

class SendReplacement : public ::testing::Test {
protected:
    void SetUp() override {
        InstallSendReplacement();
        TheSharedState().Replace(ListKind::ShippedBlock, ParsePatternListText("ads.test\n/banners/\n", "b").value());
        TheSharedState().AllowAds = 0;
        Reconnect();
    }
    // A fresh pair: a refusal shuts its connection down.
    void Reconnect() {
        int pair[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
        sender_ = UniqueFd(pair[0]);
        receiver_ = UniqueFd(pair[1]);
    }
    void TearDown() override {
        TheSharedState().ClearLists();
        TheSharedState().AllowAds = 0;
    }
    // Everything the other end has received so far.
    std::string Received() {
        std::string all;
        char chunk[4096];
        ssize_t n;
        while ((n = ::recv(receiver_.get(), chunk, sizeof chunk, MSG_DONTWAIT)) > 0) all.append(chunk, n);
        return all;
    }
    static iovec Element(const std::string& s, size_t from, size_t length) {
        return iovec{const_cast<char*>(s.data() + from), length};
    }

    UniqueFd sender_, receiver_;
};

TEST_F(SendReplacement, EveryCallRefusesWithConnectionAbortedAndSendsNothing) {
    const std::string& h = kRefusedHead;
    const size_t lineEnd = h.find("\r\n") + 2;
    // The request line and the headers apart, after an empty element.
    iovec split[3] = {Element(h, 0, 0), Element(h, 0, lineEnd), Element(h, lineEnd, h.size() - lineEnd)};
    msghdr message{};
    message.msg_iov = split;
    message.msg_iovlen = 3;
    mmsghdr messages[1] = {{message, 0}};
    // Each call on a connection of its own: a refused connection fails every
    // later call anyway.
    const std::vector<std::pair<const char*, std::function<long(int)>>> calls = {
        {"send", [&](int fd) { return ::send(fd, h.data(), h.size(), 0); }},
        {"sendto", [&](int fd) { return ::sendto(fd, h.data(), h.size(), 0, nullptr, 0); }},
        {"write", [&](int fd) { return ::write(fd, h.data(), h.size()); }},
        {"writev", [&](int fd) { return ::writev(fd, split, 3); }},
        {"sendmsg", [&](int fd) { return ::sendmsg(fd, &message, 0); }},
        {"sendmmsg", [&](int fd) { return static_cast<long>(::sendmmsg(fd, messages, 1, 0)); }},
    };
    for (const auto& [name, call] : calls) {
        Reconnect();
        errno = 0;
        EXPECT_EQ(call(sender_.get()), -1) << name;
        EXPECT_EQ(errno, ECONNABORTED) << name;
        EXPECT_EQ(Received(), "") << name;
    }
}

// A program that goes on writing to a refused connection (the body after
// its head, say) gets an error from every call, and never a SIGPIPE, which
// would end this program: it does not ignore the signal.
TEST_F(SendReplacement, LaterWritesOnARefusedConnectionFailWithoutASignal) {
    const int fd = sender_.get();
    ASSERT_EQ(::send(fd, kRefusedHead.data(), kRefusedHead.size(), 0), -1);
    const std::string body = "name=value";
    iovec element = Element(body, 0, body.size());
    msghdr message{};
    message.msg_iov = &element;
    message.msg_iovlen = 1;
    errno = 0;
    EXPECT_EQ(::write(fd, body.data(), body.size()), -1);
    EXPECT_EQ(errno, EPIPE);
    EXPECT_EQ(::send(fd, body.data(), body.size(), 0), -1);
    EXPECT_EQ(::writev(fd, &element, 1), -1);
    EXPECT_EQ(::sendmsg(fd, &message, 0), -1);
    EXPECT_EQ(::send(fd, kPassingHead.data(), kPassingHead.size(), 0), -1);
    // The remembered refusal belongs to that socket, not to its number.
    sender_ = UniqueFd();
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    UniqueFd reused(pair[0]), other(pair[1]);
    ASSERT_EQ(reused.get(), fd);
    EXPECT_EQ(::write(reused.get(), body.data(), body.size()), static_cast<ssize_t>(body.size()));
}

// A body that begins like a request is part of its upload, whether it goes
// with its head or in calls of its own; the request after the body is judged.
TEST_F(SendReplacement, ABodyThatLooksLikeARequestIsSentAsABody) {
    const std::string inner = "GET /notes HTTP/1.1\r\nHost: ads.test\r\n\r\n";
    const std::string head =
        "POST /notes HTTP/1.1\r\nHost: news.test\r\nContent-Length: " + std::to_string(2 * inner.size()) + "\r\n\r\n";
    const int fd = sender_.get();
    EXPECT_EQ(::send(fd, head.data(), head.size(), 0), static_cast<ssize_t>(head.size()));
    EXPECT_EQ(::write(fd, inner.data(), inner.size()), static_cast<ssize_t>(inner.size()));
    iovec second[2] = {Element(inner, 0, 4), Element(inner, 4, inner.size() - 4)};
    EXPECT_EQ(::writev(fd, second, 2), static_cast<ssize_t>(inner.size()));
    EXPECT_EQ(Received(), head + inner + inner);
    EXPECT_EQ(::send(fd, kRefusedHead.data(), kRefusedHead.size(), 0), -1);
    // Part of the body with the head, the rest and the next request after.
    Reconnect();
    const std::string withPart = head + inner.substr(0, 10);
    EXPECT_EQ(::send(sender_.get(), withPart.data(), withPart.size(), 0), static_cast<ssize_t>(withPart.size()));
    const std::string rest = inner.substr(10) + inner + kRefusedHead;
    EXPECT_EQ(::send(sender_.get(), rest.data(), rest.size(), 0), -1);
    const std::string bodyOnly = inner.substr(10) + inner;
    Reconnect();
    EXPECT_EQ(::send(sender_.get(), withPart.data(), withPart.size(), 0), static_cast<ssize_t>(withPart.size()));
    EXPECT_EQ(::send(sender_.get(), bodyOnly.data(), bodyOnly.size(), 0), static_cast<ssize_t>(bodyOnly.size()));
    EXPECT_EQ(Received(), withPart + bodyOnly);
}

// A thread cancelled while it sends: the cancellation is held off while the
// module works (the refusal log's open and write would otherwise act on it
// inside code that cannot be unwound, and end the process), and acted on when
// the refused call returns, as the real call would have.
TEST_F(SendReplacement, ACancelledThreadEndsAtTheRefusedSendWithItsLogLineWritten) {
    testing::TempDir dir;
    const std::string log = (dir.path() / "refused.log").string();
    for (const bool logged : {false, true}) {
        NameRefusalLog(logged ? std::optional<std::string>(log) : std::nullopt, "send_replacement_test");
        Reconnect();
        const int fd = sender_.get();
        const auto outcome =
            testing::CallWithCancellationPending([fd] { ::send(fd, kRefusedHead.data(), kRefusedHead.size(), 0); });
        EXPECT_TRUE(outcome.cancelled) << logged;
        EXPECT_FALSE(outcome.returned) << logged;
        EXPECT_EQ(Received(), "");
    }
    NameRefusalLog(std::nullopt, "send_replacement_test");
    std::ifstream file(log);
    const std::string written((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_EQ(std::count(written.begin(), written.end(), '\n'), 1) << written;
    EXPECT_NE(written.find("http://ads.test/a.gif"), std::string::npos) << written;
}

// The quick turn-away for buffers without a method must not miss a method
// that starts a few bytes in: the gate looks at the first eight bytes.
TEST_F(SendReplacement, AMethodWithinTheFirstEightBytesIsStillInspected) {
    for (const std::string prefix : {"", "  ", "       "}) {  // up to seven blanks
        const std::string head = prefix + kRefusedHead;
        EXPECT_EQ(::send(sender_.get(), head.data(), head.size(), 0), -1) << '"' << prefix << '"';
        const std::string post = prefix + "post /f HTTP/1.1\r\nHost: ads.test\r\n\r\n";
        EXPECT_EQ(::send(sender_.get(), post.data(), post.size(), 0), -1) << '"' << prefix << '"';
    }
    Reconnect();
    const std::string late = "        " + kRefusedHead;  // eight: not a head
    EXPECT_EQ(::send(sender_.get(), late.data(), late.size(), 0), static_cast<ssize_t>(late.size()));
    EXPECT_EQ(Received(), late);
}

// The first bytes sent may come from several elements: the method test
// reads across them, as it reads one buffer.
TEST_F(SendReplacement, AMethodSplitAcrossElementsIsStillInspected) {
    const std::string& h = kRefusedHead;
    for (size_t cut : {1u, 3u, 4u}) {  // "G|ET ", "GET| ", "GET |/a.gif"
        iovec parts[3] = {Element(h, 0, cut), Element(h, cut, 0), Element(h, cut, h.size() - cut)};
        EXPECT_EQ(::writev(sender_.get(), parts, 3), -1) << cut;
        msghdr message{};
        message.msg_iov = parts;
        message.msg_iovlen = 3;
        EXPECT_EQ(::sendmsg(sender_.get(), &message, 0), -1) << cut;
    }
    const std::string post = "   POST /f HTTP/1.1\r\nHost: ads.test\r\n\r\n";  // "POST " at 3, over three elements
    iovec parts[3] = {Element(post, 0, 2), Element(post, 2, 3), Element(post, 5, post.size() - 5)};
    EXPECT_EQ(::writev(sender_.get(), parts, 3), -1);
    // A method that starts at the seventh byte ends at the eleventh or
    // twelfth: the bytes gathered for the test must reach that far.
    for (const std::string late :
         {"       GET /f HTTP/1.1\r\nHost: ads.test\r\n\r\n", "       post /f HTTP/1.1\r\nHost: ads.test\r\n\r\n"}) {
        iovec pieces[4] = {Element(late, 0, 5), Element(late, 5, 3), Element(late, 8, 2),
                           Element(late, 10, late.size() - 10)};
        EXPECT_EQ(::writev(sender_.get(), pieces, 4), -1) << late;
        msghdr message{};
        message.msg_iov = pieces;
        message.msg_iovlen = 4;
        EXPECT_EQ(::sendmsg(sender_.get(), &message, 0), -1) << late;
    }
    EXPECT_EQ(Received(), "");
}

TEST_F(SendReplacement, PassingHeadsAndOtherBuffersArriveUnchanged) {
    const int fd = sender_.get();
    const std::string body = "name=value&Host: ads.test";
    const std::string binary("\0\x01GET /banners/", 15);
    EXPECT_EQ(::send(fd, kPassingHead.data(), kPassingHead.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(kPassingHead.size()));
    EXPECT_EQ(::write(fd, body.data(), body.size()), static_cast<ssize_t>(body.size()));
    EXPECT_EQ(::send(fd, binary.data(), binary.size(), 0), static_cast<ssize_t>(binary.size()));
    iovec both[2] = {Element(kPassingHead, 0, 10), Element(kPassingHead, 10, kPassingHead.size() - 10)};
    EXPECT_EQ(::writev(fd, both, 2), static_cast<ssize_t>(kPassingHead.size()));
    EXPECT_EQ(Received(), kPassingHead + body + binary + kPassingHead);
}

TEST_F(SendReplacement, SendmmsgSendsTheMessagesBeforeTheFirstRefusedOne) {
    iovec first = Element(kPassingHead, 0, kPassingHead.size());
    iovec second = Element(kRefusedHead, 0, kRefusedHead.size());
    mmsghdr messages[3] = {};
    messages[0].msg_hdr.msg_iov = &first;
    messages[1].msg_hdr.msg_iov = &second;
    messages[2].msg_hdr.msg_iov = &first;
    for (mmsghdr& m : messages) m.msg_hdr.msg_iovlen = 1;
    EXPECT_EQ(::sendmmsg(sender_.get(), messages, 3, 0), 1);
    EXPECT_EQ(Received(), kPassingHead);
}

TEST_F(SendReplacement, ThreadsSendWhileTheListIsReplaced) {
    // Each thread sends a refused and a passing head over pairs of its own
    // (a refusal ends its connection); every answer must be right whichever
    // list snapshot it met.
    std::atomic<bool> stop{false};
    std::atomic<int> wrong{0};
    std::vector<std::thread> senders;
    for (int t = 0; t < 4; ++t) {
        senders.emplace_back([&] {
            int pair[2], refusedPair[2];
            if (::socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0 ||
                ::socketpair(AF_UNIX, SOCK_STREAM, 0, refusedPair) != 0) {
                ++wrong;
                return;
            }
            const UniqueFd out(pair[0]), in(pair[1]), refusedOut(refusedPair[0]), refusedIn(refusedPair[1]);
            char sink[256];
            for (int i = 0; i < 300 || !stop; ++i) {
                if (::send(refusedOut.get(), kRefusedHead.data(), kRefusedHead.size(), 0) != -1) ++wrong;
                if (::send(out.get(), kPassingHead.data(), kPassingHead.size(), 0) !=
                    static_cast<ssize_t>(kPassingHead.size())) {
                    ++wrong;
                }
                while (::recv(in.get(), sink, sizeof sink, MSG_DONTWAIT) > 0) {
                }
            }
        });
    }
    for (int i = 0; i < 200; ++i) {
        TheSharedState().Replace(ListKind::ShippedBlock, ParsePatternListText("ads.test\n/banners/\n", "b").value());
    }
    stop = true;
    for (std::thread& t : senders) t.join();
    EXPECT_EQ(wrong.load(), 0);
}

TEST_F(SendReplacement, AllowAdsLetsARefusedHeadThrough) {
    TheSharedState().AllowAds = 1;
    EXPECT_EQ(::send(sender_.get(), kRefusedHead.data(), kRefusedHead.size(), 0),
              static_cast<ssize_t>(kRefusedHead.size()));
    EXPECT_EQ(Received(), kRefusedHead);
}

TEST_F(SendReplacement, FilesAndPipesAreNeverRefusedAndKeepTheCallersErrno) {
    testing::TempDir dir;
    const UniqueFd file(::open((dir.path() / "out").c_str(), O_WRONLY | O_CREAT, 0600));
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    const UniqueFd pipeRead(pipeEnds[0]), pipeWrite(pipeEnds[1]);
    for (const int fd : {file.get(), pipeWrite.get()}) {
        errno = EINVAL;
        EXPECT_EQ(::write(fd, kRefusedHead.data(), kRefusedHead.size()), static_cast<ssize_t>(kRefusedHead.size()));
        EXPECT_EQ(errno, EINVAL) << "the socket test leaked its errno";
    }
    // An inspected head that passes leaves errno alone as well.
    errno = EINVAL;
    ::send(sender_.get(), kPassingHead.data(), kPassingHead.size(), 0);
    EXPECT_EQ(errno, EINVAL);
}

}  // namespace
}  // namespace tamsel
