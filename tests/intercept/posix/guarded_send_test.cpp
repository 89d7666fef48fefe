// The inspection reads no byte of a body, nor past a head's bound: the
// buffers here are followed by pages that cannot be read.
#include <sys/mman.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "intercept/inspect.h"

namespace tamsel {
namespace {

// `readable` bytes followed by one page that faults on any access.
class GuardedBuffer {
public:
    explicit GuardedBuffer(size_t readable) {
        const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        mapped_ = (readable + page - 1) / page * page + page;
        void* base = mmap(nullptr, mapped_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (base == MAP_FAILED) return;
        base_ = static_cast<char*>(base);
        mprotect(base_ + mapped_ - page, page, PROT_NONE);
        data_ = base_ + mapped_ - page - readable;
    }
    ~GuardedBuffer() {
        if (base_ != nullptr) munmap(base_, mapped_);
    }
    GuardedBuffer(const GuardedBuffer&) = delete;
    GuardedBuffer& operator=(const GuardedBuffer&) = delete;

    char* data() const { return data_; }

private:
    char* base_ = nullptr;
    char* data_ = nullptr;
    size_t mapped_ = 0;
};

class GuardedSend : public ::testing::Test {
protected:
    void SetUp() override {
        list_ = ParsePatternListText("ads.x\n/banners/\n", "l.txt").value();
        lists_.shippedBlock = list_.get();
    }

    // Inspects `head` placed just before the faulting page, as the start of
    // a send that claims 64 MB.
    Verdict Inspect(const std::string& head) const {
        GuardedBuffer buffer(head.size());
        EXPECT_NE(buffer.data(), nullptr);
        if (buffer.data() == nullptr) return Verdict::Passed;
        std::memcpy(buffer.data(), head.data(), head.size());
        return InspectRequestWith(buffer.data(), 64 << 20, lists_).verdict;
    }

    std::unique_ptr<PatternList> list_;
    ListSet lists_;
};

TEST_F(GuardedSend, NothingOfABodyIsRead) {
    EXPECT_EQ(Inspect("POST /up HTTP/1.1\r\nHost: ads.x\r\n\r\n"), Verdict::Refused);
    EXPECT_EQ(Inspect("POST /up HTTP/1.1\nHost: ads.x\n\n"), Verdict::Refused);
    EXPECT_EQ(Inspect("POST /up HTTP/1.1\rHost: ads.x\r\r"), Verdict::Refused);
    // A body whose length the head states is skipped unread.
    EXPECT_EQ(Inspect("POST /up HTTP/1.1\r\nHost: fine.y\r\nContent-Length: 99999999\r\n\r\n"), Verdict::Passed);
    EXPECT_EQ(Inspect("POST /up HTTP/1.1\r\nHost: fine.y\r\nTransfer-Encoding: chunked\r\n\r\n"), Verdict::Passed);
}

TEST_F(GuardedSend, NothingPastTheBoundIsRead) {
    std::string head = "POST /banners/ HTTP/1.1\r\nHost: fine.y\r\nX-Pad: ";
    head.resize(kMaxInspectedBytes, 'p');
    EXPECT_EQ(Inspect(head), Verdict::Refused);
}

}  // namespace
}  // namespace tamsel
