// Forming the command line that opens a web page in the user's browser from
// the system's open command for web pages. Kept apart from the registry and
// process calls so its rules are checked on every platform.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tamsel {

// Characters, terminator included, that one registry text may take: the
// class name of the web page type and its open command.
inline constexpr size_t kRegistryTextChars = 260;
// Characters, terminator included, of the command line handed to the system.
inline constexpr size_t kCommandLineChars = 520;

// The text a registry read left in a buffer of `capacity` bytes of which it
// reported `reported` as filled. A stored value need not end in a
// terminator, so the text ends at the first zero byte within the reported
// bytes, or after them. Nullopt when a text without terminator fills the
// whole buffer: it would not fit with its terminator, and a cut text could
// name another program.
std::optional<std::string> TerminatedRegistryText(const char* buffer, size_t reported, size_t capacity);

// The key, below the classes root, that holds the open command of a class.
std::string OpenCommandKeyPath(std::string_view className);

// The open command up to its placeholder: cut before the first "\"%1\""
// (its opening quotation mark goes too), else before the first "%1", else
// taken whole. Whatever followed the placeholder is dropped.
std::string_view CutAtPlaceholder(std::string_view openCommand);

// The cut open command, a blank and the address, unquoted. Nullopt when the
// line and its terminator would not fit kCommandLineChars: a shortened line
// would start the browser on another address, or start something else.
std::optional<std::string> FormBrowserCommandLine(std::string_view openCommand, std::string_view address);

}  // namespace tamsel
