#include "ui/help_command.h"

#include <gtest/gtest.h>

#include <string>

namespace tamsel {
namespace {

const char kAddress[] = "http://www.example.org/tamsel/help.htm";

TEST(FormBrowserCommandLine, QuotedPlaceholderGoesWithItsQuotes) {
    // The blank before the placeholder stays and one more is added.
    EXPECT_EQ(FormBrowserCommandLine("\"C:\\Program Files\\Browser\\browser.exe\" \"%1\"", kAddress),
              std::string("\"C:\\Program Files\\Browser\\browser.exe\"  ") + kAddress);
}

TEST(FormBrowserCommandLine, BarePlaceholderDropsTheOptionsAfterIt) {
    EXPECT_EQ(FormBrowserCommandLine("C:\\browser.exe %1 -nohome -new", kAddress),
              std::string("C:\\browser.exe  ") + kAddress);
}

TEST(FormBrowserCommandLine, NoPlaceholderKeepsTheWholeCommand) {
    EXPECT_EQ(FormBrowserCommandLine("C:\\browser.exe -nohome", kAddress),
              std::string("C:\\browser.exe -nohome ") + kAddress);
}

TEST(FormBrowserCommandLine, QuotedPlaceholderIsPreferredToAnEarlierBareOne) {
    // "%1" inside an option comes first, but the quoted form decides.
    EXPECT_EQ(CutAtPlaceholder("b.exe -x%1 \"%1\" -y"), "b.exe -x%1 ");
    EXPECT_EQ(CutAtPlaceholder("b.exe \"%1\" \"%1\""), "b.exe ");
    EXPECT_EQ(CutAtPlaceholder("\"%1\""), "");
    EXPECT_EQ(CutAtPlaceholder("b.exe %2"), "b.exe %2");
}

TEST(FormBrowserCommandLine, LineThatWouldNotFitIsRefusedNotCut) {
    const std::string program(300, 'p');
    // 300, the blank kept before "%1", the added blank, 217 and the
    // terminator make 520: the longest line that fits.
    const std::string fits(217, 'a');
    const auto line = FormBrowserCommandLine(program + " %1", fits);
    ASSERT_TRUE(line.has_value());
    EXPECT_EQ(line->size() + 1, kCommandLineChars);
    EXPECT_FALSE(FormBrowserCommandLine(program + " %1", fits + "a").has_value());
    // What the cut drops does not count against the limit.
    EXPECT_TRUE(FormBrowserCommandLine(program + " %1" + std::string(400, 'x'), fits).has_value());
}

TEST(OpenCommandKeyPath, AppendsTheOpenVerbsCommandKey) {
    EXPECT_EQ(OpenCommandKeyPath("htmlfile"), "htmlfile\\shell\\open\\command");
}

TEST(TerminatedRegistryText, EndsAtTheFirstTerminatorWithinTheReportedBytes) {
    const char stored[] = "htmlfile\0junk";
    EXPECT_EQ(TerminatedRegistryText(stored, sizeof stored, kRegistryTextChars), "htmlfile");
}

TEST(TerminatedRegistryText, ValueWithoutTerminatorEndsAfterTheReportedBytes) {
    char buffer[kRegistryTextChars];
    std::string("htmlfileXXXX").copy(buffer, 12);
    EXPECT_EQ(TerminatedRegistryText(buffer, 8, sizeof buffer), "htmlfile");
}

TEST(TerminatedRegistryText, UnterminatedTextFillingTheBufferIsRefused) {
    char buffer[kRegistryTextChars];
    std::string(sizeof buffer, 'c').copy(buffer, sizeof buffer);
    EXPECT_FALSE(TerminatedRegistryText(buffer, sizeof buffer, sizeof buffer).has_value());
    // A report beyond the buffer never reads past it.
    EXPECT_FALSE(TerminatedRegistryText(buffer, 4 * sizeof buffer, sizeof buffer).has_value());
    // 259 characters and the terminator is the longest text there is.
    buffer[sizeof buffer - 1] = '\0';
    EXPECT_EQ(TerminatedRegistryText(buffer, sizeof buffer, sizeof buffer), std::string(259, 'c'));
}

}  // namespace
}  // namespace tamsel
