#include "platform/win32/module_instance.h"

#include <atomic>

namespace tamsel {

namespace {
std::atomic<HINSTANCE> g_instance{nullptr};
}

HINSTANCE ModuleInstance() {
    const HINSTANCE set = g_instance.load();
    return set != nullptr ? set : GetModuleHandleA(nullptr);
}

void SetModuleInstance(HINSTANCE instance) { g_instance.store(instance); }

}  // namespace tamsel
