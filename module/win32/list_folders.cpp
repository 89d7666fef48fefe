// On Windows the three lists lie beside the module.
#include "module/list_folders.h"
#include "module/module_path.h"

namespace tamsel {

std::optional<ListFolders> FindListFolders() {
    const std::optional<std::string> folder = ModuleFolderPath("");
    if (!folder) return std::nullopt;
    return OneFolder(*folder);
}

std::optional<std::string> ListFileOfThisProcess(std::string_view fileName) { return ModuleFolderPath(fileName); }

}  // namespace tamsel
