// Shows one of the module's dialogs for a screenshot and keeps it up.
//
//   show_dialog.exe TEMPLATE_ID RECT_FILE
//
// Once the dialog is painted, writes its screen rectangle ("left top width
// height") to RECT_FILE; ends when RECT_FILE.done appears. The list editors
// show a few example entries, inserted on top as the editors insert them.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "res/resource.h"

namespace {

std::string g_rectFile;

void Fill(HWND dialog, int templateId) {
    const int box = templateId == IDD_WHITE_LIST ? IDC_WHITE_LIST_BOX : IDC_BLACK_LIST_BOX;
    const char* const white[] = {"www.example.org", "*.example.net/news/"};
    const char* const black[] = {"ad.example.com", "*.ads.example.net", "/image/banners", "/*.*/sponsors?[0-9]?/"};
    if (templateId == IDD_PATTERN_EDIT) {
        SetDlgItemTextA(dialog, IDC_PATTERN_TEXT, "*.ads.example.net");
        return;
    }
    if (templateId != IDD_WHITE_LIST && templateId != IDD_BLACK_LIST) return;
    const bool isWhite = templateId == IDD_WHITE_LIST;
    const int count = isWhite ? 2 : 4;
    for (int i = 0; i < count; ++i) {
        const char* text = isWhite ? white[i] : black[i];
        SendDlgItemMessageA(dialog, box, LB_INSERTSTRING, 0, reinterpret_cast<LPARAM>(text));
    }
}

INT_PTR CALLBACK Keep(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

bool WriteRect(HWND dialog) {
    RECT rect;
    GetWindowRect(dialog, &rect);
    const std::string temporary = g_rectFile + ".tmp";
    FILE* file = std::fopen(temporary.c_str(), "w");
    if (file == nullptr) return false;
    std::fprintf(file, "%ld %ld %ld %ld\n", rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
    return std::fclose(file) == 0 && MoveFileExA(temporary.c_str(), g_rectFile.c_str(), MOVEFILE_REPLACE_EXISTING);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: show_dialog TEMPLATE_ID RECT_FILE\n");
        return 2;
    }
    const int templateId = std::atoi(argv[1]);
    g_rectFile = argv[2];
    HWND dialog = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(templateId), nullptr, Keep, 0);
    if (dialog == nullptr) {
        std::fprintf(stderr, "show_dialog: no dialog %d (error %lu)\n", templateId, GetLastError());
        return 1;
    }
    Fill(dialog, templateId);
    SetWindowPos(dialog, HWND_TOP, 40, 40, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    UpdateWindow(dialog);
    const std::string stopFile = g_rectFile + ".done";
    bool reported = false;
    for (;;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (!IsDialogMessageA(dialog, &message)) {
                TranslateMessage(&message);
                DispatchMessageA(&message);
            }
        }
        // Reported only once the queue is drained: the dialog is painted.
        if (!reported) reported = WriteRect(dialog);
        if (GetFileAttributesA(stopFile.c_str()) != INVALID_FILE_ATTRIBUTES) break;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
    }
    DestroyWindow(dialog);
    return 0;
}
