// The list folders on Linux: see ResolveListFolders for the rule.
#include <sys/stat.h>

#include <cstdlib>

#include "module/list_folders.h"
#include "module/module_path.h"
#include "module/posix/install_layout.h"

namespace tamsel {

namespace {

std::optional<std::string> Variable(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr) return std::nullopt;
    return std::string(value);
}

bool HoldsShippedList(const std::string& folder) {
    struct stat info {};
    const std::string path = folder + "/" + ListFileOf(ListKind::ShippedBlock).fileName;
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

std::optional<ListFolders> FindListFolders() {
    ListFolderFacts facts;
    facts.listsVariable = Variable("TAMSEL_LISTS");
    facts.configHome = Variable("XDG_CONFIG_HOME");
    facts.home = Variable("HOME");
    // The tool and the module share this code and lie in different folders
    // once installed; each looks where its own layout puts the list.
    facts.moduleFolder = ModuleFolderPath("");
    facts.installedLists = {kListsFromTool, kListsFromModule};
    facts.holdsShippedList = &HoldsShippedList;
    return ResolveListFolders(facts);
}

std::optional<std::string> ListFileOfThisProcess(std::string_view fileName) {
    // Found once, when the module first loads its lists: a re-read later on
    // reads the same files, and reads no environment variable while the
    // program may be changing its environment.
    static const std::optional<ListFolders> folders = FindListFolders();
    if (!folders) return std::nullopt;
    return FilesOf(*folders)(fileName);
}

}  // namespace tamsel
