#include "platform/env.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace tamsel {
namespace {

// Linked into a test program, the module is the program itself.
TEST(ModuleFolderPath, NamesAFileBesideTheModule) {
    const auto path = TheEnv().ModuleFolderPath("UserBlock.txt");
    ASSERT_TRUE(path);
    const std::filesystem::path p(*path);
    EXPECT_EQ(p.filename(), "UserBlock.txt");
    EXPECT_TRUE(std::filesystem::is_directory(p.parent_path())) << *path;
    EXPECT_TRUE(p.is_absolute()) << *path;
}

TEST(ModuleFolderPath, TooLongIsAFailureNotATruncation) {
    const std::string longName(5000, 'n');
    EXPECT_FALSE(TheEnv().ModuleFolderPath(longName));
}

}  // namespace
}  // namespace tamsel
