// The texts of the user's two lists as this process edits them: filled at
// the first construction of an AdFilter object that finds them empty, kept
// until the process ends.
#pragma once

#include "listfiles/list_store.h"
#include "runtime/list_supply.h"
#include "ui/pattern_text_list.h"

namespace tamsel {

// The texts of the user block list or the trust list. Never destroyed.
PatternTextList& UserListTexts(ListKind kind);

// Loads the trust list's texts, then the user block list's, each only while
// it is empty, and renews the loaded pattern lists.
void LoadPatternTextLists(const ListStore& store = TheListStore());

}  // namespace tamsel
