// tamsel log: show the refusal log, keep showing it, or count what it says.
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "cli/command.h"
#include "patterns/text.h"
#include "runtime/refusal_log.h"

namespace tamsel::cli {
namespace {

constexpr const char* kLogVariable = "TAMSEL_LOG";

struct LogOptions {
    std::string file;
    bool follow = false;
    bool summary = false;
};

std::optional<LogOptions> ParseOptions(const std::vector<std::string>& args) {
    LogOptions options;
    std::vector<std::string> files;
    for (const std::string& arg : args) {
        if (arg == "--follow" || arg == "-f") {
            options.follow = true;
        } else if (arg == "--summary") {
            options.summary = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            UsageError("log", "unknown option \"" + arg + "\"");
            return std::nullopt;
        } else {
            files.push_back(arg);
        }
    }
    const char* named = std::getenv(kLogVariable);
    if (files.empty() && named != nullptr && named[0] != '\0') files.push_back(named);
    if (files.size() != 1 || (options.follow && options.summary)) {
        UsageError("log", files.size() > 1 ? "give one log file"
                          : files.empty()  ? "give the log file (or set TAMSEL_LOG)"
                                           : "--follow and --summary do not go together");
        return std::nullopt;
    }
    options.file = files[0];
    return options;
}

// "2026-12-08T07:40:07.123Z  curl[4242]  refused  http://a.x/  BlockList.txt:3 a.x"
void PrintRecord(const LogRecord& r) {
    std::printf("%s  %s[%s]  %s  %s", r.time.c_str(), r.program.c_str(), r.pid.c_str(), r.verdict.c_str(),
                r.subject.c_str());
    if (!r.where.empty() || !r.pattern.empty()) std::printf("  %s %s", r.where.c_str(), r.pattern.c_str());
    std::printf("\n");
}

// Prints the whole lines of `text`; what follows the last line feed is a
// line still being written and stays in `text`. Returns the lines that were
// not log lines.
size_t PrintLines(std::string& text) {
    size_t odd = 0;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        const auto record = ParseLogLine(std::string_view(text).substr(start, end - start));
        if (record) {
            PrintRecord(*record);
        } else {
            ++odd;
        }
    }
    text.erase(0, start);
    std::fflush(stdout);
    return odd;
}

std::optional<std::string> ReadFrom(const std::string& file, std::streamoff offset) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    in.seekg(offset);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return bytes;
}

// Like tail -f: new lines as they come; a file replaced or cut short is
// read again from its start. Runs until the user stops it.
[[noreturn]] void Follow(const std::string& file, std::streamoff offset, std::string pending) {
    struct stat seen {};
    ::stat(file.c_str(), &seen);
    for (;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        struct stat now {};
        if (::stat(file.c_str(), &now) != 0) continue;
        if (now.st_ino != seen.st_ino || now.st_size < offset) offset = 0, pending.clear();
        seen = now;
        if (now.st_size == offset) continue;
        const auto bytes = ReadFrom(file, offset);
        if (!bytes) continue;
        offset += static_cast<std::streamoff>(bytes->size());
        pending += *bytes;
        PrintLines(pending);
    }
}

// The host of a URL or of https://NAME:PORT, in lower case.
std::string HostOf(const std::string& subject) {
    const size_t scheme = subject.find("://");
    size_t begin = scheme == std::string::npos ? 0 : scheme + 3;
    size_t end;
    if (begin < subject.size() && subject[begin] == '[') {
        end = subject.find(']', begin);
        end = end == std::string::npos ? subject.size() : end + 1;
    } else {
        end = std::min(subject.find_first_of(":/?#", begin), subject.size());
    }
    std::string host = subject.substr(begin, end - begin);
    LowerAscii(host);
    return host;
}

void PrintCounts(const char* title, const std::map<std::string, size_t>& counts) {
    std::vector<std::pair<std::string, size_t>> sorted(counts.begin(), counts.end());
    std::stable_sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
    std::printf("\n%s:\n", title);
    for (const auto& [name, count] : sorted) std::printf("%8zu  %s\n", count, name.c_str());
}

int Summarise(const std::string& text) {
    std::map<std::string, size_t> byHost, byLine;
    size_t refusals = 0, failures = 0, odd = 0;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        const auto record = ParseLogLine(std::string_view(text).substr(start, end - start));
        if (!record) {
            ++odd;
        } else if (record->verdict.rfind("refused", 0) == 0) {
            ++refusals;
            ++byHost[HostOf(record->subject)];
            ++byLine[record->where + " " + record->pattern];
        } else if (record->verdict == kListNotLoaded) {
            ++failures;
        }
    }
    std::printf("%zu refusals\n", refusals);
    if (failures != 0) std::printf("%zu lists that failed to load\n", failures);
    if (odd != 0) std::printf("%zu lines not in the log's format\n", odd);
    if (refusals == 0) return kExitOk;
    PrintCounts("by host", byHost);
    PrintCounts("by deciding line", byLine);
    return kExitOk;
}

int RunLog(const std::vector<std::string>& args) {
    const auto options = ParseOptions(args);
    if (!options) return kExitUsage;
    auto text = ReadFrom(options->file, 0);
    if (!text) {
        std::fprintf(stderr, "tamsel log: cannot read %s\n", options->file.c_str());
        return kExitFailure;
    }
    if (options->summary) return Summarise(*text);
    const auto offset = static_cast<std::streamoff>(text->size());
    const size_t odd = PrintLines(*text);
    if (odd != 0) std::fprintf(stderr, "tamsel log: %zu lines not in the log's format were left out\n", odd);
    if (options->follow) Follow(options->file, offset, *text);
    return kExitOk;
}

}  // namespace

const Command kLogCommand = {
    "log",
    "log [--follow|--summary] [FILE]",
    "show what the filter refused, as it happens, or counted",
    "Shows the refusal log FILE (default: $TAMSEL_LOG), one refusal a line:\n"
    "the time (UTC), the program and its process id, the verdict, the URL or\n"
    "https://NAME:PORT, and the list file, line and pattern that decided.\n\n"
    "  --follow, -f   keep showing new lines as they are written (Ctrl-C ends)\n"
    "  --summary      count the refusals by host and by deciding line\n\n"
    "Programs write the log when started with \"tamsel run --log FILE\", or\n"
    "with TAMSEL_LOG=FILE in their environment. A list file that fails to load\n"
    "while a program runs is written there too (\"list not loaded\"). A URL's\n"
    "query (from \"?\" on) is left out unless TAMSEL_LOG_QUERIES=1 is set too.\n",
    RunLog,
};

}  // namespace tamsel::cli
