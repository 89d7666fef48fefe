// libtamsel.so's entry points: the loader runs attach when a program starts
// with the module preloaded and detach when the program ends.
#include <limits.h>
#include <unistd.h>

#include <string>

#include "intercept/posix/send_replacement.h"
#include "module/attach.h"
#include "module/settings_store.h"

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

__attribute__((constructor)) void AttachToProcess() {
    try {
        const std::string executable = ExecutablePath();
        AttachHost host;
        host.executablePath = executable;
        host.readAllowAdsSwitch = &ReadAllowAdsSwitch;
        host.installSendHook = &InstallSendReplacement;
        AttachModule(host);
    } catch (...) {
        // Nothing may escape into the loader; the program runs unfiltered.
    }
}

__attribute__((destructor)) void DetachFromProcess() {
    try {
        DetachModule();
    } catch (...) {
    }
}

}  // namespace
}  // namespace tamsel
