#include "runtime/list_supply.h"

#include <chrono>
#include <utility>

#include "listfiles/list_cache.h"
#include "listfiles/list_folders.h"
#include "runtime/refusal_log.h"

namespace tamsel {

// The right to load or look: taken with a try, so a sender that does not
// get it goes on at once; released when the work ends, however it ends.
class ListSupply::Work {
public:
    explicit Work(ListSupply& supply) : supply_(supply), held_(!supply.busy_.exchange(true)) {
        if (held_) supply_.worker_.store(std::this_thread::get_id());
    }
    // Waits for the right instead: Configure alone, which attach calls
    // before any sender can hold it (until then Ready takes nothing).
    static Work Wait(ListSupply& supply) {
        for (;;) {
            Work work(supply);
            if (work.held()) return work;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    // Takes over the right another thread handed over (HandOver).
    static Work Adopt(ListSupply& supply) {
        supply.worker_.store(std::this_thread::get_id());
        return Work(supply, true);
    }
    Work(Work&& other) noexcept : supply_(other.supply_), held_(std::exchange(other.held_, false)) {}
    ~Work() {
        if (!held_) return;
        supply_.worker_.store(std::thread::id());
        supply_.busy_.store(false);
    }
    Work& operator=(Work&&) = delete;
    bool held() const { return held_; }
    // Lets go of the right without freeing it, for a thread about to Adopt
    // it. Nobody is the worker meanwhile, so a fork waits for that thread.
    void HandOver() {
        held_ = false;
        supply_.worker_.store(std::thread::id());
    }

private:
    Work(ListSupply& supply, bool held) : supply_(supply), held_(held) {}

    ListSupply& supply_;
    bool held_;
};

void ListSupply::Configure(ListFilePath where) {
    const Work work = Work::Wait(*this);
    store_.emplace(state_, std::move(where), TheEnv().CacheFolderPath());
    paths_ = {};
    stamps_ = {};
    stage_.store(Stage::Pending);
}

// Without waiting for the right to work: at process exit the thread that
// holds it may already be gone (Windows ends the other threads before the
// last detach), and a look still under way can at worst publish a list
// that then stays until the process is gone.
void ListSupply::Stop() { stage_.store(Stage::Idle); }

bool ListSupply::Ready() noexcept {
    try {
        switch (stage_.load(std::memory_order_acquire)) {
            case Stage::Idle: return true;
            case Stage::Pending: return FirstLoad();
            case Stage::Loaded: FollowFiles(); return true;
        }
    } catch (...) {
        // Out of memory while loading or looking: the lists stay as they
        // are and the request is judged by them.
    }
    return true;
}

void ListSupply::HoldForFork() noexcept {
    // A thread that forks from inside its own load (a signal handler) cannot
    // wait for itself; its child gets what state there is.
    if (worker_.load() == std::this_thread::get_id()) return;
    while (busy_.exchange(true)) std::this_thread::yield();
    heldForFork_.store(true);
}

void ListSupply::ReleaseAfterFork() noexcept {
    if (!heldForFork_.exchange(false)) return;
    busy_.store(false);
}

// Several threads may send their first request at once (a browser opens
// its first page over many connections). One loads; the others wait for it
// rather than pass unjudged, since those first parallel requests are the
// very ones a page's advertisements make. The wait is bounded, and a thread
// that comes back here while it is itself the loader (a signal handler that
// sends) passes at once instead of waiting for itself.
bool ListSupply::FirstLoad() {
    {
        const Work work(*this);
        if (work.held()) {
            if (stage_.load() == Stage::Pending) {
                LoadMissing();
                nextCheckMs_.store(TheEnv().CoarseClockMs() + kCheckIntervalMs);
                stage_.store(Stage::Loaded, std::memory_order_release);
            }
            return true;
        }
    }
    if (worker_.load() == std::this_thread::get_id()) return false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kFirstLoadWaitMs);
    while (std::chrono::steady_clock::now() < deadline) {
        if (stage_.load(std::memory_order_acquire) != Stage::Pending) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

void ListSupply::LoadMissing() {
    for (const ListFileInfo& file : kListFiles) {
        const ListKind kind = file.kind;
        paths_[Index(kind)] = store_->PathOf(kind);
        const auto& path = paths_[Index(kind)];
        stamps_[Index(kind)] = path ? TheEnv().ReadFileStamp(*path) : std::nullopt;
        // A list already in place came from an earlier attach or from an
        // editor; loading it again would only undo the editor's work.
        if (!state_.Present(kind) && stamps_[Index(kind)]) Refresh(kind);
    }
}

// The one clock read a decision pays; the files are looked at only when a
// second has gone by, and only by the thread that wins the right to. A file
// that changed is re-read on a thread of its own, which holds the right until
// it is done; only when no thread can be started does the sender re-read it.
void ListSupply::FollowFiles() {
    const uint64_t now = TheEnv().CoarseClockMs();
    if (now < nextCheckMs_.load(std::memory_order_relaxed)) return;
    Work work(*this);
    if (!work.held() || stage_.load() != Stage::Loaded) return;
    if (now < nextCheckMs_.load()) return;  // another thread just looked
    nextCheckMs_.store(now + kCheckIntervalMs);
    const uint8_t changed = CheckFiles();
    if (changed == 0) return;
    std::function<void()> reread = [this, changed] {  // may throw: before the hand-over
        const Work adopted = Work::Adopt(*this);
        Reread(changed);
    };
    work.HandOver();
    if (TheEnv().RunInBackground(std::move(reread))) return;
    const Work adopted = Work::Adopt(*this);
    Reread(changed);
}

// Takes up the new stamps and empties the lists whose file went away, as at
// start; returns the lists whose file was replaced, one bit per ListKind.
uint8_t ListSupply::CheckFiles() {
    uint8_t changed = 0;
    for (const ListFileInfo& file : kListFiles) {
        const ListKind kind = file.kind;
        const auto& path = paths_[Index(kind)];
        auto stamp = path ? TheEnv().ReadFileStamp(*path) : std::nullopt;
        if (stamp == stamps_[Index(kind)]) continue;
        stamps_[Index(kind)] = stamp;
        if (!stamp) {
            state_.Replace(kind, nullptr);
        } else {
            changed |= static_cast<uint8_t>(1u << Index(kind));
        }
    }
    return changed;
}

void ListSupply::Reread(uint8_t changed) {
    try {
        for (const ListFileInfo& file : kListFiles) {
            if ((changed >> Index(file.kind) & 1) != 0 && stage_.load() == Stage::Loaded) Refresh(file.kind);
        }
    } catch (...) {
        // Out of memory: the lists in use stay.
    }
}

void ListSupply::Refresh(ListKind kind) {
    if (const auto failure = store_->Publish(kind)) LogListFailure(*paths_[Index(kind)], *failure);
}

ListSupply& TheListSupply() {
    static ListSupply* const supply = new ListSupply(TheSharedState());
    return *supply;
}

ListStore& TheListStore() {
    static ListStore* const store = new ListStore(TheSharedState(), FilesOfThisProcess(), TheEnv().CacheFolderPath());
    return *store;
}

bool ListsReady() noexcept { return TheListSupply().Ready(); }

}  // namespace tamsel
