#include "ui/win32/help_launcher.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "ui/win32/launch_marker.h"

namespace tamsel {
namespace {

using testing::CreateKey;
using testing::Marker;
using testing::ScratchKey;
using testing::SetDefault;
using testing::SetDefaultBytes;
using testing::SwappedDefault;

constexpr char kAddress[] = "http://www.example.org/tamsel/help.htm";

// A classes root of the test's own under HKEY_CURRENT_USER, removed with
// everything in it afterwards.
class ScratchClasses {
public:
    static constexpr char kPath[] = "Software\\Tamsel Tests\\Classes";
    ScratchClasses() : root_(CreateKey(HKEY_CURRENT_USER, kPath)) {}
    ~ScratchClasses() {
        root_.reset();
        RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Tamsel Tests");
    }
    HKEY root() const { return root_.get(); }
    void Set(const std::string& path, const std::string& text) const { SetDefault(root(), path, text); }

private:
    RegistryKey root_;
};

// Steps that never reach the shell or start anything: the shell refuses and
// every command line is kept.
struct WatchedSteps {
    std::vector<std::string> started;
    bool shellOpens = false;

    BrowserLaunchSteps Steps(HKEY classesRoot) {
        return {[this](const char*) { return shellOpens; }, classesRoot,
                [this](const std::string& line) {
                    started.push_back(line);
                    return true;
                }};
    }
};

class HelpLauncherFallback : public ::testing::Test {
protected:
    // The web page type's class with the given open command, named by ".html".
    void SetOpenCommand(const std::string& command) {
        classes_.Set(".html", "TamselTestPage");
        classes_.Set("TamselTestPage\\shell\\open\\command", command);
    }
    int32_t Open(const std::string& address = kAddress) {
        return OpenUrlInBrowserWith(address.c_str(), watched_.Steps(classes_.root()));
    }

    ScratchClasses classes_;
    WatchedSteps watched_;
};

TEST_F(HelpLauncherFallback, ShellThatOpensTheAddressEndsTheCallWithZero) {
    SetOpenCommand("browser.exe \"%1\"");
    watched_.shellOpens = true;
    EXPECT_EQ(Open(), 0);
    EXPECT_TRUE(watched_.started.empty());
}

TEST_F(HelpLauncherFallback, FormsTheCommandLineFromTheOpenCommand) {
    const struct {
        const char* openCommand;
        std::string started;
    } cases[] = {
        {"\"C:\\Program Files\\Browser\\browser.exe\" \"%1\"",
         std::string("\"C:\\Program Files\\Browser\\browser.exe\"  ") + kAddress},
        {"C:\\Browser\\browser.exe %1 -nohome -new", std::string("C:\\Browser\\browser.exe  ") + kAddress},
        {"C:\\Browser\\browser.exe -nohome", std::string("C:\\Browser\\browser.exe -nohome ") + kAddress},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.openCommand);
        watched_.started.clear();
        SetOpenCommand(c.openCommand);
        EXPECT_EQ(Open(), 1);
        EXPECT_EQ(watched_.started, std::vector<std::string>{c.started});
    }
}

TEST_F(HelpLauncherFallback, HtmIsTheSecondChoiceAfterHtml) {
    classes_.Set(".htm", "TamselHtmPage");
    classes_.Set("TamselHtmPage\\shell\\open\\command", "htm.exe %1");
    classes_.Set("TamselHtmlPage\\shell\\open\\command", "html.exe %1");
    EXPECT_EQ(Open(), 1);  // no ".html" at all
    ASSERT_EQ(watched_.started.size(), 1u);
    EXPECT_EQ(watched_.started[0], std::string("htm.exe  ") + kAddress);

    // A ".html" key without a value counts as missing.
    CreateKey(classes_.root(), ".html");
    EXPECT_EQ(Open(), 1);
    EXPECT_EQ(watched_.started.back(), std::string("htm.exe  ") + kAddress);

    classes_.Set(".html", "TamselHtmlPage");
    EXPECT_EQ(Open(), 1);
    EXPECT_EQ(watched_.started.back(), std::string("html.exe  ") + kAddress);
}

TEST_F(HelpLauncherFallback, MissingKeysStartNothing) {
    EXPECT_EQ(Open(), 0);  // neither ".html" nor ".htm"
    classes_.Set(".html", "TamselTestPage");
    classes_.Set(".htm", "TamselTestPage");
    EXPECT_EQ(Open(), 0);  // the class has no open command
    CreateKey(classes_.root(), "TamselTestPage\\shell\\open\\command");
    EXPECT_EQ(Open(), 0);  // nor a value in it
    classes_.Set("TamselTestPage\\shell\\open\\command", "");
    EXPECT_EQ(Open(), 0);  // or an empty one
    classes_.Set(".html", "");
    classes_.Set(".htm", "");
    EXPECT_EQ(Open(), 0);  // an empty class name names no class
    EXPECT_TRUE(watched_.started.empty());
}

TEST_F(HelpLauncherFallback, LineOverFiveHundredTwentyCharactersStartsNothing) {
    const std::string program(250, 'p');
    SetOpenCommand(program + " \"%1\"");
    // 250, the kept blank, the added blank, the address and the terminator.
    EXPECT_EQ(Open(std::string(520 - 253, 'a')), 1);
    EXPECT_EQ(Open(std::string(520 - 252, 'a')), 0);
    EXPECT_EQ(Open(std::string(4000, 'a')), 0);
    EXPECT_EQ(watched_.started.size(), 1u);
}

TEST_F(HelpLauncherFallback, ProgramThatCannotStartIsNoSuccess) {
    SetOpenCommand("\"C:\\no such folder\\browser.exe\" \"%1\"");
    BrowserLaunchSteps steps = SystemBrowserLaunchSteps();
    steps.openWithShell = [](const char*) { return false; };
    steps.classesRoot = classes_.root();
    EXPECT_EQ(OpenUrlInBrowserWith(kAddress, steps), 0);
}

TEST(ReadKeyDefaultValue, ReadsTextsUpToTwoHundredFiftyNineCharactersWhole) {
    const ScratchClasses classes;
    std::string value = "untouched";
    EXPECT_EQ(ReadKeyDefaultValue(classes.root(), "missing", value), ERROR_FILE_NOT_FOUND);
    CreateKey(classes.root(), "valueless");
    EXPECT_EQ(ReadKeyDefaultValue(classes.root(), "valueless", value), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(value, "untouched");

    const std::string longest(259, 'x');
    classes.Set("longest", longest);
    EXPECT_EQ(ReadKeyDefaultValue(classes.root(), "longest", value), ERROR_SUCCESS);
    EXPECT_EQ(value, longest);

    // Stored without its terminator: the registry hands back bytes only.
    SetDefaultBytes(classes.root(), "bare", "htmlfile");
    EXPECT_EQ(ReadKeyDefaultValue(classes.root(), "bare", value), ERROR_SUCCESS);
    EXPECT_EQ(value, "htmlfile");
}

TEST(ReadKeyDefaultValue, TextThatFillsTheBufferWithoutTerminatorIsRefused) {
    const ScratchClasses classes;
    std::string value = "untouched";
    // 260 bytes and no terminator fit the buffer exactly: copying them as a
    // string would read past it.
    SetDefaultBytes(classes.root(), "full", std::string(260, 'y'));
    EXPECT_NE(ReadKeyDefaultValue(classes.root(), "full", value), ERROR_SUCCESS);
    SetDefault(classes.root(), "longer", std::string(260, 'z'));
    EXPECT_NE(ReadKeyDefaultValue(classes.root(), "longer", value), ERROR_SUCCESS);
    EXPECT_EQ(value, "untouched");
}

TEST(OpenUrlInBrowser, ShellShowsTheAddressNormally) {
    // A scheme of our own whose handler is the marker program.
    const ScratchKey scheme(HKEY_CLASSES_ROOT, "tamsel-test-shown", "URL:Tamsel test");
    RegSetValueExA(CreateKey(HKEY_CLASSES_ROOT, "tamsel-test-shown").get(), "URL Protocol", 0, REG_SZ,
                   reinterpret_cast<const BYTE*>(""), 1);
    SetDefault(HKEY_CLASSES_ROOT, "tamsel-test-shown\\shell\\open\\command", Marker::OpenCommand());
    const Marker marker;
    EXPECT_EQ(OpenUrlInBrowser("tamsel-test-shown:help"), 0);
    const std::optional<std::string> recorded = marker.Wait();
    ASSERT_TRUE(recorded.has_value()) << "the shell started nothing";
    EXPECT_EQ(recorded->substr(0, recorded->find('\n')), std::to_string(SW_SHOWNORMAL));
    EXPECT_NE(recorded->find("tamsel-test-shown:help"), std::string::npos) << *recorded;
}

TEST(OpenUrlInBrowser, FallbackStartsTheLineItFormed) {
    // Nothing handles this scheme, so the shell refuses the address.
    const char address[] = "tamsel-test-unhandled:help";
    const ScratchKey page(HKEY_CLASSES_ROOT, "TamselTestPage", "");
    SetDefault(HKEY_CLASSES_ROOT, "TamselTestPage\\shell\\open\\command", Marker::OpenCommand());
    const SwappedDefault html(HKEY_CLASSES_ROOT, ".html", "TamselTestPage");
    const Marker marker;
    EXPECT_EQ(OpenUrlInBrowser(address), 1);
    const std::optional<std::string> recorded = marker.Wait();
    ASSERT_TRUE(recorded.has_value()) << "the fallback started nothing";
    // Started with default start-up data: no show state of its own.
    EXPECT_EQ(*recorded, "-1\n\"" + Marker::Program() + "\"  " + address);
}

}  // namespace
}  // namespace tamsel
