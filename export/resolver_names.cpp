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

// A label standing for every label `pattern` takes: what precedes its "*",
// then "-", which no list line puts there. A label without "*" stands for
// itself.
std::string AnyLabelLike(std::string_view pattern) {
    const size_t star = pattern.find('*');
    return star == std::string_view::npos ? std::string(pattern) : std::string(pattern.substr(0, star)) + "-";
}

// The trust lines and exception lines: the only lines that can keep a name
// below a refused one in use, since more block lines only refuse more.
class Keepers {
public:
    explicit Keepers(const ListSet& lists) {
        for (const PatternList* list : {lists.trust, lists.userBlock, lists.shippedBlock}) {
            if (list == nullptr) continue;
            for (const PatternEntry& entry : list->entries) {
                if (list == lists.trust || !entry.positive) Add(*list, entry);
            }
        }
    }

    // "file:line: text" of each keeper without a host, the last line of a file first.
    const std::vector<std::string>& hostless() const { return hostless_; }

    // Whether the gate still refuses every name below `name` that some keeper
    // line reaches. A keeper is probed by one name it reaches: whatever covers
    // that name covers every name below it too, so its verdict is theirs. A
    // "*" in the keeper's part below `name` is probed by a label no list
    // line names ("ad*" by "ad-"): only lines that reach every label the "*"
    // stands for reach it.
    bool LeaveAllBelowRefused(const std::string& name, const ListSet& lists) const {
        const HostLabels nameLabels = SplitHostLabels(name);
        const size_t depth = nameLabels.labels.size();
        for (const Labels& keeper : irregular_) {
            if (keeper.size() <= depth || !MatchHostPattern(Join(keeper, keeper.size() - depth), nameLabels)) continue;
            std::string probe = name;
            for (size_t i = keeper.size() - depth; i-- > 0;) probe = AnyLabelLike(keeper[i]) + "." + probe;
            if (!RefusedAtLookup(probe, lists)) return false;
        }
        const auto probes = concreteBelow_.find(name);
        if (probes == concreteBelow_.end()) return true;
        for (const std::string& probe : probes->second) {
            if (!RefusedAtLookup(probe, lists)) return false;
        }
        return true;
    }

private:
    void Add(const PatternList& list, const PatternEntry& entry) {
        Labels labels = SplitLowered(list.Host(entry));
        if (labels.empty()) {
            // It reaches every name alike, so each name's own verdict sees it.
            hostless_.push_back(list.source + ":" + std::to_string(list.LineNumber(entry)) + ": " +
                                (entry.positive ? "" : "~") + std::string(list.Text(entry)));
            return;
        }
        if (HasStar(labels)) {
            irregular_.push_back(std::move(labels));
            return;
        }
        const std::string whole = Join(labels, 0);
        for (size_t from = 1; from < labels.size(); ++from) concreteBelow_[Join(labels, from)].push_back(whole);
    }

    std::unordered_map<std::string, std::vector<std::string>> concreteBelow_;  // name -> keeper hosts below it
    std::vector<Labels> irregular_;
    std::vector<std::string> hostless_;
};

class Collector {
public:
    explicit Collector(const ListSet& lists) : lists_(lists), keepers_(lists) {}

    void AddLine(const PatternList& list, const PatternEntry& entry) {
        if (!entry.positive) return;
        if (entry.hasPath()) return Count(LeftOutReason::Path);
        if (entry.hasPort) return Count(LeftOutReason::Port);
        if (list.Host(entry).empty()) return;  // no line without a host, path and port reaches this
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
        result_.hostlessKeepers = keepers_.hostless();
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
        const bool below =
            RefusedAtLookup(AnyLabelLike("*") + "." + name, lists_) && keepers_.LeaveAllBelowRefused(name, lists_);
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
