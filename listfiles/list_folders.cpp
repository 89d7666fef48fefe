#include "listfiles/list_folders.h"

#include <filesystem>
#include <memory>
#include <mutex>

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

std::optional<ListFolders> FindListFolders() {
    ListFolderFacts facts = TheEnv().FindListFolderFacts(ListFileOf(ListKind::ShippedBlock).fileName);
    facts.moduleFolder = TheEnv().ModuleFolderPath("");
    return ResolveListFolders(facts);
}

ListFilePath FilesOfThisProcess() {
    // Found once, at the first call, which the module makes when it first
    // loads its lists: a re-read later on reads the same files, and reads no
    // environment variable while the program may be changing its environment.
    struct Found {
        std::once_flag once;
        std::optional<ListFolders> folders;
    };
    auto found = std::make_shared<Found>();
    return [found](std::string_view fileName) -> std::optional<std::string> {
        std::call_once(found->once, [&] { found->folders = FindListFolders(); });
        if (!found->folders) return std::nullopt;
        return FilesOf(*found->folders)(fileName);
    };
}

}  // namespace tamsel
