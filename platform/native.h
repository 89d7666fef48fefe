// The platform's own services, defined once in posix/ or win32/ and chosen
// when the program is linked. Only the platform's Env (env.cpp) and the
// platform's other files call them: everything above platform/ goes through
// TheEnv(), so that a test can put its own in place. Contracts: env.h.
#pragma once

#include "platform/env.h"

namespace tamsel::native {

std::optional<std::string> ModuleFolderPath(std::string_view fileName);
Status ReplaceFileContents(const std::string& path, std::string_view bytes, NewFileAccess access);
uint32_t ReadAllowAdsSwitch();
bool WriteAllowAdsSwitch(uint32_t value);
size_t AppendLogLine(const std::string& path, std::string_view line) noexcept;
uint32_t CurrentProcessId() noexcept;
std::optional<FileStamp> ReadFileStamp(const std::string& path);
uint64_t CoarseClockMs() noexcept;
std::optional<std::string> CacheFolderPath();
std::unique_ptr<ListStorage> OpenSnapshotFile(const std::string& path);
void RemoveStaleSnapshotTemporaries(const std::string& cacheFolder);
std::vector<CachedSnapshot> CachedSnapshots(const std::string& cacheFolder, size_t headBytes);
void RemoveCachedSnapshot(const std::string& cacheFolder, const std::string& name);
ListFolderFacts FindListFolderFacts(std::string_view shippedListName);
bool RunInBackground(std::function<void()> work) noexcept;

}  // namespace tamsel::native
