// The module's three lists, loaded when a decision first needs them and kept
// in step with their files while the program runs.
//
// A program that never sends a request never reads a list. The first request
// head (or name lookup) loads them; from then on, at most once a second, one
// sender looks whether a file was replaced (a stat of each file) and, when
// one was, hands its re-read to a thread of its own and goes on with the
// lists in use: parsing a long list takes far longer than a send should. The
// re-read goes through the list store, as the editors' does: a file that
// fails to load keeps the list in use, and the failure goes to the refusal
// log.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>

#include "listfiles/list_store.h"
#include "platform/env.h"
#include "runtime/shared_state.h"

namespace tamsel {

class ListSupply {
public:
    static constexpr uint64_t kCheckIntervalMs = 1000;
    // How long a sender waits for another thread's first load.
    static constexpr uint64_t kFirstLoadWaitMs = 3000;

    // Files and time are seen, and re-reads started, through TheEnv().
    explicit ListSupply(SharedState& state) : state_(state) {}
    ListSupply(const ListSupply&) = delete;
    ListSupply& operator=(const ListSupply&) = delete;

    // Where the lists come from, asked at the first load (finding the
    // module's folder is not free either). Until this is called, and after
    // Stop, the supply leaves the shared state as it is.
    void Configure(ListFilePath where);
    void Stop();
    // Called before every decision. True when the lists are in place; false
    // when another thread's first load did not finish in time, and the
    // caller then lets the request pass. Never throws.
    bool Ready() noexcept;
    // Around fork (pthread_atfork): in a child only the forking thread lives
    // on, so a load another thread was in the middle of (a re-read's thread
    // among them) would never finish there, and the locks it held (the
    // shared state's writer lock among them) would stay taken for good.
    // Before the fork the forking thread waits for a load, look or re-read
    // under way to end and holds off new ones; after it, in parent and child
    // alike, the work is free again.
    void HoldForFork() noexcept;
    void ReleaseAfterFork() noexcept;

private:
    enum class Stage : uint8_t { Idle, Pending, Loaded };
    class Work;

    bool FirstLoad();
    void LoadMissing();
    void FollowFiles();
    uint8_t CheckFiles();
    void Reread(uint8_t changed);
    void Refresh(ListKind kind);

    SharedState& state_;
    std::atomic<Stage> stage_{Stage::Idle};
    // Held by the one thread that loads, looks at or re-reads the files; the
    // paths and stamps below are touched only under it. Senders never wait
    // for it.
    std::atomic<bool> busy_{false};
    std::atomic<std::thread::id> worker_{};
    std::atomic<uint64_t> nextCheckMs_{0};
    std::atomic<bool> heldForFork_{false};
    std::optional<ListStore> store_;
    std::array<std::optional<std::string>, 3> paths_;  // indexed by ListKind, found at the first load
    std::array<std::optional<FileStamp>, 3> stamps_;
};

// The process's one supply, over TheSharedState().
ListSupply& TheListSupply();

// The list store of the process, for the editors: the module's list files
// (FilesOfThisProcess), the lists of TheSharedState(), snapshots in
// TheEnv().CacheFolderPath(). Never destroyed.
ListStore& TheListStore();

// What every decision path calls before it judges: see ListSupply::Ready.
bool ListsReady() noexcept;

}  // namespace tamsel
