// The process-wide values through which the parts of the module meet.
//
// Each list is an immutable snapshot behind an atomic pointer. A reader
// enters a read section, uses the lists it finds and leaves; a replacement
// publishes the new list first and frees the old one only once no read
// section that could have seen it is still open. Readers never wait and
// never lock; a replacement never waits for readers either: a list still in
// use is freed by a later replacement or at the last detach.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "patterns/judge.h"
#include "patterns/pattern_list.h"

namespace tamsel {

enum class ListKind { ShippedBlock = 0, UserBlock = 1, UserTrust = 2 };

class SharedState {
public:
    std::atomic<int32_t> attachCount{0};
    std::atomic<uint8_t> AllowAds{0};

    SharedState() = default;
    // Frees every list; no reader may be inside any more.
    ~SharedState();
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
        ListSet lists_;
    };

    // Publishes `list` (null included) in place of the current one. Loading
    // a list from its file is the list store's (list_store.h).
    void Replace(ListKind kind, std::unique_ptr<PatternList> list);
    bool Present(ListKind kind) const;
    // Empties all three slots and frees every list no reader holds.
    void ClearLists();

    // Lists replaced but not yet freed because a reader might hold them.
    size_t RetiredCount() const;

private:
    void Retire(const PatternList* old);

    std::atomic<const PatternList*> lists_[3] = {};
    mutable std::atomic<long> readers_{0};
    mutable std::mutex retireMutex_;  // writers only
    std::vector<std::unique_ptr<const PatternList>> retired_;
};

// The one record of the process. It is never destroyed, so a send made
// while the process exits still finds it.
SharedState& TheSharedState();

}  // namespace tamsel
