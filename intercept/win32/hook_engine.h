// The hook engine: routes every call of one exported function of this
// process to a replacement, however the callers bound it.
//
// It rewrites tables, never code: the export table entry of the function
// (so GetProcAddress and every module loaded later bind to the replacement)
// and the import address table entries of the modules already loaded that
// hold the function (so code bound earlier calls the replacement too). The
// real function's code stays untouched, so whoever holds its address (the
// real-call slot of a hook) still reaches the original.
#pragma once

#include <windows.h>

#include <cstdint>

namespace tamsel::hook {

// One function to route.
struct ExportRoute {
    const char* moduleName;    // the DLL callers name, e.g. "WSOCK32.DLL"
    const char* functionName;  // e.g. "send"
    void* real;                // what the name resolved to before routing
    void* replacement;
};

// How far above its module's base an export entry may lead. The loader
// adds the entry's 32-bit offset to the base: on i686 the sum wraps, so
// every address is in reach; on x86_64 the reach is kept to 2 GiB, so that
// a reader taking the offset as signed lands at the same place.
inline constexpr uint64_t kExportReach = sizeof(void*) == 4 ? uint64_t{1} << 32 : uint64_t{1} << 31;

// How export entries reach the replacement. The defaults are the loader's;
// tests narrow them to force one way or the other.
struct Reach {
    // Through a jump stub even where the entry could hold the replacement's
    // own offset.
    bool alwaysStub = false;
    // How far above its module's base an entry, or a stub, may lie.
    uint64_t limit = kExportReach;
};

// Counts of the table entries rewritten.
struct RouteResult {
    int exportEntries = 0;
    int stubEntries = 0;  // of the export entries, those that lead through a jump stub
    int importEntries = 0;
    // An export entry could not be made to reach the replacement: nothing
    // was rewritten, and the refusal log (when one is named) says so.
    bool unreachable = false;
};

// The address `functionName` resolves to through `moduleName`, forwarders
// and jump stubs followed. The module must be loaded already (nothing is
// loaded here) and stays loaded for good. Null when either cannot be found.
void* ResolveExport(const char* moduleName, const char* functionName);

// Routes the function: first the export entries (in the named module unless
// it only forwards, and in the module that holds the code), then the import
// entries of every loaded module that hold `real` or the address an export
// entry held. Those two modules' own imports are left alone: a socket DLL
// calling its neighbour must not pass through the replacement twice.
// An export entry out of reach of the replacement leads to a jump stub
// within reach; where none can be placed, nothing is routed.
// Throws std::bad_alloc only.
RouteResult RouteExport(const ExportRoute& route, const Reach& reach = {});

}  // namespace tamsel::hook
