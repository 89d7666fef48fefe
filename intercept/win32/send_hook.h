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
// record of six 32-bit words each.
struct ApiHookChainTable {
    uint32_t opening[6];                  // 0xFFFFFFFE, then zeros
    const char* moduleName;               // "WSOCK32.DLL"
    const char* functionName;             // "send"
    uint32_t flags;                       // 0x100
    std::atomic<SendFunction>* realSend;  // filled when the hook is installed
    uint32_t reserved;                    // 0
    SendFunction replacement;             // SendHook
    uint32_t closing[6];                  // 0xFFFFFFFF, then zeros
};

static_assert(sizeof(std::atomic<SendFunction>) == sizeof(SendFunction) &&
                  std::atomic<SendFunction>::is_always_lock_free,
              "the slot is one plain word to whoever fills it");
static_assert(sizeof(ApiHookChainTable) == 72, "three records of six 32-bit words");
static_assert(offsetof(ApiHookChainTable, moduleName) == 24 && offsetof(ApiHookChainTable, realSend) == 36 &&
                  offsetof(ApiHookChainTable, replacement) == 44 && offsetof(ApiHookChainTable, closing) == 48,
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
