#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>

#include "base/posix/unique_fd.h"

extern char** environ;

namespace tamsel::testing {

namespace {

// Everything the child needs is prepared here, before fork: the child of a
// threaded process may only call async-signal-safe functions.
std::vector<std::string> ChildEnvironment(const std::map<std::string, std::optional<std::string>>& env) {
    std::vector<std::string> result;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        if (name == "LD_PRELOAD" || env.count(name)) continue;
        result.push_back(entry);
    }
    for (const auto& [name, value] : env) {
        if (value) result.push_back(name + "=" + *value);
    }
    return result;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> result;
    for (std::string& t : texts) result.push_back(t.data());
    result.push_back(nullptr);
    return result;
}

// Reads both pipes to their end or until the deadline.
bool Collect(UniqueFd& out, UniqueFd& err, ChildResult* result, int timeoutSeconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    char chunk[4096];
    while (out || err) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd p[2] = {{out ? out.get() : -1, POLLIN, 0}, {err ? err.get() : -1, POLLIN, 0}};
        if (::poll(p, 2, static_cast<int>(left.count())) < 0) return false;
        for (int i = 0; i < 2; ++i) {
            if (p[i].revents == 0) continue;
            UniqueFd& fd = i == 0 ? out : err;
            const ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
            if (n <= 0) fd = UniqueFd();
            else (i == 0 ? result->out : result->err).append(chunk, static_cast<size_t>(n));
        }
    }
    return true;
}

}  // namespace

std::optional<std::string> FindInPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        const size_t end = std::min(dirs.find(':', start), dirs.size());
        const std::string candidate = dirs.substr(start, end - start) + "/" + name;
        if (end > start && ::access(candidate.c_str(), X_OK) == 0) return candidate;
        start = end + 1;
    }
    return std::nullopt;
}

ChildResult RunChild(const std::vector<std::string>& argvIn,
                     const std::map<std::string, std::optional<std::string>>& env, int timeoutSeconds) {
    ChildResult result;
    std::vector<std::string> argv = argvIn, envp = ChildEnvironment(env);
    std::vector<char*> argvPointers = Pointers(argv), envPointers = Pointers(envp);
    int outPipe[2], errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0) return result;
    UniqueFd outRead(outPipe[0]), outWrite(outPipe[1]);
    if (::pipe2(errPipe, O_CLOEXEC) != 0) return result;
    UniqueFd errRead(errPipe[0]), errWrite(errPipe[1]);
    const pid_t pid = ::fork();
    if (pid < 0) return result;
    if (pid == 0) {
        ::dup2(outWrite.get(), 1);
        ::dup2(errWrite.get(), 2);
        ::execve(argvPointers[0], argvPointers.data(), envPointers.data());
        ::_exit(127);
    }
    outWrite = UniqueFd();
    errWrite = UniqueFd();
    if (!Collect(outRead, errRead, &result, timeoutSeconds)) ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

BackgroundChild::BackgroundChild(const std::vector<std::string>& argvIn,
                                 const std::map<std::string, std::optional<std::string>>& env) {
    std::vector<std::string> argv = argvIn, envp = ChildEnvironment(env);
    std::vector<char*> argvPointers = Pointers(argv), envPointers = Pointers(envp);
    pid_ = ::fork();
    if (pid_ == 0) {
        ::execve(argvPointers[0], argvPointers.data(), envPointers.data());
        ::_exit(127);
    }
}

BackgroundChild::~BackgroundChild() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
}

}  // namespace tamsel::testing
