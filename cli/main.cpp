// tamsel: run programs under the filter, ask which list line decides a URL,
// edit the user's lists and switch the filter on and off.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/command.h"
#include "patterns/text.h"

namespace tamsel::cli {
namespace {

const Command* const kCommands[] = {
    &kCheckCommand, &kInspectCommand, &kRunCommand,    &kAllowCommand,       &kListCommand,
    &kLogCommand,   &kImportCommand,  &kExportCommand, &kSquidHelperCommand,
};

void PrintOverview(std::FILE* out) {
    std::fprintf(out, "usage: tamsel COMMAND [ARGS...]\n\n"
                      "Tamsel refuses HTTP requests that its block lists claim and lets the\n"
                      "user's trust list override them. Commands:\n\n");
    for (const Command* c : kCommands) std::fprintf(out, "  %-34s %s\n", c->synopsis, c->summary);
    std::fprintf(out, "\nRun \"tamsel COMMAND --help\" for the details of one command.\n");
}

}  // namespace

int UsageError(const std::string& command, const std::string& message) {
    std::fprintf(stderr, "tamsel %s: %s\nTry \"tamsel %s --help\".\n", command.c_str(),
                 EscapeControlBytes(message).c_str(), command.c_str());
    return kExitUsage;
}

bool WantsHelp(const std::vector<std::string>& args) {
    // Only the first word: in "tamsel run curl -h" the "-h" is curl's.
    return !args.empty() && (args[0] == "-h" || args[0] == "--help");
}

}  // namespace tamsel::cli

int main(int argc, char** argv) {
    using namespace tamsel::cli;
    if (argc < 2) {
        PrintOverview(stderr);
        return kExitUsage;
    }
    const std::string name = argv[1];
    if (name == "-h" || name == "--help" || name == "help") {
        PrintOverview(stdout);
        return kExitOk;
    }
    const std::vector<std::string> args(argv + 2, argv + argc);
    for (const Command* c : kCommands) {
        if (name != c->name) continue;
        if (WantsHelp(args)) {
            std::printf("usage: tamsel %s\n\n%s", c->synopsis, c->help);
            return kExitOk;
        }
        return c->run(args);
    }
    std::fprintf(stderr, "tamsel: unknown command \"%s\"\n\n", name.c_str());
    PrintOverview(stderr);
    return kExitUsage;
}
