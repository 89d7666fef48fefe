// The refusal log: one line per refused request, appended to a file the user
// names (TAMSEL_LOG or "tamsel run --log" on Linux, the "LogFile" value
// beside "Status" on Windows). Nothing is written when no file is named.
// A URL's query (from its "?" on), which can carry what a person typed or a
// session's token, is left out unless the user asks for it (TAMSEL_LOG_QUERIES=1
// on Linux, the dword "LogQueries"=1 beside "LogFile" on Windows).
//
// A line is tab-separated, with every control byte, tab and backslash of a
// field written as \xHH so that a line stays one line:
//   TIME  PID  PROGRAM  VERDICT  SUBJECT  LIST:LINE  PATTERN
// TIME is UTC to the millisecond (2026-12-08T07:40:07.123Z), VERDICT the
// stage that refused ("refused", "refused at lookup", ...), SUBJECT the URL
// or https://NAME:PORT. A list that fails to load while the program runs
// gives a line with VERDICT "list not loaded", the file as SUBJECT and the
// reason as PATTERN; a function the module could not hook, VERDICT "hook not
// installed".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"
#include "patterns/judge.h"

namespace tamsel {

inline constexpr std::string_view kListNotLoaded = "list not loaded";
inline constexpr std::string_view kHookNotInstalled = "hook not installed";

// Whether the log keeps the queries of the URLs it names.
enum class LogQueries { Leave, Keep };

// Names the log file (nullopt or empty: no log) and the program whose lines
// it gets; the attach sequence calls it once.
void NameRefusalLog(const std::optional<std::string>& path, std::string_view programName,
                    LogQueries queries = LogQueries::Leave);

// Whether a file is named, so a caller can skip building a subject.
bool RefusalLogNamed() noexcept;

// Appends the line for a refusal decided by `judgement`. Never fails the
// caller: a log that cannot be written loses the line.
void LogRefusal(std::string_view stage, std::string_view subject, const Judgement& judgement) noexcept;

// Appends the line for a list file that failed to load.
void LogListFailure(const std::string& path, const Failure& error) noexcept;

// Appends the line for a function whose calls could not be routed through
// the module, so that it filters nothing there: VERDICT "hook not
// installed", "MODULE!FUNCTION" as SUBJECT, the reason as PATTERN.
void LogHookFailure(std::string_view module, std::string_view function, std::string_view reason) noexcept;

// One log line's fields, as written (still escaped).
struct LogRecord {
    std::string time, pid, program, verdict, subject, where, pattern;
};

// The line for the given fields, escaped, with its line feed.
std::string FormatLogLine(const LogRecord& record);

// The fields of a line, or nullopt for one that is not a whole log line.
std::optional<LogRecord> ParseLogLine(std::string_view line);

// `milliseconds` since 1970 as "YYYY-MM-DDTHH:MM:SS.mmmZ".
std::string UtcTimestamp(int64_t milliseconds);

// The last component of an executable's path, either separator.
std::string_view ProgramNameOf(std::string_view executablePath);

}  // namespace tamsel
