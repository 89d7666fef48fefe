// tamsel allow: switch advertisements on and off for programs started later.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/command.h"
#include "patterns/text.h"
#include "platform/posix/settings_file.h"
#include "platform/env.h"

namespace tamsel::cli {
namespace {

constexpr const char* kLaterNote = "Programs already running keep the setting they read when they started.\n";

void PrintStatus(uint32_t value) {
    if (value != 0) {
        std::printf("Advertisements are allowed: nothing is filtered.\n");
    } else {
        std::printf("Advertisements are filtered.\n");
    }
}

int Store(uint32_t value) {
    if (!TheEnv().WriteAllowAdsSwitch(value)) {
        const auto file = SettingsFilePath();
        std::fprintf(stderr, "tamsel allow: cannot store the setting in %s; it is unchanged\n",
                     file ? EscapeControlBytes(*file).c_str()
                          : "the user's configuration folder (neither XDG_CONFIG_HOME nor HOME is set)");
        return kExitFailure;
    }
    PrintStatus(value);
    std::printf("%s", kLaterNote);
    return kExitOk;
}

int RunAllow(const std::vector<std::string>& argsIn) {
    std::vector<std::string> args = argsIn;
    if (!args.empty() && args[0] == "--") args.erase(args.begin());
    if (args.size() != 1) return UsageError("allow", "give one of on, off, status");
    if (args[0] == "on") return Store(1);
    if (args[0] == "off") return Store(0);
    if (args[0] != "status") return UsageError("allow", "unknown setting \"" + args[0] + "\"");
    const auto file = SettingsFilePath();
    const Result<uint32_t> stored = ReadStoredSwitch();
    if (!stored.ok()) {
        // Programs read such a file as "filtered"; the user is told why.
        std::fprintf(stderr, "tamsel allow: cannot read %s: %s; programs filter advertisements until it can be read\n",
                     EscapeControlBytes(*file).c_str(), stored.message().c_str());
        return kExitFailure;
    }
    PrintStatus(*stored);
    std::printf("Stored in %s.\n%s", file ? EscapeControlBytes(*file).c_str() : "(no configuration folder)",
                kLaterNote);
    return kExitOk;
}

}  // namespace

const Command kAllowCommand = {
    "allow",
    "allow on|off|status",
    "allow advertisements (turn the filter off), block them again, or show which",
    "  on       allow advertisements: programs started from now on are not filtered\n"
    "  off      filter again (the default)\n"
    "  status   say which is stored, and where\n\n"
    "The setting is kept in ${XDG_CONFIG_HOME:-$HOME/.config}/Tamsel/settings.reg,\n"
    "as the value \"Status\" of the key HKEY_CURRENT_USER\\Software\\Tamsel\\BHO.\n"
    "Each program reads it once, when it starts: programs already running keep\n"
    "the setting they read then.\n",
    RunAllow,
};

}  // namespace tamsel::cli
