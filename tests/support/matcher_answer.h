// The matcher's deciding entry in the terms of the plain walk's answers.
#pragma once

#include "patterns/pattern_list.h"
#include "support/reference_walk.h"

namespace tamsel::testing {

inline ReferenceAnswer AnswerOf(const PatternList& list, const PatternEntry* entry) {
    return entry != nullptr ? ReferenceAnswer{list.LineNumber(*entry), entry->positive != 0} : ReferenceAnswer{};
}

}  // namespace tamsel::testing
