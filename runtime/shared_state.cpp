#include "runtime/shared_state.h"

#include <chrono>
#include <thread>

namespace tamsel {

struct SharedState::Held {
    explicit Held(std::unique_ptr<PatternList> l) : list(std::move(l)) {}
    std::unique_ptr<const PatternList> list;
    mutable std::atomic<long> holders{1};  // the slot's own reference
};

// Sequentially consistent throughout. Why no reader can take a reference to
// a freed list: a reader that loads a list from a slot does so after it has
// counted itself in the window of phase p and seen the phase still at p. A
// replacement swaps the list out, then moves the phase past p, then waits
// for the window of p to empty, and only then drops the slot's reference. A
// reader that loaded the old list did so before the swap, so it saw phase p
// before the phase moved on, and was counted in the window of p until after
// it had added itself to the list's holders: the slot's reference is still
// there when it does.
SharedState::~SharedState() {
    for (auto& slot : lists_) Release(slot.load());
}

SharedState::Reader::Reader(const SharedState& state) : state_(state) {
    for (;;) {
        const uint32_t phase = state_.phase_.load();
        std::atomic<long>& window = state_.entering_[phase & 1];
        window.fetch_add(1);
        if (state_.phase_.load() == phase) {
            for (size_t i = 0; i < 3; ++i) {
                held_[i] = state_.lists_[i].load();
                if (held_[i] != nullptr) held_[i]->holders.fetch_add(1);
            }
            window.fetch_sub(1);
            break;
        }
        window.fetch_sub(1);  // a replacement moved on meanwhile: count again
    }
    const auto list = [this](ListKind kind) {
        const Held* held = held_[Index(kind)];
        return held != nullptr ? held->list.get() : nullptr;
    };
    lists_.trust = list(ListKind::UserTrust);
    lists_.userBlock = list(ListKind::UserBlock);
    lists_.shippedBlock = list(ListKind::ShippedBlock);
}

SharedState::Reader::~Reader() {
    for (const Held* held : held_) state_.Release(held);
}

void SharedState::Release(const Held* held) const {
    if (held == nullptr || held->holders.fetch_sub(1) != 1) return;
    delete held;
    alive_.fetch_sub(1);
}

bool SharedState::WaitForEntryWindow() {
    const uint32_t left = phase_.fetch_add(1);
    // Readers stay in the window for a few instructions. One that never
    // leaves it was stopped there (a thread killed as the process ends): then
    // the replaced list is left allocated rather than risk freeing it under
    // that reader.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (entering_[left & 1].load() != 0) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::yield();
    }
    return true;
}

void SharedState::Replace(ListKind kind, std::unique_ptr<PatternList> list) {
    std::lock_guard<std::mutex> lock(writerMutex_);
    Held* fresh = nullptr;
    if (list) {
        fresh = new Held(std::move(list));
        alive_.fetch_add(1);
    }
    const Held* old = lists_[Index(kind)].exchange(fresh);
    if (old != nullptr && WaitForEntryWindow()) Release(old);
}

bool SharedState::Present(ListKind kind) const { return lists_[Index(kind)].load() != nullptr; }

void SharedState::ClearLists() {
    for (const ListKind kind : {ListKind::ShippedBlock, ListKind::UserBlock, ListKind::UserTrust}) {
        Replace(kind, nullptr);
    }
}

SharedState& TheSharedState() {
    static SharedState* const state = new SharedState;
    return *state;
}

}  // namespace tamsel
