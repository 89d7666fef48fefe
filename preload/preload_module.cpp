// libtamsel.so's entry points: the loader runs attach when a program starts
// with the module preloaded and detach when the program ends.
#include <limits.h>
#include <pthread.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <string_view>

#include "base/boundary.h"
#include "intercept/posix/send_replacement.h"
#include "runtime/attach.h"
#include "runtime/list_supply.h"

namespace tamsel {
namespace {

// The executable the host check looks at; empty when /proc cannot say, which
// the check takes for an ordinary program.
std::string ExecutablePath() {
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path);
    if (length <= 0 || static_cast<size_t>(length) >= sizeof path) return {};
    return std::string(path, static_cast<size_t>(length));
}

// The refusal log a user names for programs started without "tamsel run".
std::optional<std::string> LogPathFromEnvironment() {
    const char* path = std::getenv("TAMSEL_LOG");
    if (path == nullptr || path[0] == '\0') return std::nullopt;
    return std::string(path);
}

// Whether the log keeps the queries of URLs: TAMSEL_LOG_QUERIES=1.
bool LogQueriesFromEnvironment() {
    const char* keep = std::getenv("TAMSEL_LOG_QUERIES");
    return keep != nullptr && std::string_view(keep) == "1";
}

void HoldListsForFork() { TheListSupply().HoldForFork(); }
void ReleaseListsAfterFork() { TheListSupply().ReleaseAfterFork(); }

// Starting costs the program nothing it can feel: the lists are read when
// the first request head or name lookup needs them. Nothing may escape into
// the loader; a failed attach leaves the program running unfiltered.
__attribute__((constructor)) void AttachToProcess() {
    AtBoundary(false, [] {
        const std::string executable = ExecutablePath();
        AttachHost host;
        host.executablePath = executable;
        host.installSendHook = &InstallSendReplacement;
        host.logPath = &LogPathFromEnvironment;
        host.logQueries = &LogQueriesFromEnvironment;
        if (!AttachModule(host)) return false;
        ::pthread_atfork(&HoldListsForFork, &ReleaseListsAfterFork, &ReleaseListsAfterFork);
        return true;
    });
}

__attribute__((destructor)) void DetachFromProcess() {
    AtBoundary(false, [] { return DetachModule(); });
}

}  // namespace
}  // namespace tamsel
