#include "intercept/win32/jump_stub.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

namespace tamsel::hook {

namespace {

// One stub: `jmp [slot]` and the slot holding the target. On x86_64 the
// jump's operand is the slot's offset from the next instruction (0: it
// follows at once); on i686 it is the slot's own address.
constexpr size_t kStubSize = 16;
constexpr size_t kSlotOffset = 6;
constexpr bool kRipRelative = sizeof(void*) == 8;

// A page of stubs, filled from its start; never freed.
struct Arena {
    BYTE* base;
    size_t size;
    size_t used;
};

std::mutex g_arenaMutex;

std::vector<Arena>& Arenas() {
    static auto* const arenas = new std::vector<Arena>;
    return *arenas;
}

uint64_t Address(const void* at) { return reinterpret_cast<uintptr_t>(at); }

uint64_t RoundUp(uint64_t value, uint64_t step) { return (value + step - 1) / step * step; }

// Commits `size` bytes at the first free allocation-granule boundary in
// [low, high - size], walking the address space region by region.
BYTE* CommitWithin(uint64_t low, uint64_t high, size_t size) {
    SYSTEM_INFO system{};
    GetSystemInfo(&system);
    const uint64_t granule = system.dwAllocationGranularity;
    const uint64_t top = std::min<uint64_t>(high, Address(system.lpMaximumApplicationAddress));
    // Never address 0: VirtualAlloc would take it as "anywhere".
    for (uint64_t candidate = RoundUp(std::max(low, granule), granule); candidate < top && top - candidate >= size;) {
        void* const at = reinterpret_cast<void*>(static_cast<uintptr_t>(candidate));
        MEMORY_BASIC_INFORMATION region{};
        if (VirtualQuery(at, &region, sizeof region) == 0) return nullptr;
        if (region.State == MEM_FREE) {
            if (void* got = VirtualAlloc(at, size, MEM_RESERVE | MEM_COMMIT, PAGE_EXECUTE_READ)) {
                return static_cast<BYTE*>(got);
            }
        }
        candidate = std::max(candidate + granule, RoundUp(Address(region.BaseAddress) + region.RegionSize, granule));
    }
    return nullptr;
}

// An arena in the window with room for one more stub, made when none has.
Arena* ArenaWithin(uint64_t low, uint64_t high) {
    for (Arena& arena : Arenas()) {
        const uint64_t next = Address(arena.base + arena.used);
        if (arena.used + kStubSize <= arena.size && next >= low && next + kStubSize <= high) return &arena;
    }
    SYSTEM_INFO system{};
    GetSystemInfo(&system);
    BYTE* const base = CommitWithin(low, high, system.dwPageSize);
    if (base == nullptr) return nullptr;
    Arenas().push_back({base, system.dwPageSize, 0});
    return &Arenas().back();
}

// Writes the stub while its page is briefly writable; it stays executable
// throughout, since other stubs on the page may be running.
bool WriteStub(BYTE* at, void* target) {
    DWORD old = 0;
    if (!VirtualProtect(at, kStubSize, PAGE_EXECUTE_READWRITE, &old)) return false;
    const uint32_t operand = kRipRelative ? 0 : static_cast<uint32_t>(Address(at + kSlotOffset));
    at[0] = 0xFF;  // jmp through a memory operand
    at[1] = 0x25;
    std::memcpy(at + 2, &operand, sizeof operand);
    std::memcpy(at + kSlotOffset, &target, sizeof target);
    VirtualProtect(at, kStubSize, old, &old);
    FlushInstructionCache(GetCurrentProcess(), at, kStubSize);
    return true;
}

}  // namespace

void* PlaceJumpStub(uint64_t low, uint64_t high, void* target) {
    const std::lock_guard lock(g_arenaMutex);
    Arena* const arena = ArenaWithin(low, high);
    if (arena == nullptr) return nullptr;
    BYTE* const at = arena->base + arena->used;
    if (!WriteStub(at, target)) return nullptr;
    arena->used += kStubSize;
    return at;
}

void* ThroughJumpStub(void* address) {
    const std::lock_guard lock(g_arenaMutex);
    const auto* at = static_cast<const BYTE*>(address);
    for (const Arena& arena : Arenas()) {
        if (at < arena.base || at >= arena.base + arena.used || (at - arena.base) % kStubSize != 0) continue;
        void* target = nullptr;
        std::memcpy(&target, at + kSlotOffset, sizeof target);
        return target;
    }
    return address;
}

}  // namespace tamsel::hook
