#include "module/shared_state.h"

namespace tamsel {

namespace {
size_t Index(ListKind kind) { return static_cast<size_t>(kind); }
}  // namespace

// Sequentially consistent throughout: a reader that enters after a
// replacement has swapped a pointer out cannot load that pointer, and one
// that entered before is seen in `readers_` by the replacement.
SharedState::~SharedState() {
    for (auto& slot : lists_) delete slot.load();
}

SharedState::Reader::Reader(const SharedState& state) : state_(state) {
    state_.readers_.fetch_add(1);
    lists_.trust = state_.lists_[Index(ListKind::UserTrust)].load();
    lists_.userBlock = state_.lists_[Index(ListKind::UserBlock)].load();
    lists_.shippedBlock = state_.lists_[Index(ListKind::ShippedBlock)].load();
}

SharedState::Reader::~Reader() { state_.readers_.fetch_sub(1); }

void SharedState::Replace(ListKind kind, std::unique_ptr<PatternList> list) {
    Retire(lists_[Index(kind)].exchange(list.release()));
}

bool SharedState::Present(ListKind kind) const { return lists_[Index(kind)].load() != nullptr; }

void SharedState::ClearLists() {
    for (const ListKind kind : {ListKind::ShippedBlock, ListKind::UserBlock, ListKind::UserTrust}) {
        Replace(kind, nullptr);
    }
}

size_t SharedState::RetiredCount() const {
    std::lock_guard<std::mutex> lock(retireMutex_);
    return retired_.size();
}

void SharedState::Retire(const PatternList* old) {
    std::lock_guard<std::mutex> lock(retireMutex_);
    if (old != nullptr) retired_.emplace_back(old);
    // Every list in `retired_` was swapped out before this point; with no
    // reader inside, none can still be in use.
    if (readers_.load() == 0) retired_.clear();
}

SharedState& TheSharedState() {
    static SharedState* const state = new SharedState;
    return *state;
}

}  // namespace tamsel
