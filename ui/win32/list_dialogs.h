// The list editors and the Add or Edit dialog, as the settings dialog opens
// them.
#pragma once

#include <windows.h>

#include <cstddef>

#include "module/list_store.h"
#include "ui/pattern_text_list.h"

namespace tamsel {

inline constexpr size_t kPatternEditBufferSize = 260;  // 259 characters and the terminator

// The one pattern text an editor hands to PatternEditDialog and gets back.
// One per thread: every browser window runs its editors on its own thread,
// and two windows editing at once must not share the text.
extern thread_local char PatternEditBuffer[kPatternEditBufferSize];

// The texts of the two user lists (UserBlock or UserTrust) the editors
// show; they live as long as the process.
PatternTextList& UserListTexts(ListKind kind);

// Loads the trust list's texts, then the user block list's, each only while
// it is empty, and renews the loaded pattern lists. Run at the construction
// of every AdFilter object.
void LoadPatternTextLists(const ListStore& store = TheListStore());

// The editors of "My White List" (UserTrust.txt) and "My Black List"
// (UserBlock.txt). Each runs modally with no owner window and returns 0
// when it closes; its close writes the file and renews the loaded list.
// While an editor of a list is open, a second request brings it to the
// front and returns at once.
int WhiteListDialog();
int BlackListDialog();

// Shows PatternEditBuffer for editing. Returns 1 after "OK" (the buffer
// then holds the typed text, cut to 259 characters), else 0 with the buffer
// as it was. `owner`, when given, is disabled meanwhile.
int PatternEditDialog(HWND owner = nullptr);

}  // namespace tamsel
