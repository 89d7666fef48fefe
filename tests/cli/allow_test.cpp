// tamsel allow, run as a program against a settings folder of its own.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "cli/run_tool.h"
#include "support/temp_dir.h"

namespace tamsel {
namespace {

using testing::RunTool;

class AllowTool : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* v = std::getenv("XDG_CONFIG_HOME")) saved_ = v;
        setenv("XDG_CONFIG_HOME", dir_.path().c_str(), 1);
    }
    void TearDown() override {
        if (saved_) setenv("XDG_CONFIG_HOME", saved_->c_str(), 1);
        else unsetenv("XDG_CONFIG_HOME");
    }
    std::filesystem::path File() const { return dir_.path() / "Tamsel" / "settings.reg"; }

    testing::TempDir dir_;
    std::optional<std::string> saved_;
};

TEST_F(AllowTool, StatusFollowsWhatIsStored) {
    EXPECT_NE(RunTool("allow status").out.find("filtered"), std::string::npos);
    EXPECT_EQ(RunTool("allow on").exitCode, 0);
    const auto on = RunTool("allow status");
    EXPECT_EQ(on.exitCode, 0);
    EXPECT_NE(on.out.find("allowed"), std::string::npos) << on.out;
}

// A settings file that cannot be read is named with the error, not shown
// as the filter's state.
TEST_F(AllowTool, StatusNamesAFileThatCannotBeRead) {
    std::filesystem::create_directories(File());
    const auto r = RunTool("allow status");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("cannot read " + File().string() + ": Is a directory"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Advertisements are"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace tamsel
