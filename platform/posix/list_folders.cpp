// What the list folders are found from on Linux: see ResolveListFolders
// (listfiles/list_folders.h) for the rule.
#include <sys/stat.h>

#include <cstdlib>

#include "platform/native.h"
#include "platform/posix/install_layout.h"

namespace tamsel {

namespace {

std::optional<std::string> Variable(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr) return std::nullopt;
    return std::string(value);
}

}  // namespace

ListFolderFacts native::FindListFolderFacts(std::string_view shippedListName) {
    ListFolderFacts facts;
    facts.listsVariable = Variable("TAMSEL_LISTS");
    facts.configHome = Variable("XDG_CONFIG_HOME");
    facts.home = Variable("HOME");
    // The tool and the module share this code and lie in different folders
    // once installed; each looks where its own layout puts the list.
    facts.moduleFolder = native::ModuleFolderPath("");
    facts.installedLists = {kListsFromTool, kListsFromModule};
    facts.holdsShippedList = [name = std::string(shippedListName)](const std::string& folder) {
        struct stat info {};
        const std::string path = folder + "/" + name;
        return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
    };
    return facts;
}

}  // namespace tamsel
