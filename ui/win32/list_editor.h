// The list editor shared by "My White List" and "My Black List": one dialog
// procedure, told which list it edits and which store keeps its file.
#pragma once

#include "listfiles/list_store.h"

namespace tamsel {

// Runs the editor of the user list `kind` (UserBlock or UserTrust) with its
// file and pattern list kept by `store` (TheListStore() for the dialogs the
// settings dialog opens). Returns when the editor closes, or at once when
// that list's editor is already open (which then comes to the front).
void RunListEditor(ListKind kind, const ListStore& store);

}  // namespace tamsel
