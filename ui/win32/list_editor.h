// The list editor shared by "My White List" and "My Black List": one dialog
// procedure, told which list it edits and where its file lies.
#pragma once

#include "ui/pattern_text_list.h"

namespace tamsel {

enum class EditorList { White, Black };

// Runs the editor of `which` with its list file at `where` (the module's
// folder for the dialogs the settings dialog opens). Returns 0 when the
// editor closes, or at once when that list's editor is already open.
int RunListEditor(EditorList which, const ListFilePath& where);

}  // namespace tamsel
