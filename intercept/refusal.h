// The last step of every gate: judge with the lists of the moment, once they
// are ready, and write a refusal to the log when one is named.
#pragma once

#include <string>

#include "base/boundary.h"
#include "patterns/judge.h"
#include "runtime/list_supply.h"
#include "runtime/refusal_log.h"
#include "runtime/shared_state.h"

namespace tamsel {

// `judge(lists, &subject)` gives the judgement and, for a refusal, names what
// it judged for the log. Lists not ready yet, or anything thrown: the call passes.
template <class Judge>
bool RefusedWithCurrentLists(const char* stage, Judge judge) noexcept {
    if (!ListsReady()) return false;
    return AtBoundary(false, [&] {
        const SharedState::Reader reader(TheSharedState());
        std::string subject;
        const Judgement judgement = judge(reader.lists(), &subject);
        if (judgement.verdict != Verdict::Refused) return false;
        LogRefusal(stage, subject, judgement);
        return true;
    });
}

}  // namespace tamsel
