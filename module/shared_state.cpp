#include "module/shared_state.h"

namespace tamsel {

void ListSlot::Replace(std::unique_ptr<PatternList> list) {
    std::shared_ptr<const PatternList> fresh(list.release(), FreePatternList);
    list_.store(std::move(fresh), std::memory_order_release);
}

void ListSlot::Reload(const std::string& path) { Replace(LoadPatternList(path)); }

void ListSlot::RenewIfPresent(const std::string& path) {
    if (Present()) Reload(path);
}

SharedState& TheSharedState() {
    static SharedState* const state = new SharedState;
    return *state;
}

}  // namespace tamsel
