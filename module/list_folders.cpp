#include "module/list_folders.h"

#include <filesystem>

namespace tamsel {

namespace {

bool Absolute(const std::optional<std::string>& path) { return path && !path->empty() && (*path)[0] == '/'; }

std::string Normal(const std::filesystem::path& path) {
    std::string text = path.lexically_normal().string();
    // "a/b/" and "a/b" name one folder; compared as folders, they must agree.
    if (text.size() > 1 && text.back() == std::filesystem::path::preferred_separator) text.pop_back();
    return text;
}

std::optional<std::string> UserFolder(const ListFolderFacts& facts) {
    if (Absolute(facts.configHome)) return Normal(std::filesystem::path(*facts.configHome) / "tamsel");
    if (Absolute(facts.home)) return Normal(std::filesystem::path(*facts.home) / ".config" / "tamsel");
    return std::nullopt;
}

}  // namespace

ListFolders OneFolder(const std::string& folder) {
    const std::string normal = Normal(folder);
    return {normal, normal};
}

std::optional<ListFolders> ResolveListFolders(const ListFolderFacts& facts) {
    if (facts.listsVariable && !facts.listsVariable->empty()) return OneFolder(*facts.listsVariable);
    if (!facts.moduleFolder) return std::nullopt;
    const std::string module = Normal(*facts.moduleFolder);
    if (facts.holdsShippedList(module)) return OneFolder(module);
    ListFolders folders{UserFolder(facts), module};
    for (const std::string& relative : facts.installedLists) {
        const std::string candidate = Normal(std::filesystem::path(module) / relative);
        if (!facts.holdsShippedList(candidate)) continue;
        folders.shipped = candidate;
        break;
    }
    return folders;
}

ListFilePath FilesOf(const ListFolders& folders) {
    return [folders](std::string_view name) -> std::optional<std::string> {
        const bool shipped = name == ListFileOf(ListKind::ShippedBlock).fileName;
        const std::optional<std::string> folder = shipped ? folders.shipped : folders.user;
        if (!folder) return std::nullopt;
        return (std::filesystem::path(*folder) / std::string(name)).string();
    };
}

}  // namespace tamsel
