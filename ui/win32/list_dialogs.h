// The list editors and the Add or Edit dialog, as the settings dialog opens
// them.
#pragma once

#include <windows.h>

#include <cstddef>

namespace tamsel {

inline constexpr size_t kPatternEditBufferSize = 260;  // 259 characters and the terminator

// The one pattern text an editor hands to PatternEditDialog and gets back.
// One per thread: every browser window runs its editors on its own thread,
// and two windows editing at once must not share the text.
extern thread_local char PatternEditBuffer[kPatternEditBufferSize];

// The editors of "My White List" (UserTrust.txt) and "My Black List"
// (UserBlock.txt). Each runs modally with no owner window and returns 0
// when it closes; its close writes the file and renews the loaded list.
// While an editor of a list is open, a second request brings it to the
// front and returns at once.
int WhiteListDialog();
int BlackListDialog();

// Shows PatternEditBuffer for editing. Returns 1 after "OK" (the buffer
// then holds the typed text, cut to 259 characters), else 0 with the buffer
// as it was. "OK" on a text the list loader would refuse says why and keeps
// the dialog open. `owner`, when given, is disabled meanwhile.
int PatternEditDialog(HWND owner = nullptr);

}  // namespace tamsel
