// The process-wide values through which the parts of the module meet.
//
// Each list is an immutable snapshot behind an atomic pointer, with a count of
// its holders: the slot that publishes it and every read section using it.
// The last holder to let go frees it, so a replaced list is freed as soon as
// its last reader leaves, whatever other readers do. A reader takes its
// references inside a short entry window; a replacement waits only for the
// readers that are inside that window (a few instructions each) before it
// lets go of the slot's reference, so no reader can take a reference to a
// list already freed. Readers never lock and never allocate.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "listfiles/list_kind.h"
#include "patterns/judge.h"
#include "patterns/pattern_list.h"

namespace tamsel {

class SharedState final : public ListSlots {
    struct Held;  // a published list and the count of its holders

public:
    std::atomic<int32_t> attachCount{0};
    std::atomic<uint8_t> AllowAds{0};

    SharedState() = default;
    // Frees every list; no reader may be inside any more.
    ~SharedState() override;
    SharedState(const SharedState&) = delete;
    SharedState& operator=(const SharedState&) = delete;

    // A read section: the lists it shows stay alive until it ends.
    class Reader {
    public:
        explicit Reader(const SharedState& state);
        ~Reader();
        Reader(const Reader&) = delete;
        Reader& operator=(const Reader&) = delete;
        const ListSet& lists() const { return lists_; }

    private:
        const SharedState& state_;
        const Held* held_[3] = {};
        ListSet lists_;
    };

    // Publishes `list` (null included) in place of the current one. Loading
    // a list from its file is the list store's (list_store.h).
    void Replace(ListKind kind, std::unique_ptr<PatternList> list) override;
    bool Present(ListKind kind) const override;
    // Empties all three slots and frees every list no reader holds.
    void ClearLists();

    // Lists published and not yet freed: those in the slots and those that
    // were replaced while a reader still held them.
    long ListsAlive() const { return alive_.load(); }

private:
    void Release(const Held* held) const;
    bool WaitForEntryWindow();

    std::atomic<Held*> lists_[3] = {};
    // Readers count themselves in the entry window of the current phase
    // while they take their references; a replacement moves to the next
    // phase and waits for the window of the last one to empty.
    mutable std::atomic<uint32_t> phase_{0};
    mutable std::atomic<long> entering_[2] = {};
    std::mutex writerMutex_;  // writers only
    mutable std::atomic<long> alive_{0};
};

// The one record of the process. It is never destroyed, so a send made
// while the process exits still finds it.
SharedState& TheSharedState();

}  // namespace tamsel
