// The real settings dialog, driven by window messages from inside its own
// modal loop, against the real store in the Wine prefix's registry.
#include "ui/win32/settings_dialog.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>

#include "listfiles/list_store.h"
#include "platform/env.h"
#include "res/resource.h"
#include "runtime/list_supply.h"
#include "runtime/shared_state.h"
#include "ui/win32/dialog_script.h"
#include "ui/win32/help_launcher.h"
#include "ui/win32/launch_marker.h"

namespace tamsel {
namespace {

using testing::DialogScript;
using testing::FindDialog;
using testing::Marker;
using testing::Step;
using testing::SwappedDefault;

constexpr char kCaption[] = "Tamsel 1.2 Setting";

// Each step waits for the settings dialog to be up and to be the one the
// user faces (no editor open over it).
Step OnSettings(std::function<void(HWND)> action) {
    return [action] {
        HWND dialog = FindDialog(kCaption);
        if (dialog == nullptr || FindDialog("Tamsel Black List") != nullptr) return false;
        action(dialog);
        return true;
    };
}

Step ReadCheckBox(std::optional<bool>& checked) {
    return OnSettings([&checked](HWND dialog) { checked = IsDlgButtonChecked(dialog, IDC_ALLOW_ADS) == BST_CHECKED; });
}

Step Click(int id) {
    return OnSettings([id](HWND dialog) { PostMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); });
}

Step CloseBox() {
    return OnSettings([](HWND dialog) { PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); });
}

// A key pressed while `id` has the focus; `focused` tells whether it had.
Step KeyOn(int id, WPARAM key, bool& focused) {
    return OnSettings([id, key, &focused](HWND dialog) {
        HWND control = GetDlgItem(dialog, id);
        SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
        focused = GetFocus() == control;
        PostMessageA(control, WM_KEYDOWN, key, 0);
        PostMessageA(control, WM_KEYUP, key, 0);
    });
}

class SettingsDialogTest : public ::testing::Test {
protected:
    void SetUp() override { saved_ = TheEnv().ReadAllowAdsSwitch(); }
    void TearDown() override {
        TheEnv().WriteAllowAdsSwitch(saved_);
        TheSharedState().AllowAds.store(0);
    }

    static void Start(uint8_t allowAds, uint32_t stored) {
        TheSharedState().AllowAds.store(allowAds);
        ASSERT_TRUE(TheEnv().WriteAllowAdsSwitch(stored));
    }

    // Shows the real dialog and returns once it has closed.
    static void Run(std::vector<Step> steps) {
        DialogScript script(std::move(steps));
        SettingsDialog();
        EXPECT_TRUE(script.Completed()) << "a step never came true; the dialog was ended";
        EXPECT_EQ(FindDialog(kCaption), nullptr);
    }

    static void ExpectSwitch(uint8_t allowAds, uint32_t stored) {
        EXPECT_EQ(TheSharedState().AllowAds.load(), allowAds);
        EXPECT_EQ(TheEnv().ReadAllowAdsSwitch(), stored);
    }

private:
    uint32_t saved_ = 0;
};

TEST_F(SettingsDialogTest, CheckBoxOpensAsAllowAdsIs) {
    for (const uint8_t allowAds : {0, 1}) {
        Start(allowAds, 0);
        std::optional<bool> checked;
        Run({ReadCheckBox(checked), Click(IDCANCEL)});
        ASSERT_TRUE(checked.has_value());
        EXPECT_EQ(*checked, allowAds == 1);
    }
}

TEST_F(SettingsDialogTest, CancelAndEscapeStoreNothing) {
    Start(0, 0);
    std::optional<bool> checked;
    Run({Click(IDC_ALLOW_ADS), ReadCheckBox(checked), Click(IDCANCEL)});
    EXPECT_EQ(checked, true);
    ExpectSwitch(0, 0);

    bool focused = false;
    checked.reset();
    Run({Click(IDC_ALLOW_ADS), ReadCheckBox(checked), KeyOn(IDC_ALLOW_ADS, VK_ESCAPE, focused)});
    EXPECT_EQ(checked, true);
    EXPECT_TRUE(focused);
    ExpectSwitch(0, 0);
}

TEST_F(SettingsDialogTest, CloseBoxStoresLikeClose) {
    Start(0, 0);
    Run({Click(IDC_ALLOW_ADS), CloseBox()});
    ExpectSwitch(1, 1);

    Run({Click(IDC_ALLOW_ADS), CloseBox()});
    ExpectSwitch(0, 0);
}

TEST_F(SettingsDialogTest, CloseWithoutTouchingWritesTheCurrentValue) {
    Start(1, 0);
    Run({Click(IDOK)});
    ExpectSwitch(1, 1);

    Start(0, 1);
    Run({Click(IDOK)});
    ExpectSwitch(0, 0);
}

TEST_F(SettingsDialogTest, EnterOnTheCheckBoxStoresAndCloses) {
    Start(0, 0);
    bool focused = false;
    Run({Click(IDC_ALLOW_ADS), KeyOn(IDC_ALLOW_ADS, VK_RETURN, focused)});
    EXPECT_TRUE(focused);
    ExpectSwitch(1, 1);
}

// Waits for the black list editor and closes it with its own "Close".
Step CloseBlackListEditor() {
    return [] {
        HWND editor = FindDialog("Tamsel Black List");
        if (editor == nullptr) return false;
        PostMessageA(editor, WM_COMMAND, MAKEWPARAM(IDC_LIST_CLOSE, BN_CLICKED), 0);
        return true;
    };
}

TEST_F(SettingsDialogTest, ListEditorReturnsToTheOpenDialogAsTheUserLeftIt) {
    // The editor writes its list beside the program when it closes.
    const std::optional<std::string> listFile = TheListStore().PathOf(ListKind::UserBlock);
    ASSERT_TRUE(listFile.has_value());
    Start(0, 0);
    std::optional<bool> checked;
    uint8_t allowAdsWhileOpen = 9;
    Run({Click(IDC_ALLOW_ADS), Click(IDC_BLACK_LIST), CloseBlackListEditor(), ReadCheckBox(checked),
         OnSettings([&](HWND) { allowAdsWhileOpen = TheSharedState().AllowAds.load(); }), Click(IDCANCEL)});
    EXPECT_EQ(checked, true);
    EXPECT_EQ(allowAdsWhileOpen, 0) << "the switch changes only when the settings dialog closes";
    ExpectSwitch(0, 0);
    std::remove(listFile->c_str());
}

TEST_F(SettingsDialogTest, HelpOpensTheHelpPageAndLeavesTheDialogOpen) {
    // For this test the shell hands http addresses to the marker program.
    const SwappedDefault http(HKEY_CLASSES_ROOT, "http\\shell\\open\\command", Marker::OpenCommand());
    const Marker marker;
    Start(0, 0);
    std::optional<std::string> recorded;
    std::optional<bool> checked;
    Run({Click(IDC_ALLOW_ADS), Click(IDC_HELP_BUTTON), [&] { return (recorded = marker.Read()).has_value(); },
         ReadCheckBox(checked), Click(IDCANCEL)});
    ASSERT_TRUE(recorded.has_value()) << "nothing was started";
    EXPECT_EQ(recorded->substr(0, recorded->find('\n')), std::to_string(SW_SHOWNORMAL));
    EXPECT_NE(recorded->find(HelpPageUrl), std::string::npos) << *recorded;
    EXPECT_EQ(checked, true);
    ExpectSwitch(0, 0);
}

}  // namespace
}  // namespace tamsel
