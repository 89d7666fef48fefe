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

namespace tamsel::hook {

// One function to route.
struct ExportRoute {
    const char* moduleName;    // the DLL callers name, e.g. "WSOCK32.DLL"
    const char* functionName;  // e.g. "send"
    void* real;                // what the name resolved to before routing
    void* replacement;
};

// Counts of the table entries rewritten.
struct RouteResult {
    int exportEntries = 0;
    int importEntries = 0;
};

// The address `functionName` resolves to through `moduleName`, forwarders
// followed; the module is loaded when it is not yet and stays loaded for
// good. Null when either cannot be found.
void* ResolveExport(const char* moduleName, const char* functionName);

// Routes the function: first the export entries (in the named module unless
// it only forwards, and in the module that holds the code), then the import
// entries of every loaded module that hold `real` or the address an export
// entry held. Those two modules' own imports are left alone: a socket DLL
// calling its neighbour must not pass through the replacement twice.
// Throws std::bad_alloc only.
RouteResult RouteExport(const ExportRoute& route);

}  // namespace tamsel::hook
