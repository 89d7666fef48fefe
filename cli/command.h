// The tamsel tool's sub-commands. Each lives in a file of its own and is
// listed once in main.cpp.
#pragma once

#include <string>
#include <vector>

namespace tamsel::cli {

// Exit codes, as a shell user expects them.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;  // the command ran and failed
inline constexpr int kExitUsage = 2;    // the command line was wrong

struct Command {
    const char* name;
    const char* synopsis;  // e.g. "check [--lists DIR] URL..."
    const char* summary;   // one line for the overview
    const char* help;      // the text of "tamsel NAME --help"
    int (*run)(const std::vector<std::string>& args);
};

// Prints "tamsel: <message>" and a pointer to --help on stderr; returns kExitUsage.
int UsageError(const std::string& command, const std::string& message);

// Whether the command's first argument is -h or --help.
bool WantsHelp(const std::vector<std::string>& args);

extern const Command kCheckCommand;
extern const Command kInspectCommand;
extern const Command kRunCommand;
extern const Command kAllowCommand;
extern const Command kListCommand;
extern const Command kLogCommand;
extern const Command kImportCommand;
extern const Command kExportCommand;
extern const Command kSquidHelperCommand;

}  // namespace tamsel::cli
