// The Add or Edit dialog: one line of text through PatternEditBuffer.
#include <windows.h>

#include "module/win32/module_instance.h"
#include "res/resource.h"
#include "ui/win32/list_dialogs.h"

namespace tamsel {

thread_local char PatternEditBuffer[kPatternEditBufferSize] = {};

namespace {

// The text is taken as typed: blanks, a scheme or a broken expression are
// the user's to keep. Escape (IDCANCEL) and Enter without the default
// button (IDOK) are left alone on purpose: only OK, Cancel and the close
// box end the dialog.
INT_PTR CALLBACK PatternEditProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        SetDlgItemTextA(dialog, IDC_PATTERN_TEXT, PatternEditBuffer);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_PATTERN_OK) {
            GetDlgItemTextA(dialog, IDC_PATTERN_TEXT, PatternEditBuffer, kPatternEditBufferSize);
            EndDialog(dialog, 1);
        } else if (LOWORD(wParam) == IDC_PATTERN_CANCEL) {
            EndDialog(dialog, 0);
        }
        return TRUE;
    case WM_CLOSE:
        EndDialog(dialog, 0);
        return TRUE;
    default:
        return FALSE;
    }
}

}  // namespace

int PatternEditDialog(HWND owner) {
    const INT_PTR result =
        DialogBoxParamA(ModuleInstance(), MAKEINTRESOURCEA(IDD_PATTERN_EDIT), owner, PatternEditProc, 0);
    return result == 1 ? 1 : 0;
}

}  // namespace tamsel
