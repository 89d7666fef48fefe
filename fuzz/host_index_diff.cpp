// The matcher, index and shortcuts included, against a plain walk of the
// whole chain written here from the rules of the list format: hosts compared
// label by label from the right ("*" takes one label, a "*" inside a label
// the rest of it), the port, the path by regexec on "^(path)". The input is
// a list, a NUL, then request lines; requests made from the list's own
// entries are asked too.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "patterns/matcher.h"
#include "patterns/path_tree.h"
#include "patterns/pattern_list.h"
#include "support/list_set.h"

namespace {

using tamsel::fuzz::Fail;

// Lower-cased labels, left to right; none for a host of more than 512.
std::vector<std::string> Labels(std::string_view host) {
    host = host.substr(0, host.find('\0'));
    std::vector<std::string> labels;
    std::string label;
    for (const char c : std::string(host) + ".") {
        if (c != '.') {
            label.push_back(c);
        } else if (!label.empty()) {
            labels.push_back(tamsel::fuzz::LowerAscii(label));
            label.clear();
        }
    }
    if (labels.size() > 512) labels.clear();
    return labels;
}

// Both labels are read from their starts while they agree; where they part,
// a "*" in the pattern takes whatever is left (a "*" in the request at the
// same place is just a character that agreed).
bool LabelCovers(const std::string& pattern, const std::string& request) {
    const auto [p, r] = std::mismatch(pattern.begin(), pattern.end(), request.begin(), request.end());
    if (p == pattern.end()) return r == request.end();
    return *p == '*';
}

bool HostCovers(const std::vector<std::string>& pattern, const std::vector<std::string>& request) {
    if (pattern.size() > request.size()) return false;
    return std::equal(pattern.rbegin(), pattern.rend(), request.rbegin(), LabelCovers);
}

class ReferenceWalk {
public:
    explicit ReferenceWalk(const tamsel::PatternList& list) : list_(list) {
        for (const auto& entry : list.entries) {
            hosts_.push_back(Labels(list.Host(entry)));
            const auto path = list.Path(entry);
            paths_.push_back(path ? std::make_unique<tamsel::fuzz::ReferenceRegex>(tamsel::ParsePath(*path).expression)
                                  : nullptr);
        }
    }

    const tamsel::PatternEntry* Decide(const tamsel::RequestUrl& url) const {
        if (!url.host) return nullptr;
        const auto request = Labels(*url.host);
        if (request.empty()) return nullptr;
        const std::string path = url.path.value_or("/");
        for (size_t i = 0; i < list_.entries.size(); ++i) {
            const auto& entry = list_.entries[i];
            if (const int32_t port = list_.Port(entry); port != 0 && port != url.port) continue;
            if (entry.hostLength != 0 && !HostCovers(hosts_[i], request)) continue;
            if (paths_[i] && !paths_[i]->Matches(path)) continue;
            return &entry;
        }
        return nullptr;
    }

private:
    const tamsel::PatternList& list_;
    std::vector<std::vector<std::string>> hosts_;
    std::vector<std::unique_ptr<tamsel::fuzz::ReferenceRegex>> paths_;
};

// Requests that reach an entry: its wildcards made plain, with and without
// a label in front, its path taken as text.
std::vector<std::string> RequestsFor(const tamsel::PatternList& list, const tamsel::PatternEntry& entry) {
    std::string host = entry.hostLength == 0 ? "any.example" : std::string(list.Host(entry));
    std::replace(host.begin(), host.end(), '*', 'w');
    const int32_t port = list.Port(entry);
    const std::string rest =
        (port != 0 ? ":" + std::to_string(port) : "") + std::string(list.Path(entry).value_or("/"));
    return {"GET http://" + host + rest + " HTTP/1.1", "GET http://sub." + host + rest + " HTTP/1.1"};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t split = std::min(input.find('\0'), input.size());
    const auto loaded = tamsel::ParsePatternListText(input.substr(0, split), "fuzz");
    if (!loaded.ok()) return 0;
    const ReferenceWalk walk(*loaded.value());

    std::vector<std::string> requests;
    const auto& entries = loaded.value()->entries;
    for (size_t i = 0; i < entries.size() && i < 8; ++i) {
        for (auto& request : RequestsFor(*loaded.value(), entries[i])) requests.push_back(std::move(request));
    }
    if (split < size) {
        const auto lines = tamsel::fuzz::SplitFields(data + split + 1, size - split - 1, '\n');
        requests.insert(requests.end(), lines.begin(), lines.begin() + std::min<size_t>(lines.size(), 8));
    }
    for (const auto& line : requests) {
        tamsel::RequestUrl url;
        tamsel::ParseRequestUrl(line.c_str(), "host.example", &url);
        if (tamsel::testing::DecidingEntry(loaded.value().get(), url) != walk.Decide(url)) {
            Fail("the matcher and the plain walk pick different lines for " + line);
        }
    }
    return 0;
}
