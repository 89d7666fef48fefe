// A failed rewrite must leave the user's list as it was.
#include "platform/env.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "listfiles/list_store.h"
#include "support/temp_dir.h"

namespace tamsel {
namespace {

std::string ReadBytes(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

size_t FileCount(const std::filesystem::path& dir) {
    size_t n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir)) ++n;
    return n;
}

// A full disk, as far as this process can tell: every write beyond the
// first byte fails, whoever runs the test.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        oldHandler_ = signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        signal(SIGXFSZ, oldHandler_);
    }

private:
    rlimit saved_{};
    sighandler_t oldHandler_;
};

TEST(ReplaceFileContents, AWriteCutShortKeepsTheOldFileAndSaysSo) {
    testing::TempDir dir;
    const std::string file = dir.Write("UserBlock.txt", "old.x\r\n");
    Status written;
    {
        const FileSizeLimit full(1);
        written = TheEnv().ReplaceFileContents(file, ListFileBytes({"new.x", "more.x"}));
    }
    EXPECT_FALSE(written.ok());
    EXPECT_NE(written.message().find("write"), std::string::npos) << written.message();
    EXPECT_EQ(ReadBytes(file), "old.x\r\n");
    EXPECT_EQ(FileCount(dir.path()), 1u);  // the temporary file is gone
}

// Root writes anywhere, so as root the write is made by "nobody".
Status ReplaceAsUnprivileged(const std::string& file) {
    if (geteuid() != 0) return TheEnv().ReplaceFileContents(file, "new.x\r\n");
    const pid_t child = fork();
    if (child == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0) _exit(2);
        const Status written = TheEnv().ReplaceFileContents(file, "new.x\r\n");
        _exit(written.ok() ? 0 : written.message().find("cannot create") != std::string::npos ? 1 : 2);
    }
    int status = 0;
    waitpid(child, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return {};
    return Failure{WIFEXITED(status) && WEXITSTATUS(status) == 1 ? "cannot create (in the child)" : ""};
}

TEST(ReplaceFileContents, AReadOnlyFolderKeepsTheOldFileAndSaysSo) {
    testing::TempDir dir;
    chmod(dir.path().c_str(), 0755);
    const std::string file = dir.Write("UserBlock.txt", "old.x\r\n");
    chmod(dir.path().c_str(), 0555);
    const Status written = ReplaceAsUnprivileged(file);
    chmod(dir.path().c_str(), 0755);
    EXPECT_FALSE(written.ok());
    EXPECT_NE(written.message().find("cannot create"), std::string::npos) << written.message();
    EXPECT_EQ(ReadBytes(file), "old.x\r\n");
}

TEST(ReplaceFileContents, KeepsTheModeOfTheOldFile) {
    testing::TempDir dir;
    const std::string file = dir.Write("UserTrust.txt", "a\r\n");
    chmod(file.c_str(), 0600);
    const Status written = TheEnv().ReplaceFileContents(file, "b\r\n");
    ASSERT_TRUE(written.ok()) << written.message();
    struct stat st {};
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(ReadBytes(file), "b\r\n");
}

}  // namespace
}  // namespace tamsel
