// What the module does when a process loads it and when the process lets it
// go. The platform's entry point (the ELF constructor and destructor, or
// DllMain) supplies what only it can know through `AttachHost`; the stored
// switch and the module's folder come from TheEnv().
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tamsel {

struct AttachHost {
    // Full path of the host process's executable, as the platform spells it.
    std::string_view executablePath;
    // Puts the send replacement in place for the whole process.
    void (*installSendHook)() = nullptr;
    // The refusal log the user named, if any; null means none.
    std::optional<std::string> (*logPath)() = nullptr;
    // Whether the user asked the log to keep the queries of URLs; null
    // means no.
    bool (*logQueries)() = nullptr;
};

// Whether a host executable is one the module must stay out of: the shell,
// whose path contains "explorer.exe" in any case, in any folder or file name.
bool IsRefusedHost(std::string_view executablePath);

// The attach sequence: the host check (a refused host gets false and nothing
// else happens), the switch, the log, where the lists come from, the send
// hook, the attach count. The lists wait for the first decision that needs
// them (ListsReady): a program that never sends a request never reads them,
// and no file is read while the platform's loader holds its lock.
bool AttachModule(const AttachHost& host);

// The detach sequence: lowers the attach count and, when it reaches 0,
// stops following the files and retires the three lists. Returns false and changes nothing when no
// accepted attach is outstanding, as after a refused one.
bool DetachModule();

}  // namespace tamsel
