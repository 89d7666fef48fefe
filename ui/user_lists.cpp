#include "ui/user_lists.h"

namespace tamsel {

PatternTextList& UserListTexts(ListKind kind) {
    static PatternTextList* const trust = new PatternTextList(ListKind::UserTrust);
    static PatternTextList* const userBlock = new PatternTextList(ListKind::UserBlock);
    return kind == ListKind::UserTrust ? *trust : *userBlock;
}

void LoadPatternTextLists(const ListStore& store) {
    UserListTexts(ListKind::UserTrust).LoadIfEmpty(store);
    UserListTexts(ListKind::UserBlock).LoadIfEmpty(store);
}

}  // namespace tamsel
