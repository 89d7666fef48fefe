// Files that lie beside the module: the three lists.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tamsel {

// The module's folder followed by `fileName`, or nullopt when the module's
// path cannot be had or the result would not fit the platform's path limit:
// never a shortened path that names another file.
std::optional<std::string> ModuleFolderPath(std::string_view fileName);

}  // namespace tamsel
