// How fast a list judges real request URLs, what loading it costs, and how
// much memory it holds. The baseline, measured in the same run, is parsing
// alone: the difference is what the list itself costs.
//
// usage: match_requests [REQUESTS.json [LIST]]
// REQUESTS.json: an array of objects whose "url" fields are the URLs; LIST
// defaults to the shipped block list.
//
// Besides throughput it prints the load time (median of five loads), the
// list's memory (the allocator's count of bytes in use, before and after),
// the median and 99th percentile of single requests, and the list's memory
// again after it has judged the requests and a set of URLs made to reach the
// program of every path line.
#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "patterns/judge.h"
#include "patterns/pattern_list.h"
#include "patterns/request_url.h"
#include "support/request_corpus.h"

namespace {

constexpr int kRounds = 5;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Bytes the allocator has handed out and not had back, small blocks and
// mapped ones alike.
size_t BytesInUse() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

// Median seconds of one pass of `pass` over kRounds rounds.
template <class Pass>
double MedianSeconds(Pass pass) {
    std::vector<double> rounds;
    for (int r = 0; r < kRounds; ++r) {
        const auto start = Clock::now();
        pass();
        rounds.push_back(Seconds(start));
    }
    return Median(rounds);
}

bool Refused(const std::string& url, const tamsel::ListSet& lists) {
    return tamsel::JudgeRequest(tamsel::ParseRequestView(url, std::nullopt), lists).verdict == tamsel::Verdict::Refused;
}

// Each URL timed on its own, kRounds times; the median of each URL's rounds.
std::vector<double> PerRequestSeconds(const std::vector<std::string>& urls, const tamsel::ListSet& lists) {
    std::vector<std::vector<double>> rounds(urls.size());
    for (int r = 0; r < kRounds; ++r) {
        for (size_t i = 0; i < urls.size(); ++i) {
            const auto start = Clock::now();
            Refused(urls[i], lists);
            rounds[i].push_back(Seconds(start));
        }
    }
    std::vector<double> each;
    for (const auto& times : rounds) each.push_back(Median(times));
    std::sort(each.begin(), each.end());
    return each;
}

// Two URLs per path line that hold the text its path requires, one at the
// path's start and one inside it, on the line's host (wildcards filled in),
// so that every path line is tried and its program runs.
std::vector<std::string> UrlsReachingEveryPath(const tamsel::PatternList& list) {
    std::vector<std::string> urls;
    for (const tamsel::PatternEntry& e : list.entries) {
        if (!e.hasPath()) continue;
        std::string host(list.Host(e));
        std::replace(host.begin(), host.end(), '*', 'x');
        host.erase(0, host.find_first_not_of('.'));
        if (host.empty()) host = "reach.example";
        const std::string required(list.paths.Required(e.pathSlot));
        const std::string lead = required.starts_with("/") ? "" : "/";
        urls.push_back("http://" + host + lead + required);
        urls.push_back("http://" + host + "/reach/" + required + "?x=1");
    }
    return urls;
}

struct TimedLoad {
    tamsel::ListLoadResult loaded = tamsel::Failure{"not loaded yet"};
    double seconds = 0;
    size_t bytes = 0;
};

TimedLoad LoadTimed(const std::string& path) {
    TimedLoad out;
    std::vector<double> times;
    for (int r = 0; r < kRounds; ++r) {
        out.loaded = tamsel::Failure{};  // frees the last round's list before counting
        const size_t before = BytesInUse();
        const auto start = Clock::now();
        out.loaded = tamsel::LoadPatternListChecked(path);
        times.push_back(Seconds(start));
        out.bytes = BytesInUse() - before;
    }
    out.seconds = Median(times);
    return out;
}

void PrintThroughput(const std::vector<std::string>& urls, const tamsel::ListSet& lists) {
    size_t refused = 0;
    volatile int32_t sink = 0;  // keeps the parse-only pass from being optimised away
    const auto pass = [&](bool judge) {
        refused = 0;
        for (const std::string& url : urls) {
            const tamsel::RequestView request = tamsel::ParseRequestView(url, std::nullopt);
            sink = request.port;
            if (judge) refused += tamsel::JudgeRequest(request, lists).verdict == tamsel::Verdict::Refused;
        }
    };
    const double parseOnly = MedianSeconds([&] { pass(false); });
    const double judged = MedianSeconds([&] { pass(true); });
    const double n = static_cast<double>(urls.size());
    std::printf("  parse only (baseline)  %12.0f URLs/s  %8.2f us/URL\n", n / parseOnly, parseOnly / n * 1e6);
    std::printf("  parse and judge        %12.0f URLs/s  %8.2f us/URL  (%.1fx the baseline)\n", n / judged,
                judged / n * 1e6, judged / parseOnly);
    std::printf("  refused: %zu of %zu (%.1f%%)\n", refused, urls.size(), 100.0 * refused / n);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string requestsPath = argc > 1 ? argv[1] : TAMSEL_BENCH_REQUESTS;
    const std::string listPath = argc > 2 ? argv[2] : TAMSEL_SHIPPED_LIST;
    const std::vector<std::string> urls = tamsel::testing::ReadCorpusUrls(requestsPath);
    const TimedLoad load = LoadTimed(listPath);
    if (!load.loaded.ok() || urls.empty()) {
        std::fprintf(stderr, "match_requests: no URLs in %s or no list in %s\n", requestsPath.c_str(),
                     listPath.c_str());
        return 1;
    }
    const tamsel::PatternList& list = *load.loaded.value();
    const tamsel::ListSet lists{nullptr, nullptr, &list};
    std::printf("%zu URLs from %s against %s (%zu patterns), median of %d rounds\n", urls.size(), requestsPath.c_str(),
                listPath.c_str(), list.entries.size(), kRounds);
    std::printf("  load                   %8.2f ms   list memory %8.2f MiB (%zu path lines, %zu tried always)\n",
                load.seconds * 1e3, load.bytes / 1048576.0, list.paths.size(), list.index.alwaysTried());
    PrintThroughput(urls, lists);
    const std::vector<double> each = PerRequestSeconds(urls, lists);
    std::printf("  single request         median %8.2f us   p99 %8.2f us   max %8.2f us\n", each[each.size() / 2] * 1e6,
                each[each.size() * 99 / 100] * 1e6, each.back() * 1e6);

    const size_t before = BytesInUse();
    const std::vector<std::string> reaching = UrlsReachingEveryPath(list);
    const size_t reachingBytes = BytesInUse() - before;
    size_t refused = 0;
    for (const std::string& url : reaching) refused += Refused(url, lists);
    const double grown = static_cast<double>(BytesInUse() - before - reachingBytes);
    std::printf("  after %zu URLs reaching every path line (%zu refused): list memory %8.2f MiB, grown %.2f MiB "
                "(%.1f%%)\n",
                reaching.size(), refused, (load.bytes + grown) / 1048576.0, grown / 1048576.0,
                100.0 * grown / static_cast<double>(load.bytes));
    return 0;
}
