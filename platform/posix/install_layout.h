// Where `cmake --install` and the package put each part, as paths from the
// folder of the tool and from the folder of the module (the build defines
// them from the same values as its install rules).
#pragma once

namespace tamsel {

inline constexpr const char* kModuleFromTool = TAMSEL_MODULE_FROM_TOOL;    // e.g. "../lib/tamsel"
inline constexpr const char* kListsFromTool = TAMSEL_LISTS_FROM_TOOL;      // e.g. "../share/tamsel"
inline constexpr const char* kListsFromModule = TAMSEL_LISTS_FROM_MODULE;  // e.g. "../../share/tamsel"

}  // namespace tamsel
