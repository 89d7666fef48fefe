// Files that are not plain files, and files too big to read, named as lists.
#include "patterns/file_bytes.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "patterns/pattern_list.h"
#include "support/temp_dir.h"

namespace tamsel {
namespace {

// Reads and loads `path` in a child that an alarm ends after two seconds:
// a reader that waits on its file fails the test instead of hanging it.
void ExpectRefusedPromptly(const std::string& path) {
    EXPECT_EXIT(
        {
            alarm(2);
            const Result<ByteBuffer> read = ReadFileBuffer(path);
            if (read || read.failure().errorNumber != kNotRegularFile) _exit(1);
            const ListLoadResult loaded = LoadPatternListChecked(path);
            _exit(!loaded.ok() && loaded.message() == "not a regular file" ? 0 : 2);
        },
        ::testing::ExitedWithCode(0), "")
        << path;
}

TEST(ReadFileBuffer, AFifoIsRefusedWithoutWaitingForAWriter) {
    testing::TempDir dir;
    const std::string fifo = (dir.path() / "BlockList.txt").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    ExpectRefusedPromptly(fifo);
}

TEST(ReadFileBuffer, ADeviceBehindALinkIsRefusedInsteadOfReadWithoutEnd) {
    testing::TempDir dir;
    const std::filesystem::path link = dir.path() / "BlockList.txt";
    std::filesystem::create_symlink("/dev/zero", link);
    ExpectRefusedPromptly(link.string());
    const Result<std::string> device = ReadFileBytes("/dev/null");
    ASSERT_FALSE(device);
    EXPECT_EQ(device.failure().errorNumber, kNotRegularFile);
}

TEST(ReadFileBuffer, AFileOverTheBoundIsRefusedAndOneAtItIsRead) {
    testing::TempDir dir;
    const std::string big = dir.Write("big.txt", "");
    std::filesystem::resize_file(big, kMaxFileBytes + 1);  // sparse: costs no disk
    const Result<ByteBuffer> over = ReadFileBuffer(big);
    ASSERT_FALSE(over);
    EXPECT_EQ(over.failure().errorNumber, EFBIG);
    const ListLoadResult loaded = LoadPatternListChecked(big);
    ASSERT_FALSE(loaded.ok());
    EXPECT_EQ(loaded.message(), ReadErrorText(EFBIG));

    std::filesystem::resize_file(big, kMaxFileBytes);
    const Result<ByteBuffer> whole = ReadFileBuffer(big);
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->size(), kMaxFileBytes);
}

}  // namespace
}  // namespace tamsel
