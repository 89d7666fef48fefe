// The process-wide values through which the parts of the module meet.
//
// Lists are published as immutable snapshots: a reader holds one for the
// length of a decision, a replacement loads the new list first and publishes
// it, and the old list dies with its last reader.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "patterns/judge.h"
#include "patterns/pattern_list.h"

namespace tamsel {

class ListSlot {
public:
    std::shared_ptr<const PatternList> Get() const { return list_.load(std::memory_order_acquire); }
    bool Present() const { return Get() != nullptr; }

    // Publishes `list` (null included); the old one goes with its last reader.
    void Replace(std::unique_ptr<PatternList> list);

    // Loads `path` and publishes the result, null included.
    void Reload(const std::string& path);

    // Reloads only when a list is present: a list that failed to load at
    // attach stays null until the next attach.
    void RenewIfPresent(const std::string& path);

    void Clear() { Replace(nullptr); }

private:
    std::atomic<std::shared_ptr<const PatternList>> list_;
};

struct SharedState {
    std::atomic<int32_t> attachCount{0};
    std::atomic<uint8_t> AllowAds{0};
    ListSlot shippedBlockList;
    ListSlot userBlockList;
    ListSlot userTrustList;

    ListSet Snapshot() const { return {userTrustList.Get(), userBlockList.Get(), shippedBlockList.Get()}; }
};

// The one record of the process. It is never destroyed, so a send made
// while the process exits still finds it.
SharedState& TheSharedState();

inline constexpr const char* kShippedBlockListFile = "BlockList.txt";
inline constexpr const char* kUserBlockListFile = "UserBlock.txt";
inline constexpr const char* kUserTrustListFile = "UserTrust.txt";

}  // namespace tamsel
