// The list editor shared by "My White List" and "My Black List": one dialog
// procedure, told which list it edits and which store keeps its file.
#pragma once

#include "module/list_store.h"

namespace tamsel {

// Runs the editor of the user list `kind` (UserBlock or UserTrust) with its
// file and pattern list kept by `store` (TheListStore() for the dialogs the
// settings dialog opens). Returns 0 when the editor closes, or at once when
// that list's editor is already open.
int RunListEditor(ListKind kind, const ListStore& store);

}  // namespace tamsel
