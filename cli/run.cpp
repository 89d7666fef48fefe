// tamsel run: start a program with the filter module preloaded.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "base/status.h"
#include "cli/command.h"
#include "patterns/text.h"
#include "platform/env.h"
#include "platform/posix/install_layout.h"

namespace tamsel::cli {
namespace {

constexpr const char* kModuleFile = "libtamsel.so";
// As a shell answers: the program was not found, or found but not runnable.
constexpr int kExitNotFound = 127;
constexpr int kExitCannotRun = 126;

// Where an installed tool's module lies, then beside the tool as the build
// places it.
std::vector<std::string> ModuleCandidates() {
    const auto folder = TheEnv().ModuleFolderPath("");
    if (!folder) return {};
    const std::filesystem::path installed = std::filesystem::path(*folder) / kModuleFromTool / kModuleFile;
    return {installed.lexically_normal().string(), *folder + kModuleFile};
}

// The module the tool goes with, or why there is none to preload.
Result<std::string> FindModule() {
    const std::vector<std::string> candidates = ModuleCandidates();
    const auto found = std::find_if(candidates.begin(), candidates.end(),
                                    [](const std::string& path) { return ::access(path.c_str(), R_OK) == 0; });
    if (found == candidates.end()) {
        std::string tried;
        for (const std::string& path : candidates)
            tried += (tried.empty() ? " at " : " or ") + EscapeControlBytes(path);
        return Failure{std::string("cannot find the filter module ") + kModuleFile + tried +
                       "; the tamsel installation is incomplete"};
    }
    // The loader splits LD_PRELOAD at blanks and colons: such a path would
    // name other files.
    if (found->find_first_of(" :\t") != std::string::npos) {
        return Failure{"the module's path \"" + EscapeControlBytes(*found) +
                       "\" contains a blank or a colon, which LD_PRELOAD cannot carry"};
    }
    return *found;
}

// The module first, then whatever the user preloads already.
std::string PreloadValue(const std::string& module) {
    const char* existing = std::getenv("LD_PRELOAD");
    if (existing == nullptr || existing[0] == '\0') return module;
    return module + ":" + existing;
}

// Takes "--log FILE" (or "--log=FILE") from the front of `args` and names
// the file, made absolute since the program may change its folder, to the
// module through TAMSEL_LOG. False after a usage error.
bool TakeLogOption(std::vector<std::string>& args) {
    if (args.empty() || args[0].rfind("--log", 0) != 0) return true;
    std::string file;
    if (args[0] == "--log" && args.size() > 1) {
        file = args[1];
        args.erase(args.begin(), args.begin() + 2);
    } else if (args[0].rfind("--log=", 0) == 0) {
        file = args[0].substr(6);
        args.erase(args.begin());
    }
    if (file.empty()) {
        UsageError("run", "--log needs a file");
        return false;
    }
    std::error_code error;
    const auto absolute = std::filesystem::absolute(file, error);
    if (::setenv("TAMSEL_LOG", error ? file.c_str() : absolute.c_str(), 1) != 0) {
        std::fprintf(stderr, "tamsel run: cannot set TAMSEL_LOG: %s\n", std::strerror(errno));
        return false;
    }
    return true;
}

int RunProgram(const std::vector<std::string>& argsIn) {
    std::vector<std::string> args = argsIn;
    if (!TakeLogOption(args)) return kExitUsage;
    if (!args.empty() && args[0] == "--") args.erase(args.begin());
    if (args.empty()) return UsageError("run", "give the program to run");
    const Result<std::string> module = FindModule();
    if (!module) {
        std::fprintf(stderr, "tamsel run: %s\n", module.message().c_str());
        return kExitFailure;
    }
    if (::setenv("LD_PRELOAD", PreloadValue(*module).c_str(), 1) != 0) {
        std::fprintf(stderr, "tamsel run: cannot set LD_PRELOAD: %s\n", std::strerror(errno));
        return kExitFailure;
    }
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execvp(argv[0], argv.data());
    const int error = errno;
    const bool notFound = error == ENOENT || error == ENOTDIR;
    std::fprintf(stderr, "tamsel run: %s: %s\n", EscapeControlBytes(argv[0]).c_str(),
                 notFound && args[0].find('/') == std::string::npos ? "command not found" : std::strerror(error));
    return notFound ? kExitNotFound : kExitCannotRun;
}

}  // namespace

const Command kRunCommand = {
    "run",
    "run [--log FILE] [--] COMMAND [ARG...]",
    "run a program with its HTTP requests filtered",
    "Runs COMMAND with the filter module (libtamsel.so, installed with the tool)\n"
    "added in front of LD_PRELOAD; a preload the environment already has is\n"
    "kept. Every plain HTTP request head the program, or any program it starts,\n"
    "sends is judged against UserTrust.txt, UserBlock.txt and BlockList.txt,\n"
    "found as tamsel check finds them (see man tamsel for where they lie). A\n"
    "refused request never leaves the program: the send\n"
    "fails with \"Software caused connection abort\" (ECONNABORTED) and the\n"
    "connection is shut down. An HTTPS connection is judged by the server name\n"
    "its TLS ClientHello carries, against the lines without a path; the rest\n"
    "of encrypted traffic cannot be read and passes. A host whose every request\n"
    "is refused cannot be looked up at all (\"Could not resolve host\").\n"
    "Programs that run with raised privileges (set-user-ID) ignore LD_PRELOAD\n"
    "and are not filtered.\n\n"
    "  --log FILE   append a line for every refusal to FILE (see tamsel log);\n"
    "               the same as TAMSEL_LOG=FILE in the program's environment\n\n"
    "The lists are read when the program sends its first request, and a list\n"
    "file replaced while it runs (by tamsel list, for instance) is taken up\n"
    "within about a second.\n\n"
    "The filter does nothing while advertisements are allowed (tamsel allow).\n"
    "Put \"--\" before COMMAND when its own arguments include -h or --help.\n\n"
    "Exit status: that of COMMAND; 127 when COMMAND is not found, 126 when it\n"
    "cannot be run, 1 when the module is missing.\n",
    RunProgram,
};

}  // namespace tamsel::cli
