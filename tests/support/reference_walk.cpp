#include "support/reference_walk.h"

#include <regex.h>

#include <cctype>
#include <climits>
#include <cstdlib>
#include <optional>

namespace tamsel::testing {

namespace {

struct Line {
    int32_t number = 0;
    bool positive = true;
    std::vector<std::string> hostLabels;
    int32_t port = 0;
    std::optional<std::string> path;
};

std::vector<std::string> Labels(std::string_view host) {
    std::vector<std::string> labels;
    std::string current;
    for (const char c : std::string(host) + ".") {
        if (c != '.') {
            current += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        } else if (!current.empty()) {
            labels.push_back(current);
            current.clear();
        }
    }
    return labels;
}

int32_t ReadPort(const std::string& text) {
    const long long value = std::strtoll(text.c_str(), nullptr, 10);
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(value);
}

std::optional<Line> ReadLine(const std::string& raw, int32_t number) {
    std::string clean;
    for (const char c : raw) {
        if (c == '\r' || c == '\n' || c == '\0' || c == '#') break;
        if (!std::isspace(static_cast<unsigned char>(c))) clean += c;
    }
    Line line;
    line.number = number;
    if (!clean.empty() && clean[0] == '~') {
        line.positive = false;
        clean.erase(0, 1);
    }
    if (clean.empty()) return std::nullopt;
    const size_t slash = clean.find('/');
    if (slash != std::string::npos) {
        line.path = clean.substr(slash);
        clean.resize(slash);
    }
    const size_t colon = clean.find(':');
    if (colon != std::string::npos) {
        line.port = ReadPort(clean.substr(colon + 1));
        clean.resize(colon);
    }
    line.hostLabels = Labels(clean);
    return line;
}

// Pieces of at most 511 characters, each ending at a line feed at the latest.
std::vector<Line> ReadLines(std::string_view text) {
    std::vector<Line> lines;
    int32_t number = 1;
    size_t i = 0;
    while (i < text.size()) {
        std::string piece;
        const int32_t pieceNumber = number;
        while (i < text.size() && piece.size() < 511) {
            piece += text[i++];
            if (piece.back() == '\n') {
                ++number;
                break;
            }
        }
        if (auto line = ReadLine(piece, pieceNumber)) lines.push_back(std::move(*line));
    }
    return lines;
}

bool LabelCovers(const std::string& pattern, const std::string& label) {
    for (size_t k = 0;; ++k) {
        if (k == pattern.size()) return k == label.size();
        if (pattern[k] == '*') return true;
        if (k == label.size() || pattern[k] != label[k]) return false;
    }
}

bool HostCovers(const std::vector<std::string>& pattern, const std::vector<std::string>& host) {
    if (pattern.size() > host.size()) return false;
    for (size_t k = 1; k <= pattern.size(); ++k) {
        if (!LabelCovers(pattern[pattern.size() - k], host[host.size() - k])) return false;
    }
    return true;
}

struct Compiled {
    regex_t re{};
    bool ok = false;
    explicit Compiled(const std::string& path) {
        ok = regcomp(&re, ("^(" + path + ")").c_str(), REG_EXTENDED | REG_ICASE | REG_NOSUB) == 0;
    }
    ~Compiled() { regfree(&re); }
};

}  // namespace

bool ReferenceDecideAll(std::string_view listText, const std::vector<ReferenceRequest>& requests,
                        std::vector<ReferenceAnswer>* answers) {
    const std::vector<Line> lines = ReadLines(listText);
    std::vector<std::vector<std::string>> hosts;
    std::vector<size_t> open;
    for (size_t r = 0; r < requests.size(); ++r) {
        hosts.push_back(Labels(requests[r].host));
        if (!hosts.back().empty() && hosts.back().size() <= 512) open.push_back(r);
    }
    answers->assign(requests.size(), ReferenceAnswer{});
    for (auto line = lines.rbegin(); line != lines.rend() && !open.empty(); ++line) {
        std::optional<Compiled> compiled;
        if (line->path && !compiled.emplace(*line->path).ok) return false;
        std::vector<size_t> stillOpen;
        for (const size_t r : open) {
            const bool passes = (line->port == 0 || line->port == requests[r].port) &&
                                HostCovers(line->hostLabels, hosts[r]) &&
                                (!compiled || regexec(&compiled->re, requests[r].path.c_str(), 0, nullptr, 0) == 0);
            if (passes) {
                (*answers)[r] = ReferenceAnswer{line->number, line->positive};
            } else {
                stillOpen.push_back(r);
            }
        }
        open.swap(stillOpen);
    }
    return true;
}

}  // namespace tamsel::testing
