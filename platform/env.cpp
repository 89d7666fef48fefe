#include "platform/env.h"

#include <atomic>

#include "platform/native.h"

namespace tamsel {

namespace {

// The platform's services as an Env. Every call is one more indirect call
// than a direct one: the clock, the only call made on every decision, costs
// a few nanoseconds either way.
class NativeEnv final : public Env {
public:
    std::optional<std::string> ModuleFolderPath(std::string_view fileName) override {
        return native::ModuleFolderPath(fileName);
    }
    Status ReplaceFileContents(const std::string& path, std::string_view bytes, NewFileAccess access) override {
        return native::ReplaceFileContents(path, bytes, access);
    }
    uint32_t ReadAllowAdsSwitch() override { return native::ReadAllowAdsSwitch(); }
    bool WriteAllowAdsSwitch(uint32_t value) override { return native::WriteAllowAdsSwitch(value); }
    size_t AppendLogLine(const std::string& path, std::string_view line) noexcept override {
        return native::AppendLogLine(path, line);
    }
    uint32_t CurrentProcessId() noexcept override { return native::CurrentProcessId(); }
    std::optional<FileStamp> ReadFileStamp(const std::string& path) override { return native::ReadFileStamp(path); }
    uint64_t CoarseClockMs() noexcept override { return native::CoarseClockMs(); }
    std::optional<std::string> CacheFolderPath() override { return native::CacheFolderPath(); }
    std::unique_ptr<ListStorage> OpenSnapshotFile(const std::string& path) override {
        return native::OpenSnapshotFile(path);
    }
    void RemoveStaleSnapshotTemporaries(const std::string& cacheFolder) override {
        native::RemoveStaleSnapshotTemporaries(cacheFolder);
    }
    std::vector<CachedSnapshot> CachedSnapshots(const std::string& cacheFolder, size_t headBytes) override {
        return native::CachedSnapshots(cacheFolder, headBytes);
    }
    void RemoveCachedSnapshot(const std::string& cacheFolder, const std::string& name) override {
        native::RemoveCachedSnapshot(cacheFolder, name);
    }
    ListFolderFacts FindListFolderFacts(std::string_view shippedListName) override {
        return native::FindListFolderFacts(shippedListName);
    }
    bool RunInBackground(std::function<void()> work) noexcept override {
        return native::RunInBackground(std::move(work));
    }
};

// Constant-initialised, so that a send made before any constructor ran, or
// while the process exits, still finds an Env.
constinit NativeEnv g_native;
constinit std::atomic<Env*> g_current{nullptr};

}  // namespace

Env& PlatformEnv() noexcept { return g_native; }

Env& TheEnv() noexcept {
    Env* env = g_current.load(std::memory_order_acquire);
    return env != nullptr ? *env : g_native;
}

Env* SwapEnv(Env* env) noexcept { return g_current.exchange(env, std::memory_order_acq_rel); }

}  // namespace tamsel
