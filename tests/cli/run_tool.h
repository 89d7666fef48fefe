// Runs the tamsel tool as a person would and captures what it says.
#pragma once

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

namespace tamsel::testing {

struct ToolResult {
    int exitCode = -1;
    std::string out;  // standard output and standard error, in order
};

// `tool` is shell text naming the program (an environment may go before
// it); `arguments` is shell text appended to it. `input`, when given, is
// piped in through printf, which turns the escapes \r, \n and \0 into bytes.
inline ToolResult RunToolAt(const std::string& tool, const std::string& arguments, const std::string& input = "") {
    std::string command = tool + " " + arguments + " 2>&1";
    if (!input.empty()) command = "printf '" + input + "' | " + command;
    ToolResult result;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return result;
    std::array<char, 4096> chunk;
    size_t n;
    while ((n = fread(chunk.data(), 1, chunk.size(), pipe)) > 0) result.out.append(chunk.data(), n);
    const int status = pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

// The tool as the build makes it.
inline ToolResult RunTool(const std::string& arguments, const std::string& input = "") {
    return RunToolAt(TAMSEL_TOOL, arguments, input);
}

}  // namespace tamsel::testing
