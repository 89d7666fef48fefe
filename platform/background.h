// Work the module hands to a thread of its own so that no sender waits for
// it: the re-read of a list file that changed. Each platform supplies it.
#pragma once

#include <functional>

namespace tamsel {

// Starts `work` on a new, detached thread and returns at once; false when no
// thread could be started (the work then never runs). The thread takes none
// of the program's signals: a program that blocks a signal to wait for it
// in its own way must not find it delivered to a thread it never made.
bool RunInBackground(std::function<void()> work) noexcept;

}  // namespace tamsel
