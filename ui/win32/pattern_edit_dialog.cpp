// The Add or Edit dialog: one line of text through PatternEditBuffer.
#include <windows.h>

#include <cstring>
#include <optional>
#include <string>

#include "listfiles/list_store.h"
#include "platform/win32/module_instance.h"
#include "res/resource.h"
#include "ui/win32/list_dialogs.h"

namespace tamsel {

thread_local char PatternEditBuffer[kPatternEditBufferSize] = {};

namespace {

// OK takes the text as typed (blanks and a scheme are the user's to keep)
// unless the list loader would refuse the line: one such line would keep the
// whole list from loading. Then the loader's reason is shown and the dialog
// stays open with the text, to be mended or cancelled.
void OnOk(HWND dialog) {
    char typed[kPatternEditBufferSize] = {};
    GetDlgItemTextA(dialog, IDC_PATTERN_TEXT, typed, kPatternEditBufferSize);
    if (const std::optional<Failure> fault = EntryFault(typed)) {
        const std::string message = "This entry cannot be used: " + fault->message +
                                    "\n\nA line the list cannot load would keep the whole list from working.";
        MessageBoxA(dialog, message.c_str(), "Tamsel", MB_OK | MB_ICONWARNING);
        return;
    }
    std::memcpy(PatternEditBuffer, typed, kPatternEditBufferSize);
    EndDialog(dialog, 1);
}

// Escape (IDCANCEL) and Enter without the default button (IDOK) are left
// alone on purpose: only OK, Cancel and the close box end the dialog.
INT_PTR CALLBACK PatternEditProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG: SetDlgItemTextA(dialog, IDC_PATTERN_TEXT, PatternEditBuffer); return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDC_PATTERN_OK) {
                OnOk(dialog);
            } else if (LOWORD(wParam) == IDC_PATTERN_CANCEL) {
                EndDialog(dialog, 0);
            }
            return TRUE;
        case WM_CLOSE: EndDialog(dialog, 0); return TRUE;
        default: return FALSE;
    }
}

}  // namespace

int PatternEditDialog(HWND owner) {
    const INT_PTR result =
        DialogBoxParamA(ModuleInstance(), MAKEINTRESOURCEA(IDD_PATTERN_EDIT), owner, PatternEditProc, 0);
    return result == 1 ? 1 : 0;
}

}  // namespace tamsel
