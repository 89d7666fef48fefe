#include "ui/help_command.h"

#include <cstring>

namespace tamsel {

std::optional<std::string> TerminatedRegistryText(const char* buffer, size_t reported, size_t capacity) {
    const size_t filled = reported < capacity ? reported : capacity;
    const void* zero = std::memchr(buffer, '\0', filled);
    if (zero != nullptr) {
        return std::string(buffer, static_cast<const char*>(zero) - buffer);
    }
    if (filled >= capacity) {
        return std::nullopt;
    }
    return std::string(buffer, filled);
}

std::string OpenCommandKeyPath(std::string_view className) {
    std::string path(className);
    path += "\\shell\\open\\command";
    return path;
}

std::string_view CutAtPlaceholder(std::string_view openCommand) {
    size_t end = openCommand.find("\"%1\"");
    if (end == std::string_view::npos) {
        end = openCommand.find("%1");
    }
    return openCommand.substr(0, end);
}

std::optional<std::string> FormBrowserCommandLine(std::string_view openCommand, std::string_view address) {
    const std::string_view program = CutAtPlaceholder(openCommand);
    // The blank, the address and the terminator come on top of the program.
    if (program.size() + 1 + address.size() + 1 > kCommandLineChars) {
        return std::nullopt;
    }
    std::string line(program);
    line += ' ';
    line += address;
    return line;
}

}  // namespace tamsel
