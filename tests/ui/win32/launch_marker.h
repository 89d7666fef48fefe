// Registry keys set up for one test and put back afterwards, and a harmless
// program (write_marker.exe, beside the test program) whose start a test can
// see: it records its show state and command line in "marker.txt".
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "platform/win32/registry_key.h"

namespace tamsel::testing {

inline RegistryKey CreateKey(HKEY root, const std::string& path) {
    RegistryKey key;
    EXPECT_EQ(key.Create(root, path.c_str(), KEY_ALL_ACCESS), ERROR_SUCCESS) << path;
    return key;
}

// Stores `bytes` as the key's default value exactly, terminator or not.
inline void SetDefaultBytes(HKEY root, const std::string& path, const std::string& bytes) {
    const RegistryKey key = CreateKey(root, path);
    ASSERT_EQ(RegSetValueExA(key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(bytes.data()),
                             static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS);
}

inline void SetDefault(HKEY root, const std::string& path, const std::string& text) {
    SetDefaultBytes(root, path, std::string(text.c_str(), text.size() + 1));
}

// A key made for one test and removed with everything in it afterwards.
class ScratchKey {
public:
    ScratchKey(HKEY root, std::string path, const std::string& text) : root_(root), path_(std::move(path)) {
        SetDefault(root_, path_, text);
    }
    ~ScratchKey() { RegDeleteTreeA(root_, path_.c_str()); }
    ScratchKey(const ScratchKey&) = delete;
    ScratchKey& operator=(const ScratchKey&) = delete;

private:
    HKEY root_;
    std::string path_;
};

// The default value of a key of the prefix's own, changed for one test and
// put back as it was afterwards.
class SwappedDefault {
public:
    SwappedDefault(HKEY root, std::string path, const std::string& text) : root_(root), path_(std::move(path)) {
        char old[1024];
        DWORD size = sizeof old;
        if (RegGetValueA(root_, path_.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, old, &size) == ERROR_SUCCESS) {
            old_ = old;
        }
        SetDefault(root_, path_, text);
    }
    ~SwappedDefault() {
        if (old_) {
            SetDefault(root_, path_, *old_);
        } else {
            RegDeleteTreeA(root_, path_.c_str());
        }
    }
    SwappedDefault(const SwappedDefault&) = delete;
    SwappedDefault& operator=(const SwappedDefault&) = delete;

private:
    HKEY root_;
    std::string path_;
    std::optional<std::string> old_;
};

inline std::string ProgramFolder() {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length);
    return folder.erase(folder.find_last_of('\\') + 1);
}

// What the marker program recorded: its show state (-1 for none given), a
// line end and its command line. Cleared at the start and at the end.
class Marker {
public:
    Marker() { DeleteFileA(file_.c_str()); }
    ~Marker() { DeleteFileA(file_.c_str()); }
    Marker(const Marker&) = delete;
    Marker& operator=(const Marker&) = delete;

    static std::string Program() { return ProgramFolder() + "write_marker.exe"; }
    // An open command that starts the marker program on the address.
    static std::string OpenCommand() { return "\"" + Program() + "\" \"%1\""; }

    // What is recorded so far, without waiting.
    std::optional<std::string> Read() const {
        std::ifstream in(file_, std::ios::binary);
        if (!in) return std::nullopt;
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::optional<std::string> Wait() const {
        for (int i = 0; i < 300; ++i) {
            if (std::optional<std::string> text = Read()) return text;
            Sleep(50);
        }
        return std::nullopt;
    }

private:
    std::string file_ = ProgramFolder() + "marker.txt";
};

}  // namespace tamsel::testing
