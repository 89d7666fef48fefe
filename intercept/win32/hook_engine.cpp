#include "intercept/win32/hook_engine.h"

// Kernel32's own module enumeration (K32EnumProcessModules): no psapi.dll.
#define PSAPI_VERSION 2
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "base/win32/owned_handles.h"
#include "intercept/win32/jump_stub.h"
#include "runtime/refusal_log.h"

namespace tamsel::hook {

namespace {

bool IsWritable(DWORD protection) {
    return (protection & (PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY)) != 0;
}

// Makes the pages under a few bytes of a loaded image writable for its own
// lifetime and gives them back their protection afterwards.
class WritableSpan {
public:
    WritableSpan(void* at, size_t size) : at_(at), size_(size) {
        MEMORY_BASIC_INFORMATION info{};
        if (VirtualQuery(at, &info, sizeof info) == 0) return;
        if (IsWritable(info.Protect)) {
            writable_ = true;
            return;
        }
        const bool executable =
            (info.Protect & (PAGE_EXECUTE | PAGE_EXECUTE_READ | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY)) != 0;
        writable_ = VirtualProtect(at, size, executable ? PAGE_EXECUTE_READWRITE : PAGE_READWRITE, &old_) != 0;
        restore_ = writable_;
    }
    ~WritableSpan() {
        DWORD ignored = 0;
        if (restore_) VirtualProtect(at_, size_, old_, &ignored);
    }
    WritableSpan(const WritableSpan&) = delete;
    WritableSpan& operator=(const WritableSpan&) = delete;
    bool writable() const { return writable_; }

private:
    void* at_;
    size_t size_;
    DWORD old_ = 0;
    bool writable_ = false;
    bool restore_ = false;
};

// Replaces one table word (a 32-bit export offset, a pointer-sized import
// entry) in a single store, so that a thread reading it meanwhile sees the
// old value or the new one, never a mixture.
template <typename Word>
bool WriteWord(volatile Word* at, Word value) {
    const WritableSpan span(const_cast<Word*>(at), sizeof *at);
    if (!span.writable()) return false;
    std::atomic_ref<Word>(*const_cast<Word*>(at)).store(value);
    return true;
}

template <typename T>
T* At(HMODULE module, DWORD rva) {
    return reinterpret_cast<T*>(reinterpret_cast<BYTE*>(module) + rva);
}

// The module's headers, of this process's own bitness: PE32 on i686, PE32+
// on x86_64 (IMAGE_NT_HEADERS is the one the compiler targets). Null when
// the image is not one.
const IMAGE_NT_HEADERS* NtHeaders(HMODULE module) {
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(module);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE) return nullptr;
    const auto* nt = At<const IMAGE_NT_HEADERS>(module, static_cast<DWORD>(dos->e_lfanew));
    if (nt->Signature != IMAGE_NT_SIGNATURE || nt->OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR_MAGIC) return nullptr;
    return nt;
}

// The module's data directory `index`, or null when it has none.
const IMAGE_DATA_DIRECTORY* Directory(HMODULE module, unsigned index) {
    const IMAGE_NT_HEADERS* nt = NtHeaders(module);
    if (nt == nullptr || index >= nt->OptionalHeader.NumberOfRvaAndSizes) return nullptr;
    const IMAGE_DATA_DIRECTORY* directory = &nt->OptionalHeader.DataDirectory[index];
    return directory->VirtualAddress != 0 && directory->Size != 0 ? directory : nullptr;
}

struct ExportEntry {
    volatile uint32_t* offset;  // the entry of AddressOfFunctions
    bool forwarder;             // the entry names another module's export
};

// The export entry that `functionName` names in `module`.
std::optional<ExportEntry> FindExportEntry(HMODULE module, const char* functionName) {
    const IMAGE_DATA_DIRECTORY* directory = Directory(module, IMAGE_DIRECTORY_ENTRY_EXPORT);
    if (directory == nullptr) return std::nullopt;
    const auto* exports = At<const IMAGE_EXPORT_DIRECTORY>(module, directory->VirtualAddress);
    const auto* names = At<const DWORD>(module, exports->AddressOfNames);
    const auto* ordinals = At<const WORD>(module, exports->AddressOfNameOrdinals);
    auto* functions = At<volatile uint32_t>(module, exports->AddressOfFunctions);
    for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
        if (std::strcmp(At<const char>(module, names[i]), functionName) != 0) continue;
        if (ordinals[i] >= exports->NumberOfFunctions) return std::nullopt;
        volatile uint32_t* offset = &functions[ordinals[i]];
        // The loader's own rule: an entry that points into the export
        // directory is the text of a forwarder, not code.
        const bool forwarder =
            *offset >= directory->VirtualAddress && *offset < directory->VirtualAddress + directory->Size;
        return ExportEntry{offset, forwarder};
    }
    return std::nullopt;
}

// Rewrites every entry of a bound import address table that holds one of
// `reals`. An entry is an address, pointer-sized; the table ends at a zero.
int PatchAddressTable(HMODULE module, DWORD tableRva, const std::vector<uintptr_t>& reals, uintptr_t replacement) {
    if (tableRva == 0) return 0;  // no table: offset 0 would be the module's headers
    int patched = 0;
    for (auto* table = At<volatile uintptr_t>(module, tableRva); *table != 0; ++table) {
        if (std::find(reals.begin(), reals.end(), *table) == reals.end()) continue;
        if (WriteWord(table, replacement)) ++patched;
    }
    return patched;
}

int PatchImports(HMODULE module, const std::vector<uintptr_t>& reals, uintptr_t replacement) {
    int patched = 0;
    if (const IMAGE_DATA_DIRECTORY* directory = Directory(module, IMAGE_DIRECTORY_ENTRY_IMPORT)) {
        for (const auto* d = At<const IMAGE_IMPORT_DESCRIPTOR>(module, directory->VirtualAddress); d->Name != 0; ++d) {
            patched += PatchAddressTable(module, d->FirstThunk, reals, replacement);
        }
    }
    // Delay-load entries already resolved hold the real address; the others
    // hold a stub that resolves through the export table later.
    if (const IMAGE_DATA_DIRECTORY* directory = Directory(module, IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT)) {
        for (const auto* d = At<const IMAGE_DELAYLOAD_DESCRIPTOR>(module, directory->VirtualAddress);
             d->DllNameRVA != 0; ++d) {
            if (d->Attributes.RvaBased == 0) continue;  // the ancient absolute form: never produced by current linkers
            patched += PatchAddressTable(module, d->ImportAddressTableRVA, reals, replacement);
        }
    }
    return patched;
}

std::vector<HMODULE> LoadedModules() {
    std::vector<HMODULE> modules(256);
    for (;;) {
        DWORD needed = 0;
        const DWORD offered = static_cast<DWORD>(modules.size() * sizeof(HMODULE));
        if (!EnumProcessModules(GetCurrentProcess(), modules.data(), offered, &needed)) return {};
        if (needed <= offered) {
            modules.resize(needed / sizeof(HMODULE));
            return modules;
        }
        modules.resize(needed / sizeof(HMODULE) + 16);  // modules loaded meanwhile
    }
}

// A reference on a loaded module, so that another thread's FreeLibrary
// cannot unmap it while its tables are read. Empty when it is gone already.
OwnedModule ModuleReference(HMODULE module) {
    HMODULE held = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(module), &held)) {
        return OwnedModule();
    }
    return OwnedModule(held);
}

HMODULE ModuleOf(const void* address) {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       static_cast<LPCSTR>(address), &module);
    return module;
}

uintptr_t Word(const void* address) { return reinterpret_cast<uintptr_t>(address); }

// An export entry and the offset it is to hold.
struct PlannedEntry {
    volatile uint32_t* offset;
    uint32_t value;
    bool throughStub;
};

// The size of the address space: an i686 sum of base and offset wraps at it.
constexpr uint64_t kAddressSpace = sizeof(void*) == 4 ? uint64_t{1} << 32 : UINT64_MAX;

// A stub for `target` in reach of `module`: above its image, or, where the
// reach passes the top of the address space (i686, whose offsets wrap; the
// space above a module is often reserved there), from the bottom up.
void* StubInReach(HMODULE module, void* target, const Reach& reach) {
    const IMAGE_NT_HEADERS* nt = NtHeaders(module);
    if (nt == nullptr) return nullptr;
    const uint64_t base = Word(module);
    const uint64_t end = base + reach.limit;
    void* stub = PlaceJumpStub(base + nt->OptionalHeader.SizeOfImage, end, target);
    if (stub == nullptr && end > kAddressSpace) stub = PlaceJumpStub(0, end - kAddressSpace, target);
    return stub;
}

// The offset that leads from `module`'s base to `target`: the target's own
// when it is in reach, else that of a stub placed within reach. Nullopt when
// neither can be had. On i686 the difference wraps as the loader's sum
// does, so every target is in reach.
std::optional<PlannedEntry> PlanEntry(HMODULE module, volatile uint32_t* offset, void* target, const Reach& reach) {
    const uintptr_t distance = Word(target) - Word(module);
    if (!reach.alwaysStub && distance < reach.limit) {
        return PlannedEntry{offset, static_cast<uint32_t>(distance), false};
    }
    void* const stub = StubInReach(module, target, reach);
    if (stub == nullptr) return std::nullopt;
    return PlannedEntry{offset, static_cast<uint32_t>(Word(stub) - Word(module)), true};
}

// The export entries to rewrite, each with its offset, and the addresses
// they held, added to `reals`. Nullopt, with nothing rewritten, when one of
// them cannot reach the replacement.
std::optional<std::vector<PlannedEntry>> PlanExports(const ExportRoute& route, const std::vector<HMODULE>& exporters,
                                                     const Reach& reach, std::vector<uintptr_t>& reals) {
    std::vector<PlannedEntry> planned;
    for (const HMODULE module : exporters) {
        const std::optional<ExportEntry> entry = FindExportEntry(module, route.functionName);
        if (!entry || entry->forwarder) continue;
        const std::optional<PlannedEntry> plan = PlanEntry(module, entry->offset, route.replacement, reach);
        if (!plan) return std::nullopt;
        reals.push_back(Word(module) + *entry->offset);
        planned.push_back(*plan);
    }
    return planned;
}

}  // namespace

void* ResolveExport(const char* moduleName, const char* functionName) {
    // Pinned, never loaded: this runs inside DllMain, where loading a library
    // is not allowed. The socket modules are already there (Tamsel.dll imports
    // them), and pinned they are never freed: their tables are about to be
    // rewritten, and the hook's real-call slot points into them.
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_PIN, moduleName, &module)) return nullptr;
    // An entry routed before may lead to a stub: the caller must see where
    // it goes, lest a replacement take its own stub for the real function.
    return ThroughJumpStub(reinterpret_cast<void*>(GetProcAddress(module, functionName)));
}

RouteResult RouteExport(const ExportRoute& route, const Reach& reach) {
    RouteResult result;
    const HMODULE named = GetModuleHandleA(route.moduleName);
    const HMODULE holder = ModuleOf(route.real);
    if (named == nullptr || holder == nullptr) return result;

    std::vector<uintptr_t> reals{Word(route.real)};
    std::vector<HMODULE> exporters{named};
    if (holder != named) exporters.push_back(holder);
    const std::optional<std::vector<PlannedEntry>> planned = PlanExports(route, exporters, reach, reals);
    if (!planned) {
        // Routing the imports alone would leave GetProcAddress and every
        // later module with the real function: all or nothing.
        result.unreachable = true;
        LogHookFailure(route.moduleName, route.functionName,
                       "no memory within reach of the exporting module for a jump to the replacement");
        return result;
    }
    // Exports first: a module whose imports the loader resolves from now on
    // already gets the replacement, so the scan below cannot miss it.
    for (const PlannedEntry& entry : *planned) {
        if (!WriteWord(entry.offset, entry.value)) continue;
        ++result.exportEntries;
        if (entry.throughStub) ++result.stubEntries;
    }
    for (const HMODULE listed : LoadedModules()) {
        const OwnedModule module = ModuleReference(listed);
        if (module.get() == nullptr || module.get() == named || module.get() == holder) continue;
        result.importEntries += PatchImports(module.get(), reals, Word(route.replacement));
    }
    return result;
}

}  // namespace tamsel::hook
