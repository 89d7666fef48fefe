#include "ui/win32/settings_dialog.h"

#include <windows.h>

#include <cstdint>

#include "platform/env.h"
#include "platform/win32/module_instance.h"
#include "res/resource.h"
#include "runtime/shared_state.h"
#include "ui/win32/help_launcher.h"
#include "ui/win32/list_dialogs.h"

namespace tamsel {

namespace {

// Stored at every such close, also when the box was not touched: the store
// then holds what this process follows.
void StoreSwitchAndEnd(HWND dialog) {
    const uint8_t allow = IsDlgButtonChecked(dialog, IDC_ALLOW_ADS) == BST_CHECKED ? 1 : 0;
    TheSharedState().AllowAds.store(allow);
    // A failed write is not shown: this process follows the new choice
    // already, and the next attach reads the old one.
    TheEnv().WriteAllowAdsSwitch(allow);
    EndDialog(dialog, 0);
}

// Told apart by the control id alone; the check box's own clicks and
// anything else do nothing until the dialog closes.
void OnCommand(HWND dialog, int id) {
    switch (id) {
        case IDOK: StoreSwitchAndEnd(dialog); break;
        case IDCANCEL: EndDialog(dialog, 0); break;
        case IDC_BLACK_LIST: BlackListDialog(); break;
        case IDC_WHITE_LIST: WhiteListDialog(); break;
        case IDC_HELP_BUTTON: OpenUrlInBrowser(HelpPageUrl); break;
        default: break;
    }
}

INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            if (TheSharedState().AllowAds.load() != 0) {
                CheckDlgButton(dialog, IDC_ALLOW_ADS, BST_CHECKED);
            }
            return TRUE;  // the system puts the focus on the first tab stop
        case WM_COMMAND: OnCommand(dialog, LOWORD(wParam)); return TRUE;
        case WM_CLOSE:
            // The close box, the system menu's Close and Alt+F4 act as "Close",
            // not as the "Cancel" the dialog manager would make of them.
            StoreSwitchAndEnd(dialog);
            return TRUE;
        default: return FALSE;
    }
}

}  // namespace

void SettingsDialog() {
    DialogBoxParamA(ModuleInstance(), MAKEINTRESOURCEA(IDD_SETTINGS), nullptr, SettingsDialogProc, 0);
}

}  // namespace tamsel
