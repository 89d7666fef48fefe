// A cache home of the test's own: the platform's CacheFolderPath() and the tools the test
// runs find their snapshots there, and nowhere else, until it goes.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <optional>
#include <string>

#include "support/temp_dir.h"

namespace tamsel::testing {

class ScopedCacheHome {
public:
    ScopedCacheHome() {
        if (const char* old = getenv("XDG_CACHE_HOME")) old_ = old;
        setenv("XDG_CACHE_HOME", home_.path().c_str(), 1);
    }
    ~ScopedCacheHome() {
        if (old_) setenv("XDG_CACHE_HOME", old_->c_str(), 1);
        else unsetenv("XDG_CACHE_HOME");
    }
    ScopedCacheHome(const ScopedCacheHome&) = delete;
    ScopedCacheHome& operator=(const ScopedCacheHome&) = delete;

    // The snapshot folder within it (made by the first writer).
    std::string folder() const { return (home_.path() / "tamsel").string(); }

    int Snapshots() const {
        int n = 0;
        std::error_code none;
        for (const auto& file : std::filesystem::directory_iterator(folder(), none)) {
            n += file.path().extension() == ".snapshot";
        }
        return n;
    }

private:
    TempDir home_;
    std::optional<std::string> old_;
};

}  // namespace tamsel::testing
