// Tamsel's side of the peer comparison: load the three lists of a folder,
// then judge every URL as `tamsel check` does (parse, judge the trust list,
// the user's block list and the shipped one, host and path lower-cased),
// each URL timed on its own: one pass straight after the load (cold), then
// three warmed passes, as the peers are timed. Prints one JSON line; bench/peers/run.sh
// puts it in the table.
// Memory is the heap the lists took ("memoryBytes") and the snapshots they
// read in place ("externalBytes"). "timerPairNs" is what two back-to-back
// reads of the timer take, the floor of every time measured.
//
// usage: judge_each [--cache DIR] LISTS_DIR URLS.txt   (one URL a line)
// With --cache the lists are loaded as the module loads them, through
// snapshots in DIR (the first run writes them).
#include <malloc.h>
#if defined(__x86_64__) || defined(__i386__)
#include <x86intrin.h>
#endif

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "browser/source_judge.h"
#include "listfiles/list_folders.h"
#include "listfiles/list_store.h"
#include "patterns/pattern_list.h"
#include "runtime/shared_state.h"

namespace {

using Clock = std::chrono::steady_clock;

// A request takes a few hundred nanoseconds, so the timer's own cost shows.
// On x86 the time-stamp counter is read directly: a pair of reads costs
// about half a pair of steady_clock reads, and its steps are finer. Its rate
// is taken from steady_clock over the whole timed run.
class Stopwatch {
public:
    Stopwatch() : startTicks_(Ticks()), start_(Clock::now()) {}

    static uint64_t Ticks() {
#if defined(__x86_64__) || defined(__i386__)
        return __rdtsc();
#else
        return static_cast<uint64_t>(
            std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count());
#endif
    }

    // Nanoseconds per tick, from the run so far (call it once at the end).
    double NanosecondsPerTick() const {
        const double nanoseconds = std::chrono::duration<double, std::nano>(Clock::now() - start_).count();
        return nanoseconds / static_cast<double>(Ticks() - startTicks_);
    }

private:
    uint64_t startTicks_;
    Clock::time_point start_;
};

// Bytes the allocator has handed out and not had back, small blocks and
// mapped ones alike.
long long HeapInUse() {
    const struct mallinfo2 info = mallinfo2();
    return static_cast<long long>(info.uordblks) + static_cast<long long>(info.hblkhd);
}

std::vector<std::string> ReadLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty()) lines.push_back(line);
    }
    return lines;
}

struct Lists {
    std::unique_ptr<tamsel::PatternList> trust, userBlock, shippedBlock;
    size_t entries() const {
        size_t n = 0;
        for (const auto* list : {trust.get(), userBlock.get(), shippedBlock.get()})
            n += list ? list->entries.size() : 0;
        return n;
    }
    // Bytes of snapshots read in place: memory the lists hold besides the heap.
    size_t mapped() const {
        size_t n = 0;
        for (const auto* list : {trust.get(), userBlock.get(), shippedBlock.get()}) {
            n += list && list->storage ? list->storage->bytes().size() : 0;
        }
        return n;
    }
};

std::unique_ptr<tamsel::PatternList> LoadOne(const tamsel::ListStore& store, tamsel::ListKind kind) {
    tamsel::ListLoadResult loaded = store.Load(kind);
    return loaded ? std::move(*loaded) : nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    std::optional<std::string> cache;
    if (argc == 5 && std::string(argv[1]) == "--cache") {
        cache = argv[2];
        argv += 2;
        argc -= 2;
    }
    if (argc != 3) {
        std::fprintf(stderr, "usage: judge_each [--cache DIR] LISTS_DIR URLS.txt\n");
        return 2;
    }
    const std::vector<std::string> urls = ReadLines(argv[2]);
    if (urls.empty()) {
        std::fprintf(stderr, "judge_each: no URLs in %s\n", argv[2]);
        return 1;
    }
    constexpr size_t kWarmPasses = 3;
    // Made first: not part of the lists' growth.
    std::vector<uint64_t> cold(urls.size());
    std::vector<uint64_t> warm(urls.size() * kWarmPasses);
    std::vector<uint64_t> pairs(10000);
    const long long before = HeapInUse();
    const auto loadStart = Clock::now();
    tamsel::SharedState unpublished;
    const tamsel::ListStore store(unpublished, tamsel::FilesOf(tamsel::OneFolder(argv[1])), cache);
    Lists lists{LoadOne(store, tamsel::ListKind::UserTrust), LoadOne(store, tamsel::ListKind::UserBlock),
                LoadOne(store, tamsel::ListKind::ShippedBlock)};
    const double loadMs = std::chrono::duration<double, std::milli>(Clock::now() - loadStart).count();
    const long long loaded = HeapInUse();
    if (!lists.shippedBlock) {
        std::fprintf(stderr, "judge_each: no loadable BlockList.txt in %s\n", argv[1]);
        return 1;
    }
    const tamsel::ListSet set{lists.trust.get(), lists.userBlock.get(), lists.shippedBlock.get()};
    // Times every URL of one pass into `times` from `offset` on; returns how many were refused.
    // Times every URL of one pass, in ticks, into `times` from `offset` on; returns how many were refused.
    const auto timePass = [&](std::vector<uint64_t>& times, size_t offset) {
        size_t refused = 0;
        for (size_t i = 0; i < urls.size(); ++i) {
            const uint64_t start = Stopwatch::Ticks();
            refused += tamsel::JudgeSourceUrl(urls[i], set).verdict == tamsel::Verdict::Refused;
            times[offset + i] = Stopwatch::Ticks() - start;
        }
        return refused;
    };
    const Stopwatch stopwatch;
    const size_t refused = timePass(cold, 0);
    for (size_t pass = 0; pass < kWarmPasses; ++pass) timePass(warm, pass * urls.size());
    for (uint64_t& pair : pairs) {
        const uint64_t start = Stopwatch::Ticks();
        pair = Stopwatch::Ticks() - start;
    }
    const double nsPerTick = stopwatch.NanosecondsPerTick();
    const long long judged = HeapInUse();
    const auto at = [&](std::vector<uint64_t>& times, double q) {
        std::sort(times.begin(), times.end());
        const uint64_t ticks = times[std::min(times.size() - 1, static_cast<size_t>(q * times.size()))];
        return std::llround(static_cast<double>(ticks) * nsPerTick);
    };
    std::printf("{\"engine\":\"tamsel\",\"lines\":%zu,\"requests\":%zu,\"refused\":%zu,\"medianNs\":%lld,"
                "\"p99Ns\":%lld,\"coldMedianNs\":%lld,\"coldP99Ns\":%lld,\"timerPairNs\":%lld,\"loadMs\":%.3f,"
                "\"memoryBytes\":%lld,\"externalBytes\":%zu,\"growthBytes\":%lld}\n",
                lists.entries(), urls.size(), refused, at(warm, 0.5), at(warm, 0.99), at(cold, 0.5), at(cold, 0.99),
                at(pairs, 0.5), loadMs, loaded - before, lists.mapped(), judged - loaded);
    return 0;
}
