// The module's folder on Linux: the file of the object that holds this code,
// libtamsel.so when preloaded, the tamsel executable when linked into it.
#include "platform/native.h"

#include <dlfcn.h>
#include <limits.h>
#include <link.h>
#include <stdlib.h>
#include <unistd.h>

#include <memory>

namespace tamsel {

namespace {

// The name the loader gives the object that contains `address`: empty for
// the main program, which dl_iterate_phdr lists without a name.
std::optional<std::string> ObjectNameOf(const void* address) {
    Dl_info info{};
    if (dladdr(address, &info) == 0 || info.dli_fbase == nullptr) return std::nullopt;
    struct Search {
        const void* base;
        std::optional<std::string> name;
    } search{info.dli_fbase, std::nullopt};
    dl_iterate_phdr(
        [](dl_phdr_info* object, size_t, void* data) {
            auto* s = static_cast<Search*>(data);
            for (int i = 0; i < object->dlpi_phnum; ++i) {
                const ElfW(Phdr)& ph = object->dlpi_phdr[i];
                if (ph.p_type != PT_LOAD) continue;
                const auto start = object->dlpi_addr + ph.p_vaddr - ph.p_offset;
                if (reinterpret_cast<const void*>(start) == s->base) {
                    s->name = object->dlpi_name ? object->dlpi_name : "";
                    return 1;
                }
            }
            return 0;
        },
        &search);
    return search.name;
}

std::optional<std::string> ModuleFile() {
    const auto name = ObjectNameOf(reinterpret_cast<const void*>(&native::ModuleFolderPath));
    const char* path = (name && !name->empty()) ? name->c_str() : "/proc/self/exe";
    std::unique_ptr<char, decltype(&free)> resolved(realpath(path, nullptr), &free);
    if (!resolved) return std::nullopt;
    return std::string(resolved.get());
}

}  // namespace

std::optional<std::string> native::ModuleFolderPath(std::string_view fileName) {
    const auto file = ModuleFile();
    if (!file) return std::nullopt;
    const size_t slash = file->rfind('/');
    std::string result = file->substr(0, slash + 1);
    result.append(fileName);
    if (result.size() >= PATH_MAX) return std::nullopt;
    return result;
}

}  // namespace tamsel
