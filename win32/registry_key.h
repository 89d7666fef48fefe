// Owner of one open registry key.
#pragma once

#include <windows.h>

#include <utility>

namespace tamsel {

class RegistryKey {
public:
    RegistryKey() = default;
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    RegistryKey(RegistryKey&& other) noexcept : key_(std::exchange(other.key_, nullptr)) {}
    RegistryKey& operator=(RegistryKey&& other) noexcept {
        if (this != &other) {
            reset();
            key_ = std::exchange(other.key_, nullptr);
        }
        return *this;
    }
    ~RegistryKey() { reset(); }

    // Opens `subKey` of `parent`; the result is the registry's error number.
    LONG Open(HKEY parent, const char* subKey, REGSAM access) {
        reset();
        return RegOpenKeyExA(parent, subKey, 0, access, &key_);
    }
    // Opens or creates `subKey` and every missing key above it.
    LONG Create(HKEY parent, const char* subKey, REGSAM access) {
        reset();
        return RegCreateKeyExA(parent, subKey, 0, nullptr, 0, access, nullptr, &key_, nullptr);
    }

    void reset() {
        if (HKEY old = std::exchange(key_, nullptr)) RegCloseKey(old);
    }
    HKEY get() const { return key_; }
    explicit operator bool() const { return key_ != nullptr; }

private:
    HKEY key_ = nullptr;
};

}  // namespace tamsel
