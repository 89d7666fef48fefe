// Env: everything the portable code asks of the operating system, behind one
// abstract class. Each platform supplies its own (posix/, win32/); the code
// above reaches it through TheEnv(), and a test puts an Env of its own in
// place for a while with ScopedEnv (tests/support/scoped_env.h), usually an
// EnvWrapper that changes a few calls and hands the rest to the platform's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"
#include "patterns/stored_array.h"

namespace tamsel {

// A file's identity and version as the file system reports them. A file
// replaced by a rename gets a new identity; one rewritten in place a new
// size or modification time.
struct FileStamp {
    uint64_t device = 0;
    uint64_t inode = 0;  // the file index on Windows
    uint64_t size = 0;
    int64_t modified = 0;  // in the platform's finest unit
    bool operator==(const FileStamp&) const = default;
};

// Who may read and write a replaced file: as the old file allowed (a new file
// as the user's defaults allow), or the user alone (files the module trusts
// only when nobody else could have written them).
enum class NewFileAccess { AsBefore, OwnerOnly };

// A snapshot file in the cache folder, as the cache's sweep sees it.
struct CachedSnapshot {
    std::string name;  // within the folder
    uint64_t size = 0;
    int64_t modified = 0;  // in the platform's finest unit
    std::string head;      // the file's first bytes, enough to name its list file
};

// What the list folders are found from (the rule: listfiles/list_folders.h).
struct ListFolderFacts {
    std::optional<std::string> listsVariable;  // TAMSEL_LISTS
    std::optional<std::string> configHome;     // XDG_CONFIG_HOME
    std::optional<std::string> home;           // HOME
    std::optional<std::string> moduleFolder;   // the folder of the module, or of the tool
    // Where an installed shipped list may lie, relative to moduleFolder,
    // nearest first.
    std::vector<std::string> installedLists;
    std::function<bool(const std::string& folder)> holdsShippedList;
};

class Env {
public:
    virtual ~Env() = default;

    // Files that lie beside the module: the module's folder followed by
    // `fileName`, or nullopt when the module's path cannot be had or the
    // result would not fit the platform's path limit: never a shortened path
    // that names another file.
    virtual std::optional<std::string> ModuleFolderPath(std::string_view fileName) = 0;

    // Writes `bytes` to a new file beside `path`, forces it to disk and puts
    // it in place of `path` in one step. When `path` is a symbolic link, the
    // file it leads to is replaced and the link stays. On any failure the old
    // file (or its absence) stays as it was, the new file is removed, and
    // the failure says why.
    virtual Status ReplaceFileContents(const std::string& path, std::string_view bytes,
                                       NewFileAccess access = NewFileAccess::AsBefore) = 0;

    // The one persisted setting, the AllowAds switch, per user, under the key
    // HKEY_CURRENT_USER "Software\Tamsel\BHO", value "Status" (nonzero allows
    // advertisements, 0 filters): in the registry on Windows, elsewhere in a
    // file of the registry's export format. Reading gives 0 when the key or
    // value is absent or cannot be read; a failed write keeps the old value.
    virtual uint32_t ReadAllowAdsSwitch() = 0;
    virtual bool WriteAllowAdsSwitch(uint32_t value) = 0;

    // Appends `line` to the log file at `path` in one write, creating the
    // file if need be (readable by its owner only), never through a link at
    // `path`. The file is opened for this line alone: a handle kept open
    // could outlive a program's own clean-up of its descriptors and end up
    // naming another file. Never blocks on the file. Returns the bytes
    // written: fewer than the line's when the write was cut short (a full
    // disk), 0 when nothing could be written.
    virtual size_t AppendLogLine(const std::string& path, std::string_view line) noexcept = 0;
    // The process's id now (after a fork, the child's).
    virtual uint32_t CurrentProcessId() noexcept = 0;

    // The stamp of the file at `path`; nullopt when it does not exist or
    // cannot be looked at.
    virtual std::optional<FileStamp> ReadFileStamp(const std::string& path) = 0;
    // Milliseconds of a monotonic clock read the cheapest way the platform
    // has; a resolution of a few milliseconds is enough.
    virtual uint64_t CoarseClockMs() noexcept = 0;

    // The folder for list snapshots, made if missing, or nullopt when there
    // is none: on Linux "$XDG_CACHE_HOME/tamsel", else "$HOME/.cache/tamsel",
    // and only when the folder (not a link to one) is the user's and nobody
    // else may write to it; on Windows none, since the browser loads its
    // lists once for its whole run.
    virtual std::optional<std::string> CacheFolderPath() = 0;
    // A snapshot file's bytes, copied into memory of the program's own so
    // that nothing another process does to the file afterwards reaches the
    // list; null when the file cannot be had, is not a regular file, or is
    // not the user's alone. Windows, which has no cache folder, keeps no
    // snapshots: there this and the calls below find and remove nothing.
    virtual std::unique_ptr<ListStorage> OpenSnapshotFile(const std::string& path) = 0;
    // Removes the temporary files of snapshot writes that never finished (the
    // writer was killed): the user's own, a quarter of an hour old or more.
    virtual void RemoveStaleSnapshotTemporaries(const std::string& cacheFolder) = 0;
    // The snapshot files of the cache folder ("list-*.snapshot") that are
    // regular files and the user's own, each with its first `headBytes`
    // bytes.
    virtual std::vector<CachedSnapshot> CachedSnapshots(const std::string& cacheFolder, size_t headBytes) = 0;
    // Removes one file of the cache folder. A reader that has it open keeps
    // what it read.
    virtual void RemoveCachedSnapshot(const std::string& cacheFolder, const std::string& name) = 0;

    // What this process finds its list folders from, the shipped list being
    // the file `shippedListName`: on Linux the environment's variables, the
    // module's (or the tool's) folder and where an installation puts the
    // shipped list; on Windows the module's folder alone, which holds all
    // three lists whether or not the shipped one exists yet.
    virtual ListFolderFacts FindListFolderFacts(std::string_view shippedListName) = 0;

    // Starts `work` on a new, detached thread and returns at once; false when
    // no thread could be started (the work then never runs). The thread takes
    // none of the program's signals: a program that blocks a signal to wait
    // for it in its own way must not find it delivered to a thread it never
    // made.
    virtual bool RunInBackground(std::function<void()> work) noexcept = 0;
};

// The Env in force: the platform's own unless a test put another in place.
Env& TheEnv() noexcept;

// The platform's own Env, which lives as long as the process.
Env& PlatformEnv() noexcept;

// Puts `env` in force (null: the platform's own) and returns the one it
// replaces. Code already inside a call of the old Env finishes there.
Env* SwapEnv(Env* env) noexcept;

// An Env that hands every call to another; derive from it to change a few.
class EnvWrapper : public Env {
public:
    explicit EnvWrapper(Env& target) : target_(target) {}

    std::optional<std::string> ModuleFolderPath(std::string_view fileName) override {
        return target_.ModuleFolderPath(fileName);
    }
    Status ReplaceFileContents(const std::string& path, std::string_view bytes, NewFileAccess access) override {
        return target_.ReplaceFileContents(path, bytes, access);
    }
    uint32_t ReadAllowAdsSwitch() override { return target_.ReadAllowAdsSwitch(); }
    bool WriteAllowAdsSwitch(uint32_t value) override { return target_.WriteAllowAdsSwitch(value); }
    size_t AppendLogLine(const std::string& path, std::string_view line) noexcept override {
        return target_.AppendLogLine(path, line);
    }
    uint32_t CurrentProcessId() noexcept override { return target_.CurrentProcessId(); }
    std::optional<FileStamp> ReadFileStamp(const std::string& path) override { return target_.ReadFileStamp(path); }
    uint64_t CoarseClockMs() noexcept override { return target_.CoarseClockMs(); }
    std::optional<std::string> CacheFolderPath() override { return target_.CacheFolderPath(); }
    std::unique_ptr<ListStorage> OpenSnapshotFile(const std::string& path) override {
        return target_.OpenSnapshotFile(path);
    }
    void RemoveStaleSnapshotTemporaries(const std::string& cacheFolder) override {
        target_.RemoveStaleSnapshotTemporaries(cacheFolder);
    }
    std::vector<CachedSnapshot> CachedSnapshots(const std::string& cacheFolder, size_t headBytes) override {
        return target_.CachedSnapshots(cacheFolder, headBytes);
    }
    void RemoveCachedSnapshot(const std::string& cacheFolder, const std::string& name) override {
        target_.RemoveCachedSnapshot(cacheFolder, name);
    }
    ListFolderFacts FindListFolderFacts(std::string_view shippedListName) override {
        return target_.FindListFolderFacts(shippedListName);
    }
    bool RunInBackground(std::function<void()> work) noexcept override {
        return target_.RunInBackground(std::move(work));
    }

private:
    Env& target_;
};

}  // namespace tamsel
