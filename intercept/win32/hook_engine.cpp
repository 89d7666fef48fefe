#include "intercept/win32/hook_engine.h"

// Kernel32's own module enumeration (K32EnumProcessModules): no psapi.dll.
#define PSAPI_VERSION 2
#include <psapi.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include "win32/owned_handles.h"

namespace tamsel::hook {

// An export entry is a 32-bit offset from its module's base. On i686 any
// address is such an offset modulo 2^32, which is how the loader adds it; a
// 64-bit build would need a jump within reach of the module instead.
static_assert(sizeof(void*) == 4, "export entries can reach any address only on a 32-bit build");

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

// Replaces one 32-bit table word in a single store, so that a thread
// reading it meanwhile sees the old value or the new one, never a mixture.
bool WriteWord(volatile uint32_t* at, uint32_t value) {
    const WritableSpan span(const_cast<uint32_t*>(at), sizeof *at);
    if (!span.writable()) return false;
    InterlockedExchange(reinterpret_cast<volatile LONG*>(at), static_cast<LONG>(value));
    return true;
}

template <typename T>
T* At(HMODULE module, DWORD rva) {
    return reinterpret_cast<T*>(reinterpret_cast<BYTE*>(module) + rva);
}

// The module's data directory `index`, or null when it has none.
const IMAGE_DATA_DIRECTORY* Directory(HMODULE module, unsigned index) {
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(module);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE) return nullptr;
    const auto* nt = At<const IMAGE_NT_HEADERS32>(module, static_cast<DWORD>(dos->e_lfanew));
    if (nt->Signature != IMAGE_NT_SIGNATURE || nt->OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR32_MAGIC) return nullptr;
    if (index >= nt->OptionalHeader.NumberOfRvaAndSizes) return nullptr;
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
        const bool forwarder = *offset >= directory->VirtualAddress &&
                               *offset < directory->VirtualAddress + directory->Size;
        return ExportEntry{offset, forwarder};
    }
    return std::nullopt;
}

// Rewrites every word of a bound import address table that holds one of
// `reals`. The table ends at a zero word.
int PatchAddressTable(HMODULE module, DWORD tableRva, const std::vector<uint32_t>& reals, uint32_t replacement) {
    if (tableRva == 0) return 0;  // no table: offset 0 would be the module's headers
    int patched = 0;
    for (auto* table = At<volatile uint32_t>(module, tableRva); *table != 0; ++table) {
        if (std::find(reals.begin(), reals.end(), *table) == reals.end()) continue;
        if (WriteWord(table, replacement)) ++patched;
    }
    return patched;
}

int PatchImports(HMODULE module, const std::vector<uint32_t>& reals, uint32_t replacement) {
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

uint32_t Word(const void* address) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(address)); }

}  // namespace

void* ResolveExport(const char* moduleName, const char* functionName) {
    // Never freed: its tables are about to be rewritten, and the hook's
    // real-call slot points into it.
    const HMODULE module = LoadLibraryA(moduleName);
    if (module == nullptr) return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(module, functionName));
}

RouteResult RouteExport(const ExportRoute& route) {
    RouteResult result;
    const HMODULE named = GetModuleHandleA(route.moduleName);
    const HMODULE holder = ModuleOf(route.real);
    if (named == nullptr || holder == nullptr) return result;

    // Exports first: a module whose imports the loader resolves from now on
    // already gets the replacement, so the scan below cannot miss it.
    std::vector<uint32_t> reals{Word(route.real)};
    std::vector<HMODULE> exporters{named};
    if (holder != named) exporters.push_back(holder);
    for (const HMODULE module : exporters) {
        const std::optional<ExportEntry> entry = FindExportEntry(module, route.functionName);
        if (!entry || entry->forwarder) continue;
        reals.push_back(Word(module) + *entry->offset);
        if (WriteWord(entry->offset, Word(route.replacement) - Word(module))) ++result.exportEntries;
    }

    for (const HMODULE listed : LoadedModules()) {
        const OwnedModule module = ModuleReference(listed);
        if (module.get() == nullptr || module.get() == named || module.get() == holder) continue;
        result.importEntries += PatchImports(module.get(), reals, Word(route.replacement));
    }
    return result;
}

}  // namespace tamsel::hook
