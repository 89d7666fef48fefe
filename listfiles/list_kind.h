// The three lists, and where the list store publishes the lists it loads.
#pragma once

#include <cstddef>
#include <memory>

#include "patterns/pattern_list.h"

namespace tamsel {

enum class ListKind { ShippedBlock = 0, UserBlock = 1, UserTrust = 2 };

// A kind's place in a table that holds something for each kind.
constexpr size_t Index(ListKind kind) { return static_cast<size_t>(kind); }

// A slot for each kind of list: the module's shared lists
// (runtime/shared_state.h), or a test's own.
class ListSlots {
public:
    virtual ~ListSlots() = default;
    // Publishes `list` (null included) in place of the current one.
    virtual void Replace(ListKind kind, std::unique_ptr<PatternList> list) = 0;
    virtual bool Present(ListKind kind) const = 0;
};

}  // namespace tamsel
