// Runs another program with a chosen environment and collects what it says.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tamsel::testing {

struct ChildResult {
    int exitCode = -1;  // -1 when it did not exit normally (or timed out)
    std::string out, err;
};

// The program's absolute path as PATH finds it, or nullopt.
std::optional<std::string> FindInPath(const std::string& name);

// Runs `argv` (argv[0] a path) with this process's environment changed by
// `env`: a value sets a variable, nullopt removes it. LD_PRELOAD is removed
// unless `env` sets it. Killed after `timeoutSeconds`.
ChildResult RunChild(const std::vector<std::string>& argv, const std::map<std::string, std::optional<std::string>>& env,
                     int timeoutSeconds = 20);

// A program left running for the length of a test (a server), with its
// output going to the files the caller names. Killed when this goes.
class BackgroundChild {
public:
    BackgroundChild(const std::vector<std::string>& argv, const std::map<std::string, std::optional<std::string>>& env);
    ~BackgroundChild();
    BackgroundChild(const BackgroundChild&) = delete;
    BackgroundChild& operator=(const BackgroundChild&) = delete;
    bool started() const { return pid_ > 0; }

private:
    int pid_ = -1;
};

}  // namespace tamsel::testing
