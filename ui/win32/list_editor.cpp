#include "ui/win32/list_editor.h"

#include <windows.h>

#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "base/boundary.h"
#include "platform/win32/module_instance.h"
#include "res/resource.h"
#include "ui/user_lists.h"
#include "ui/win32/list_dialogs.h"

namespace tamsel {

namespace {

// Which editor of a list is open. `claimed` is taken before the dialog is
// created, so two threads asking at once cannot both open one.
struct EditorSlot {
    std::atomic<bool> claimed{false};
    std::atomic<HWND> window{nullptr};
};

struct EditorKind {
    int templateId;
    int listBoxId;
    EditorSlot& slot;
};

EditorSlot g_trustSlot;
EditorSlot g_userBlockSlot;

const EditorKind kTrustEditor = {IDD_WHITE_LIST, IDC_WHITE_LIST_BOX, g_trustSlot};
const EditorKind kUserBlockEditor = {IDD_BLACK_LIST, IDC_BLACK_LIST_BOX, g_userBlockSlot};

// What one open editor works on; it lives on the stack of RunListEditor.
struct EditorSession {
    const EditorKind& kind;
    const ListStore& store;
    PatternTextList& texts;
};

// Holds the slot for one run and frees it however the run ends.
class SlotClaim {
public:
    explicit SlotClaim(EditorSlot& slot) : slot_(slot), owned_(!slot.claimed.exchange(true)) {}
    ~SlotClaim() {
        if (!owned_) return;
        slot_.window.store(nullptr);
        slot_.claimed.store(false);
    }
    SlotClaim(const SlotClaim&) = delete;
    SlotClaim& operator=(const SlotClaim&) = delete;
    bool owned() const { return owned_; }

private:
    EditorSlot& slot_;
    const bool owned_;
};

EditorSession* SessionOf(HWND dialog) { return reinterpret_cast<EditorSession*>(GetWindowLongPtrA(dialog, DWLP_USER)); }

LRESULT ToList(HWND dialog, const EditorSession& session, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    return SendDlgItemMessageA(dialog, session.kind.listBoxId, message, wParam, lParam);
}

// One list box item, as long as it is.
std::string ItemText(HWND dialog, const EditorSession& session, int index) {
    const LRESULT length = ToList(dialog, session, LB_GETTEXTLEN, static_cast<WPARAM>(index));
    if (length == LB_ERR) return {};
    std::vector<char> buffer(static_cast<size_t>(length) + 1, '\0');
    const LRESULT copied =
        ToList(dialog, session, LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buffer.data()));
    if (copied == LB_ERR) return {};
    return std::string(buffer.data(), static_cast<size_t>(copied));
}

// The list box shows the texts as they are now, the last line of the file
// at the top.
void ShowTexts(HWND dialog, const EditorSession& session) {
    ToList(dialog, session, LB_RESETCONTENT);
    for (const std::string& text : session.texts.Shown()) {
        ToList(dialog, session, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
}

void OnInit(HWND dialog, EditorSession& session) {
    SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(&session));
    session.kind.slot.window.store(dialog);
    ShowTexts(dialog, session);
}

void OnAdd(HWND dialog, const EditorSession& session) {
    PatternEditBuffer[0] = '\0';
    if (PatternEditDialog(dialog) != 1) return;
    if (session.texts.Add(PatternEditBuffer)) ShowTexts(dialog, session);
}

void OnDelete(HWND dialog, const EditorSession& session) {
    const LRESULT selected = ToList(dialog, session, LB_GETCURSEL);
    if (selected == LB_ERR) return;
    if (MessageBoxA(dialog, "Do you want to delete?", "Delete", MB_YESNO | MB_ICONQUESTION) != IDYES) return;
    if (session.texts.Delete(static_cast<size_t>(selected))) ShowTexts(dialog, session);
}

// The edited entry moves to the top. The editor is the Add or Edit
// dialog's owner, so the selection cannot change while the user types.
// The dialog's field holds 259 characters: a longer line shows cut, and
// only OK stores the cut text.
void OnEdit(HWND dialog, const EditorSession& session) {
    const LRESULT selected = ToList(dialog, session, LB_GETCURSEL);
    if (selected == LB_ERR) return;
    const std::string text = ItemText(dialog, session, static_cast<int>(selected));
    const size_t kept = text.size() < kPatternEditBufferSize ? text.size() : kPatternEditBufferSize - 1;
    std::memcpy(PatternEditBuffer, text.data(), kept);
    PatternEditBuffer[kept] = '\0';
    if (PatternEditDialog(dialog) != 1) return;
    if (session.texts.Edit(static_cast<size_t>(selected), PatternEditBuffer)) ShowTexts(dialog, session);
}

// Writes the file and renews the loaded list. A failed write is said, not
// hidden: the edits stay in memory and the next close tries again.
void OnClose(HWND dialog, const EditorSession& session) {
    const ListWriteResult result = session.texts.Close(session.store);
    if (!result.written) {
        const std::string message = "The list could not be saved to " + result.path + ":\n" + result.error +
                                    "\n\nThe file is unchanged. Your changes are kept until the browser closes.";
        MessageBoxA(dialog, message.c_str(), "Tamsel", MB_OK | MB_ICONWARNING);
    }
    EndDialog(dialog, 0);
}

// Enter and Escape (IDOK, IDCANCEL) and the list box's own notifications do
// nothing: the editor closes only through Close or its close box.
void OnCommand(HWND dialog, const EditorSession& session, int id) {
    switch (id) {
        case IDC_LIST_ADD: OnAdd(dialog, session); break;
        case IDC_LIST_DELETE: OnDelete(dialog, session); break;
        case IDC_LIST_EDIT: OnEdit(dialog, session); break;
        case IDC_LIST_CLOSE: OnClose(dialog, session); break;
        default: break;
    }
}

INT_PTR HandleMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        OnInit(dialog, *reinterpret_cast<EditorSession*>(lParam));
        return TRUE;
    }
    EditorSession* session = SessionOf(dialog);
    if (session == nullptr) return FALSE;
    if (message == WM_COMMAND) {
        OnCommand(dialog, *session, LOWORD(wParam));
        return TRUE;
    }
    if (message == WM_CLOSE) {
        OnClose(dialog, *session);
        return TRUE;
    }
    return FALSE;
}

// Out of memory: the editor stays as it was.
INT_PTR CALLBACK ListEditorProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return AtBoundary<INT_PTR>(FALSE, [&] { return HandleMessage(dialog, message, wParam, lParam); });
}

}  // namespace

void RunListEditor(ListKind kind, const ListStore& store) {
    const EditorKind& editor = kind == ListKind::UserTrust ? kTrustEditor : kUserBlockEditor;
    const SlotClaim claim(editor.slot);
    if (!claim.owned()) {
        if (const HWND open = editor.slot.window.load()) SetForegroundWindow(open);
        return;
    }
    EditorSession session{editor, store, UserListTexts(kind)};
    DialogBoxParamA(ModuleInstance(), MAKEINTRESOURCEA(editor.templateId), nullptr, ListEditorProc,
                    reinterpret_cast<LPARAM>(&session));
}

int WhiteListDialog() {
    RunListEditor(ListKind::UserTrust, TheListStore());
    return 0;
}

int BlackListDialog() {
    RunListEditor(ListKind::UserBlock, TheListStore());
    return 0;
}

}  // namespace tamsel
