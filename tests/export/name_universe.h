// The names the randomised export tests ask about, and the gate's answer.
#pragma once

#include <string>
#include <vector>

#include "intercept/lookup.h"

namespace tamsel::testing {

// Every name up to four labels deep over the labels random lines use.
inline std::vector<std::string> AllNames() {
    const char* labels[] = {"a", "b", "ad", "x", "adx"};
    std::vector<std::string> names, level = {""};
    for (int depth = 0; depth < 4; ++depth) {
        std::vector<std::string> next;
        for (const std::string& below : level) {
            for (const char* label : labels) next.push_back(std::string(label) + (below.empty() ? "" : ".") + below);
        }
        names.insert(names.end(), next.begin(), next.end());
        level = std::move(next);
    }
    return names;
}

inline bool Refused(const std::string& name, const ListSet& lists) {
    return InspectLookupWith(name, lists).verdict == Verdict::Refused;
}

inline bool IsBelow(const std::string& name, const std::string& parent) {
    return name.size() > parent.size() + 1 && name.compare(name.size() - parent.size(), parent.size(), parent) == 0 &&
           name[name.size() - parent.size() - 1] == '.';
}

}  // namespace tamsel::testing
