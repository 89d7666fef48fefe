#include "ui/win32/help_launcher.h"

#include <shellapi.h>

#include <vector>

#include "base/boundary.h"
#include "base/win32/owned_handles.h"
#include "platform/win32/registry_key.h"
#include "ui/help_command.h"

namespace tamsel {

namespace {

bool OpenWithShell(const char* address) {
    // Shown normally: the page is what the user asked for.
    const HINSTANCE result = ShellExecuteA(nullptr, "open", address, nullptr, nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(result) > 32;
}

bool StartProcess(const std::string& commandLine) {
    // CreateProcessA may write into the command line it is given.
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started)) {
        return false;
    }
    // The browser runs on its own; its handles are of no further use here.
    const OwnedHandle process(started.hProcess);
    const OwnedHandle thread(started.hThread);
    return true;
}

// An empty class name or open command names nothing: it counts as missing,
// or the line started would be the bare address.
bool ReadText(HKEY root, const std::string& subKey, std::string& text) {
    std::string read;
    if (ReadKeyDefaultValue(root, subKey, read) != ERROR_SUCCESS || read.empty()) {
        return false;
    }
    text = std::move(read);
    return true;
}

// The class name of the web page type: ".html" first, ".htm" second.
bool ReadWebPageClass(HKEY classesRoot, std::string& className) {
    return ReadText(classesRoot, ".html", className) || ReadText(classesRoot, ".htm", className);
}

int32_t OpenWithFallback(const char* address, const BrowserLaunchSteps& steps) {
    std::string className;
    if (!ReadWebPageClass(steps.classesRoot, className)) {
        return 0;
    }
    std::string openCommand;
    if (!ReadText(steps.classesRoot, OpenCommandKeyPath(className), openCommand)) {
        return 0;
    }
    const std::optional<std::string> line = FormBrowserCommandLine(openCommand, address);
    if (!line || !steps.startProcess(*line)) {
        return 0;
    }
    return 1;
}

}  // namespace

LONG ReadKeyDefaultValue(HKEY root, const std::string& subKey, std::string& value) {
    RegistryKey key;
    const LONG openResult = key.Open(root, subKey.c_str(), KEY_QUERY_VALUE);
    if (openResult != ERROR_SUCCESS) {
        return openResult;
    }
    // RegQueryValueA would report an absent value as an empty text; an
    // absent value is a failed look-up.
    char buffer[kRegistryTextChars];
    DWORD type = REG_NONE;
    DWORD size = sizeof buffer;
    const LONG readResult =
        RegQueryValueExA(key.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    if (readResult != ERROR_SUCCESS) {
        return readResult;
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ) {
        return ERROR_INVALID_DATA;
    }
    // A stored text need not carry its terminator.
    std::optional<std::string> text = TerminatedRegistryText(buffer, size, sizeof buffer);
    if (!text) {
        return ERROR_MORE_DATA;
    }
    value = std::move(*text);
    return ERROR_SUCCESS;
}

BrowserLaunchSteps SystemBrowserLaunchSteps() {
    return BrowserLaunchSteps{OpenWithShell, HKEY_CLASSES_ROOT, StartProcess};
}

// Called from a dialog procedure: nothing may cross it.
int32_t OpenUrlInBrowserWith(const char* address, const BrowserLaunchSteps& steps) {
    return AtBoundary<int32_t>(0, [&] { return steps.openWithShell(address) ? 0 : OpenWithFallback(address, steps); });
}

int32_t OpenUrlInBrowser(const char* address) { return OpenUrlInBrowserWith(address, SystemBrowserLaunchSteps()); }

}  // namespace tamsel
