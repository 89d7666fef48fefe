#include "export/resolver_names.h"

#include <map>
#include <string_view>
#include <unordered_map>

#include "intercept/lookup.h"
#include "patterns/host_labels.h"
#include "patterns/text.h"

namespace tamsel {
namespace {

using Labels = std::vector<std::string>;

Labels SplitLowered(std::string_view host) {
    Labels labels;
    EachLabelFromRight(host, [&](std::string_view label) {
        std::string lowered(label);
        LowerAscii(lowered);
        labels.insert(labels.begin(), std::move(lowered));
        return true;
    });
    return labels;
}

// The labels [from, end) joined by dots.
std::string Join(const Labels& labels, size_t from) {
    std::string name;
    for (size_t i = from; i < labels.size(); ++i) name += (i == from ? "" : ".") + labels[i];
    return name;
}

bool HasStar(const Labels& labels, size_t from = 0) {
    for (size_t i = from; i < labels.size(); ++i) {
        if (labels[i].find('*') != std::string::npos) return true;
    }
    return false;
}

bool RefusedAtLookup(const std::string& name, const ListSet& lists) {
    return InspectLookupWith(name, lists).verdict == Verdict::Refused;
}

// The trust lines and exception lines: the only lines that can keep a name
// below a refused one in use, since more block lines only refuse more.
class Keepers {
public:
    explicit Keepers(const ListSet& lists) {
        for (const PatternList* list : {lists.trust, lists.userBlock, lists.shippedBlock}) {
            if (list == nullptr) continue;
            for (const PatternEntry& entry : list->entries) {
                if (list == lists.trust || !entry.positive) Add(list->Host(entry));
            }
        }
    }

    // Whether the gate still refuses every name below `name` that some keeper
    // line reaches. A keeper host without "*" is probed by its own name:
    // whatever covers it covers every name below it too, so its verdict is
    // theirs. One with a "*" below `name` stands for names no single probe
    // can answer for, so nothing below `name` is claimed.
    bool LeaveAllBelowRefused(const std::string& name, const ListSet& lists) const {
        const HostLabels nameLabels = SplitHostLabels(name);
        for (const Labels& keeper : irregular_) {
            if (keeper.size() <= nameLabels.labels.size()) continue;
            const std::string right = Join(keeper, keeper.size() - nameLabels.labels.size());
            if (MatchHostPattern(right, nameLabels)) return false;
        }
        const auto probes = concreteBelow_.find(name);
        if (probes == concreteBelow_.end()) return true;
        for (const std::string& probe : probes->second) {
            if (!RefusedAtLookup(probe, lists)) return false;
        }
        return true;
    }

private:
    void Add(std::string_view host) {
        Labels labels = SplitLowered(host);
        if (labels.empty()) return;  // reaches every name alike: the name's own verdict sees it
        if (HasStar(labels)) {
            irregular_.push_back(std::move(labels));
            return;
        }
        const std::string whole = Join(labels, 0);
        for (size_t from = 1; from < labels.size(); ++from) concreteBelow_[Join(labels, from)].push_back(whole);
    }

    std::unordered_map<std::string, std::vector<std::string>> concreteBelow_;  // name -> keeper hosts below it
    std::vector<Labels> irregular_;
};

// A label no list line names, standing for any label one level below a name.
// Only "*" labels (and prefixes of it such as "-*", which no list writes)
// reach it, and those reach every label alike.
constexpr std::string_view kAnyLabel = "-";

class Collector {
public:
    explicit Collector(const ListSet& lists) : lists_(lists), keepers_(lists) {}

    void AddLine(const PatternList& list, const PatternEntry& entry) {
        if (!entry.positive || list.Host(entry).empty()) return;  // lines for every host
        if (entry.hasPath()) return Count(LeftOutReason::Path);
        if (entry.hasPort) return Count(LeftOutReason::Port);
        const Labels labels = SplitLowered(list.Host(entry));
        // Only "*." in front is a resolver's wildcard: every name below.
        const bool belowOnly = !labels.empty() && labels[0] == "*";
        const size_t from = belowOnly ? 1 : 0;
        if (from >= labels.size() || HasStar(labels, from)) return Count(LeftOutReason::WildcardInLabel);
        const std::string name = Join(labels, from);
        if (!IsResolverName(name) || IsNumericAddress(name)) return Count(LeftOutReason::NotAHostName);
        belowOnly ? AddBelow(name) : AddName(name);
    }

    RefusedNames Finish() {
        for (auto& [name, found] : byName_) {
            if (found.self && !found.below) ++result_.keptBelow;
            result_.names.push_back(std::move(found));
        }
        return std::move(result_);
    }

private:
    void Count(LeftOutReason reason) { ++result_.leftOut[static_cast<size_t>(reason)]; }

    void AddName(const std::string& name) {
        if (!RefusedAtLookup(name, lists_)) return Count(LeftOutReason::KeptInUse);
        RefusedName& found = Found(name);
        found.self = true;
        found.below = found.below || keepers_.LeaveAllBelowRefused(name, lists_);
    }

    void AddBelow(const std::string& name) {
        const bool below = RefusedAtLookup(std::string(kAnyLabel) + "." + name, lists_) &&
                           keepers_.LeaveAllBelowRefused(name, lists_);
        if (!below) return Count(LeftOutReason::KeptInUse);
        Found(name).below = true;
    }

    RefusedName& Found(const std::string& name) {
        RefusedName& found = byName_[name];
        found.name = name;
        return found;
    }

    const ListSet& lists_;
    const Keepers keepers_;
    std::map<std::string, RefusedName> byName_;
    RefusedNames result_;
};

}  // namespace

bool IsResolverName(std::string_view name) {
    if (name.empty() || name.size() > 253) return false;
    size_t labelLength = 0;
    for (const char c : name) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
        if (c == '.') {
            if (labelLength == 0) return false;
            labelLength = 0;
        } else if (!plain || ++labelLength > 63) {
            return false;
        }
    }
    return labelLength > 0;
}

RefusedNames CollectRefusedNames(const ListSet& lists) {
    Collector collector(lists);
    for (const PatternList* list : {lists.userBlock, lists.shippedBlock}) {
        if (list == nullptr) continue;
        for (const PatternEntry& entry : list->entries) collector.AddLine(*list, entry);
    }
    return collector.Finish();
}

const char* LeftOutText(LeftOutReason reason) {
    switch (reason) {
        case LeftOutReason::WildcardInLabel: return "a \"*\" inside a label or below the front";
        case LeftOutReason::Port: return "a port";
        case LeftOutReason::Path: return "a path";
        case LeftOutReason::KeptInUse: return "kept in use by a trust or exception line";
        case LeftOutReason::NotAHostName: return "not a host name (an address, or other characters)";
        case LeftOutReason::kCount: break;
    }
    return "";
}

}  // namespace tamsel
