// The process-wide replacement of the socket layer's send on Windows.
//
// ApiHookChain describes the hook: the module and name of the function to
// replace, the slot that receives the real function and the replacement.
// InstallSendHook hands the table's hook record to the hook engine, which
// routes every send of the process through SendHook.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace tamsel {

// send's own type, spelt without the socket headers so that this header may
// follow <windows.h>: SOCKET is a UINT_PTR and WSAAPI is WINAPI.
using SendFunction = int(WINAPI*)(UINT_PTR, const char*, int, int);

// The exported table: an opening record, one hook record and a closing
// record of six words each. A word is pointer-sized, so the one layout reads
// as two:
//
//   word  what                 i686 offset  x86_64 offset
//   0     opening marker: -2   0            0
//   1-5   zeros                4-20         8-40
//   6     "WSOCK32.DLL"        24           48
//   7     "send"               28           56
//   8     flags: 0x100         32           64
//   9     the real-send slot   36           72
//   10    zero                 40           80
//   11    the replacement      44           88
//   12    closing marker: -1   48           96
//   13-17 zeros                52-68        104-136
//         size                 72           144
//
// The markers are -2 and -1 as words: 0xFFFFFFFE and 0xFFFFFFFF on i686,
// 0xFFFFFFFFFFFFFFFE and 0xFFFFFFFFFFFFFFFF on x86_64.
struct ApiHookChainTable {
    uintptr_t opening[6];                 // -2, then zeros
    const char* moduleName;               // "WSOCK32.DLL"
    const char* functionName;             // "send"
    uintptr_t flags;                      // 0x100
    std::atomic<SendFunction>* realSend;  // filled when the hook is installed
    uintptr_t reserved;                   // 0
    SendFunction replacement;             // SendHook
    uintptr_t closing[6];                 // -1, then zeros
};

inline constexpr uintptr_t kHookChainOpening = static_cast<uintptr_t>(-2);
inline constexpr uintptr_t kHookChainClosing = static_cast<uintptr_t>(-1);

static_assert(sizeof(std::atomic<SendFunction>) == sizeof(SendFunction) &&
                  std::atomic<SendFunction>::is_always_lock_free,
              "the slot is one plain word to whoever fills it");

static_assert(sizeof(void*) == 4 || sizeof(void*) == 8, "a table of 32-bit or 64-bit words");
static_assert(sizeof(void*) != 4 || sizeof(ApiHookChainTable) == 72, "i686: three records of six 32-bit words");
static_assert(sizeof(void*) != 8 || sizeof(ApiHookChainTable) == 144, "x86_64: three records of six 64-bit words");
static_assert(offsetof(ApiHookChainTable, moduleName) == 6 * sizeof(void*) &&
                  offsetof(ApiHookChainTable, realSend) == 9 * sizeof(void*) &&
                  offsetof(ApiHookChainTable, replacement) == 11 * sizeof(void*) &&
                  offsetof(ApiHookChainTable, closing) == 12 * sizeof(void*),
              "each word at its fixed offset");

// Every send of the process once the hook is installed. Refuses a request
// the lists claim (SOCKET_ERROR, socket error WSAECONNABORTED, nothing
// sent) and passes everything else to the real send untouched. Never throws.
int WINAPI SendHook(UINT_PTR socket, const char* buffer, int length, int flags) noexcept;

// Routes every send of the process through SendHook, once per process; later
// calls change nothing. `processId` must be this process's: the hook is
// established in-process only. Pins the module first, so the hook never
// outlives its code. True when the hook is in place.
bool InstallSendHook(uint32_t processId) noexcept;

}  // namespace tamsel

// Exported undecorated (ordinal 5): it is data a hooking mechanism reads.
extern "C" tamsel::ApiHookChainTable ApiHookChain;
