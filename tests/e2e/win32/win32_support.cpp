#include "win32_support.h"

#include <vector>

#include "platform/win32/module_file.h"
#include "platform/win32/registry_key.h"

namespace tamsel::testing {

namespace {

class Handle {
public:
    explicit Handle(HANDLE h) : h_(h) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() {
        if (h_) CloseHandle(h_);
    }
    HANDLE get() const { return h_; }

private:
    HANDLE h_;
};

}  // namespace

std::optional<DWORD> RunProgram(const std::string& commandLine, DWORD timeoutMs) {
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info)) {
        return std::nullopt;
    }
    const Handle process(info.hProcess);
    const Handle thread(info.hThread);
    if (WaitForSingleObject(process.get(), timeoutMs) != WAIT_OBJECT_0) {
        TerminateProcess(process.get(), 99);
        return std::nullopt;
    }
    DWORD code = 0;
    if (!GetExitCodeProcess(process.get(), &code)) return std::nullopt;
    return code;
}

std::string ProgramFolder() {
    std::string path = ModuleFileName(nullptr).value_or("");
    path.erase(path.rfind('\\') + 1);
    return path;
}

std::string Regsvr32(const std::string& options, const std::string& modulePath) {
    char system[MAX_PATH];
    const UINT n = GetSystemDirectoryA(system, MAX_PATH);
    return "\"" + std::string(system, n) + "\\regsvr32.exe\" " + options + " \"" + modulePath + "\"";
}

bool KeyExists(HKEY root, const std::string& subKey) {
    RegistryKey key;
    return key.Open(root, subKey.c_str(), KEY_READ) == ERROR_SUCCESS;
}

std::optional<std::string> StringValue(HKEY root, const std::string& subKey, const std::string& name) {
    RegistryKey key;
    if (key.Open(root, subKey.c_str(), KEY_READ) != ERROR_SUCCESS) return std::nullopt;
    char data[2048];
    DWORD size = sizeof data;
    DWORD type = REG_NONE;
    if (RegQueryValueExA(key.get(), name.empty() ? nullptr : name.c_str(), nullptr, &type,
                         reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS ||
        type != REG_SZ) {
        return std::nullopt;
    }
    std::string text(data, size);
    while (!text.empty() && text.back() == '\0') text.pop_back();
    return text;
}

bool ValueExists(HKEY root, const std::string& subKey, const std::string& name) {
    RegistryKey key;
    if (key.Open(root, subKey.c_str(), KEY_READ) != ERROR_SUCCESS) return false;
    return RegQueryValueExA(key.get(), name.empty() ? nullptr : name.c_str(), nullptr, nullptr, nullptr, nullptr) ==
           ERROR_SUCCESS;
}

}  // namespace tamsel::testing
