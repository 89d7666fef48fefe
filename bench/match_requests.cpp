// How fast the shipped list judges real request URLs, and how many it
// refuses. The baseline, measured in the same run, is parsing alone: the
// difference is what the list itself costs.
//
// usage: match_requests [REQUESTS.json [BlockList.txt]]
// REQUESTS.json: an array of objects whose "url" fields are the URLs.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "patterns/judge.h"
#include "patterns/pattern_list.h"
#include "patterns/request_url.h"

namespace {

constexpr int kRounds = 5;

bool IsHex(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

// The string value that starts at text[at] (just past its opening quote),
// with the JSON escapes a URL can carry undone; \u escapes beyond ASCII are
// kept as written, which is enough for a URL.
std::string JsonString(const std::string& text, size_t at) {
    std::string value;
    for (size_t i = at; i < text.size() && text[i] != '"'; ++i) {
        if (text[i] != '\\' || i + 1 >= text.size()) {
            value += text[i];
            continue;
        }
        const char e = text[++i];
        if (e != 'u') {
            value += e == 'n' ? '\n' : e == 't' ? '\t' : e == 'r' ? '\r' : e;  // \" \\ \/ stand for themselves
        } else if (i + 4 < text.size() && text.compare(i + 1, 2, "00") == 0 && IsHex(text[i + 3]) &&
                   IsHex(text[i + 4])) {
            value += static_cast<char>(std::stoi(text.substr(i + 3, 2), nullptr, 16));
            i += 4;
        } else {
            value += "\\u";
        }
    }
    return value;
}

// Every value of a "url" key, in file order.
std::vector<std::string> UrlFields(const std::string& json) {
    std::vector<std::string> urls;
    const std::string key = "\"url\"";
    for (size_t at = json.find(key); at != std::string::npos; at = json.find(key, at + key.size())) {
        size_t i = at + key.size();
        while (i < json.size() && (json[i] == ' ' || json[i] == '\n' || json[i] == '\r' || json[i] == '\t')) ++i;
        if (i >= json.size() || json[i] != ':') continue;  // "url" as a value, not a key
        i = json.find('"', i);
        if (i == std::string::npos) break;
        urls.push_back(JsonString(json, i + 1));
    }
    return urls;
}

// Median seconds of one pass of `pass` over kRounds rounds.
template <class Pass>
double MedianSeconds(Pass pass) {
    std::vector<double> rounds;
    for (int r = 0; r < kRounds; ++r) {
        const auto start = std::chrono::steady_clock::now();
        pass();
        rounds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(rounds.begin(), rounds.end());
    return rounds[kRounds / 2];
}

// The "url" fields of a file; empty (after saying why) when it cannot be read.
std::vector<std::string> ReadUrls(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "match_requests: cannot read %s\n", path.c_str());
        return {};
    }
    return UrlFields(std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()));
}

}  // namespace

int main(int argc, char** argv) {
    const std::string requestsPath = argc > 1 ? argv[1] : TAMSEL_BENCH_REQUESTS;
    const std::string listPath = argc > 2 ? argv[2] : TAMSEL_SHIPPED_LIST;
    const std::vector<std::string> urls = ReadUrls(requestsPath);
    const tamsel::ListLoadResult loaded = tamsel::LoadPatternListChecked(listPath);
    if (!loaded.list || urls.empty()) {
        std::fprintf(stderr, "match_requests: no URLs in %s or no list in %s\n", requestsPath.c_str(),
                     listPath.c_str());
        return 1;
    }
    const tamsel::ListSet lists{nullptr, nullptr, loaded.list.get()};
    size_t refused = 0;
    volatile int32_t sink = 0;  // keeps the parse-only pass from being optimised away
    const auto pass = [&](bool judge) {
        refused = 0;
        for (const std::string& url : urls) {
            tamsel::RequestUrl request;
            tamsel::ParseRequestUrl(url.c_str(), nullptr, &request);
            sink = request.port;
            if (judge) refused += tamsel::JudgeRequestUrl(request, lists).verdict == tamsel::Verdict::Refused;
        }
    };
    const double parseOnly = MedianSeconds([&] { pass(false); });
    const double judged = MedianSeconds([&] { pass(true); });

    const double n = static_cast<double>(urls.size());
    std::printf("%zu URLs from %s against %s (%zu patterns), median of %d rounds\n", urls.size(),
                requestsPath.c_str(), listPath.c_str(), loaded.list->entries.size(), kRounds);
    std::printf("  parse only (baseline)  %12.0f URLs/s  %8.2f us/URL\n", n / parseOnly, parseOnly / n * 1e6);
    std::printf("  parse and judge        %12.0f URLs/s  %8.2f us/URL  (%.1fx the baseline)\n", n / judged,
                judged / n * 1e6, judged / parseOnly);
    std::printf("  refused: %zu of %zu (%.1f%%)\n", refused, urls.size(), 100.0 * refused / n);
    return 0;
}
