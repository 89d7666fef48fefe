#include "runtime/refusal_log.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <vector>

#include "patterns/text.h"
#include "platform/env.h"

namespace tamsel {

namespace {

struct LogTarget {
    std::string path;
    std::string program;
    LogQueries queries;
};

// Published by attach and never freed: a sender may still be writing a
// line with it while the process exits, or while another target replaces
// it. Every target ever named stays in NamedTargets(), so none is lost memory.
std::atomic<const LogTarget*> target{nullptr};
std::mutex namingMutex;

// Whether a line of this process was cut short (a full disk) and still ends
// the log without its line feed; the next line then starts with one, so
// that it is not read as the rest of the cut line.
std::atomic<bool> lineCutShort{false};

void WriteLine(const std::string& path, std::string line) {
    const bool mend = lineCutShort.exchange(false);
    if (mend) line.insert(0, 1, '\n');
    const size_t written = TheEnv().AppendLogLine(path, line);
    if (written < line.size() && (written > 0 || mend)) lineCutShort.store(true);
}

// Made on first use: the preload constructor may name the log before this
// file's own initialisers have run.
std::vector<std::unique_ptr<const LogTarget>>& NamedTargets() {
    static auto* const named = new std::vector<std::unique_ptr<const LogTarget>>;
    return *named;
}

std::string Now() {
    const auto since = std::chrono::system_clock::now().time_since_epoch();
    return UtcTimestamp(std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

// Appends a line when a log is named: `facts(target)` gives its subject,
// where and pattern; the rest is filled in here. Every line is built here,
// so that running out of memory while building or writing one loses that
// line alone: the caller goes on.
template <class Facts>
void Append(std::string_view verdict, Facts facts) noexcept {
    const LogTarget* to = target.load(std::memory_order_acquire);
    if (to == nullptr) return;
    try {
        LogRecord record = facts(*to);
        record.time = Now();
        record.pid = std::to_string(TheEnv().CurrentProcessId());
        record.program = to->program;
        record.verdict = verdict;
        WriteLine(to->path, FormatLogLine(record));
    } catch (...) {
    }
}

}  // namespace

void NameRefusalLog(const std::optional<std::string>& path, std::string_view programName, LogQueries queries) {
    if (!path || path->empty()) {
        target.store(nullptr);
        return;
    }
    const std::lock_guard lock(namingMutex);
    auto& named = NamedTargets();
    named.push_back(std::make_unique<const LogTarget>(LogTarget{*path, std::string(programName), queries}));
    target.store(named.back().get(), std::memory_order_release);
}

bool RefusalLogNamed() noexcept { return target.load(std::memory_order_relaxed) != nullptr; }

void LogRefusal(std::string_view stage, std::string_view subject, const Judgement& judgement) noexcept {
    Append(stage, [&](const LogTarget& to) {
        LogRecord line;
        line.subject = to.queries == LogQueries::Leave ? subject.substr(0, subject.find('?')) : subject;
        if (judgement.list != nullptr && judgement.entry != nullptr) {
            line.where = judgement.list->source + ":" + std::to_string(judgement.list->LineNumber(*judgement.entry));
            line.pattern = std::string(judgement.list->Text(*judgement.entry));
        }
        return line;
    });
}

void LogListFailure(const std::string& path, const Failure& error) noexcept {
    Append(kListNotLoaded, [&](const LogTarget&) {
        LogRecord line;
        line.subject = path;
        line.where = path + ":" + std::to_string(error.lineNumber);
        line.pattern = error.message;
        return line;
    });
}

void LogHookFailure(std::string_view module, std::string_view function, std::string_view reason) noexcept {
    Append(kHookNotInstalled, [&](const LogTarget&) {
        LogRecord line;
        line.subject = std::string(module) + "!" + std::string(function);
        line.pattern = reason;
        return line;
    });
}

std::string FormatLogLine(const LogRecord& record) {
    std::string line;
    const std::string_view fields[] = {record.time,    record.pid,   record.program, record.verdict,
                                       record.subject, record.where, record.pattern};
    for (const std::string_view field : fields) {
        if (!line.empty()) line += '\t';
        // A backslash too, so that the reading back can undo every escape.
        AppendEscaped(line, field, {.backslash = true});
    }
    line += '\n';
    return line;
}

std::optional<LogRecord> ParseLogLine(std::string_view line) {
    if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
    std::string parts[7];
    size_t field = 0;
    for (const char c : line) {
        if (c != '\t') {
            parts[field] += c;
        } else if (++field == 7) {
            return std::nullopt;
        }
    }
    if (field != 6 || parts[0].empty()) return std::nullopt;
    return LogRecord{parts[0], parts[1], parts[2], parts[3], parts[4], parts[5], parts[6]};
}

// Days to a civil date: the proleptic Gregorian calendar, eras of 400 years.
std::string UtcTimestamp(int64_t milliseconds) {
    const int64_t msPerDay = 86400000;
    int64_t days = milliseconds / msPerDay;
    int64_t rest = milliseconds % msPerDay;
    if (rest < 0) rest += msPerDay, --days;
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t dayOfEra = days - era * 146097;
    const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t mp = (5 * dayOfYear + 2) / 153;
    const int64_t day = dayOfYear - (153 * mp + 2) / 5 + 1;
    const int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    char text[96];
    std::snprintf(text, sizeof text, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lld.%03lldZ", static_cast<long long>(year),
                  static_cast<long long>(month), static_cast<long long>(day), static_cast<long long>(rest / 3600000),
                  static_cast<long long>(rest / 60000 % 60), static_cast<long long>(rest / 1000 % 60),
                  static_cast<long long>(rest % 1000));
    return text;
}

std::string_view ProgramNameOf(std::string_view executablePath) {
    const size_t slash = executablePath.find_last_of("/\\");
    return slash == std::string_view::npos ? executablePath : executablePath.substr(slash + 1);
}

}  // namespace tamsel
