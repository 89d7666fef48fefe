// Drives modal dialogs from inside their own message loops. A thread timer
// runs the script's steps in turn, one try per tick, each until it reports
// done. Actions that open a nested dialog must be posted, not sent, so that
// the tick returns before the nested loop starts.
#pragma once

#include <windows.h>

#include <functional>
#include <vector>

namespace tamsel::testing {

// True when done: the script moves on to the next step.
using Step = std::function<bool()>;

// A visible dialog of this thread with this caption, else null.
inline HWND FindDialog(const char* caption) {
    HWND window = FindWindowA("#32770", caption);
    return window != nullptr && IsWindowVisible(window) ? window : nullptr;
}

class DialogScript {
public:
    explicit DialogScript(std::vector<Step> steps) : steps_(std::move(steps)) {
        active_ = this;
        timer_ = SetTimer(nullptr, 0, kTickMs, Tick);
    }
    ~DialogScript() {
        KillTimer(nullptr, timer_);
        active_ = nullptr;
    }
    DialogScript(const DialogScript&) = delete;
    DialogScript& operator=(const DialogScript&) = delete;

    // Every step ran to its end, none had to be given up.
    bool Completed() const { return next_ == steps_.size() && !gaveUp_; }

private:
    static constexpr UINT kTickMs = 20;
    // Generous: the machine may be loaded, and a step that succeeds costs
    // only the ticks it takes.
    static constexpr int kTicksPerStep = 1500;  // thirty seconds

    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
        if (active_ != nullptr) active_->RunOnce();
    }

    void RunOnce() {
        if (next_ == steps_.size() || gaveUp_) return;
        if (steps_[next_]()) {
            ++next_;
            triesOnStep_ = 0;
        } else if (++triesOnStep_ > kTicksPerStep) {
            GiveUp();
        }
    }

    // A step that never comes true must not leave the test hanging in a
    // modal loop: end every dialog of this thread.
    void GiveUp() {
        gaveUp_ = true;
        EnumThreadWindows(GetCurrentThreadId(), EndIfDialog, 0);
    }

    static BOOL CALLBACK EndIfDialog(HWND window, LPARAM) {
        char name[16] = {};
        GetClassNameA(window, name, sizeof name);
        if (lstrcmpA(name, "#32770") == 0) EndDialog(window, 0);
        return TRUE;
    }

    inline static DialogScript* active_ = nullptr;
    std::vector<Step> steps_;
    size_t next_ = 0;
    int triesOnStep_ = 0;
    bool gaveUp_ = false;
    UINT_PTR timer_ = 0;
};

}  // namespace tamsel::testing
