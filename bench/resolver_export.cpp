// What exporting the lists to resolvers costs: the names collected from the
// lists of a folder, then each format written, every step the best of five
// runs in CPU time. The baseline is the lookup gate asked once for the host
// of every block line, the least any export must do; the collection's ratio
// to it is what the subtree checks add. Prints the names per format and
// what was left out, by reason.
//
// usage: resolver_export LISTS_DIR
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "export/resolver_formats.h"
#include "intercept/lookup.h"
#include "patterns/pattern_list.h"

namespace {

double CpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

double BestOfFive(const std::function<void()>& run) {
    double best = 1e9;
    for (int i = 0; i < 5; ++i) {
        const double start = CpuSeconds();
        run();
        best = std::min(best, CpuSeconds() - start);
    }
    return best;
}

size_t AskEveryHost(const tamsel::ListSet& lists) {
    size_t refused = 0;
    for (const tamsel::PatternList* list : {lists.userBlock, lists.shippedBlock}) {
        if (list == nullptr) continue;
        for (const tamsel::PatternEntry& e : list->entries) {
            if (!e.positive || e.hostLength == 0) continue;
            refused += tamsel::InspectLookupWith(list->Host(e), lists).verdict == tamsel::Verdict::Refused;
        }
    }
    return refused;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: resolver_export LISTS_DIR\n");
        return 2;
    }
    const std::string folder = argv[1];
    // A list that does not load is left out, as the module leaves it.
    const auto load = [&](const char* name) -> std::unique_ptr<tamsel::PatternList> {
        tamsel::ListLoadResult loaded = tamsel::LoadPatternListChecked(folder + "/" + name);
        return loaded ? std::move(*loaded) : nullptr;
    };
    const auto trust = load("UserTrust.txt");
    const auto userBlock = load("UserBlock.txt");
    const auto shipped = load("BlockList.txt");
    const tamsel::ListSet lists{trust.get(), userBlock.get(), shipped.get()};
    size_t refusedHosts = 0;
    const double baseline = BestOfFive([&] { refusedHosts = AskEveryHost(lists); });
    tamsel::RefusedNames names;
    const double collect = BestOfFive([&] { names = tamsel::CollectRefusedNames(lists); });
    std::printf("block lines: %zu; hosts refused at lookup: %zu\n", shipped ? shipped->entries.size() : 0,
                refusedHosts);
    std::printf("gate asked once per host line: %.1f ms\n", baseline * 1e3);
    std::printf("names collected: %zu in %.1f ms (%.2fx the baseline)\n", names.names.size(), collect * 1e3,
                collect / baseline);
    for (size_t r = 0; r < tamsel::kLeftOutReasons; ++r) {
        std::printf("  left out, %s: %zu\n", tamsel::LeftOutText(static_cast<tamsel::LeftOutReason>(r)),
                    names.leftOut[r]);
    }
    std::printf("  names narrowed, as a name below is kept in use: %zu\n", names.keptBelow);
    const char* formatNames[] = {"rpz", "unbound", "dnsmasq", "hosts"};
    for (const char* name : formatNames) {
        const tamsel::ResolverFormat format = *tamsel::ParseResolverFormat(name);
        tamsel::ResolverText text;
        const double write = BestOfFive([&] { text = tamsel::WriteResolverText(names, format, 1); });
        const tamsel::FormatCounts& c = text.counts;
        std::printf("%-8s names %zu, records %zu, under a parent %zu, only below %zu, below kept %zu, "
                    "subtrees lost %zu; written in %.1f ms (%zu bytes)\n",
                    name, c.written, c.records, c.underParent, c.onlyBelow, c.belowKept, c.belowUncovered, write * 1e3,
                    text.text.size());
    }
    return 0;
}
