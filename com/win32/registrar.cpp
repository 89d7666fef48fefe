#include "com/win32/registrar.h"

#include <new>
#include <optional>
#include <string>

#include "base/boundary.h"
#include "com/registry_update.h"
#include "platform/win32/module_file.h"
#include "platform/win32/registry_key.h"

namespace tamsel {

namespace {

HKEY RootHandle(RegistryRoot root) {
    switch (root) {
        case RegistryRoot::ClassesRoot: return HKEY_CLASSES_ROOT;
        case RegistryRoot::CurrentUser: return HKEY_CURRENT_USER;
        case RegistryRoot::LocalMachine: return HKEY_LOCAL_MACHINE;
        case RegistryRoot::Users: return HKEY_USERS;
    }
    return HKEY_CLASSES_ROOT;
}

std::string SubKey(const KeyPath& key) {
    std::string path;
    for (const std::string& name : key.names) {
        if (!path.empty()) path += '\\';
        path += name;
    }
    return path;
}

LONG NotFoundIsSuccess(LONG error) { return error == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : error; }

class Win32Registry final : public RegistryEditor {
public:
    long CreateKey(const KeyPath& key) override {
        RegistryKey k;
        return k.Create(RootHandle(key.root), SubKey(key).c_str(), KEY_WRITE);
    }
    long SetString(const KeyPath& key, const std::string& name, const std::string& data) override {
        RegistryKey k;
        if (const LONG error = k.Open(RootHandle(key.root), SubKey(key).c_str(), KEY_SET_VALUE)) return error;
        return RegSetValueExA(k.get(), name.empty() ? nullptr : name.c_str(), 0, REG_SZ,
                              reinterpret_cast<const BYTE*>(data.c_str()), static_cast<DWORD>(data.size() + 1));
    }
    bool KeyExists(const KeyPath& key) override {
        RegistryKey k;
        return k.Open(RootHandle(key.root), SubKey(key).c_str(), KEY_READ) == ERROR_SUCCESS;
    }
    bool KeyIsEmpty(const KeyPath& key) override {
        RegistryKey k;
        if (k.Open(RootHandle(key.root), SubKey(key).c_str(), KEY_READ) != ERROR_SUCCESS) return false;
        DWORD subkeys = 0;
        DWORD values = 0;
        if (RegQueryInfoKeyA(k.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                             nullptr, nullptr) != ERROR_SUCCESS) {
            return false;
        }
        return subkeys == 0 && values == 0;
    }
    long DeleteTree(const KeyPath& key) override {
        return NotFoundIsSuccess(RegDeleteTreeA(RootHandle(key.root), SubKey(key).c_str()));
    }
    long DeleteKey(const KeyPath& key) override {
        return NotFoundIsSuccess(RegDeleteKeyA(RootHandle(key.root), SubKey(key).c_str()));
    }
    long DeleteValue(const KeyPath& key, const std::string& name) override {
        RegistryKey k;
        const LONG error = k.Open(RootHandle(key.root), SubKey(key).c_str(), KEY_SET_VALUE);
        if (error != ERROR_SUCCESS) return NotFoundIsSuccess(error);
        return NotFoundIsSuccess(RegDeleteValueA(k.get(), name.empty() ? nullptr : name.c_str()));
    }
};

std::optional<std::string> ResourceText(HMODULE module, UINT resourceId) {
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(resourceId), "REGISTRY");
    if (found == nullptr) return std::nullopt;
    // A loaded resource is part of the mapped module: nothing to free.
    HGLOBAL loaded = LoadResource(module, found);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (bytes == nullptr) return std::nullopt;
    return std::string(static_cast<const char*>(bytes), SizeofResource(module, found));
}

}  // namespace

HRESULT UpdateRegistryFromResource(HMODULE module, UINT resourceId, bool registering) noexcept {
    return AtBoundary(E_OUTOFMEMORY, E_UNEXPECTED, [&] {
        const auto text = ResourceText(module, resourceId);
        const auto modulePath = ModuleFileName(module);
        if (!text || !modulePath) return E_UNEXPECTED;
        const auto parsed = ParseRegistryScript(*text, {{"MODULE", *modulePath}});
        if (!parsed.script) return E_UNEXPECTED;
        Win32Registry registry;
        const long error =
            registering ? RegisterScript(*parsed.script, registry) : UnregisterScript(*parsed.script, registry);
        return HRESULT_FROM_WIN32(static_cast<DWORD>(error));
    });
}

}  // namespace tamsel
