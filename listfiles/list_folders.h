// Where the three list files lie. The user's two lists belong to the user and
// are written by the editors and the tool; the shipped block list is read
// where it was put, which on an installed system is a folder the user cannot
// write. In one folder (the build folder, Windows, --lists, TAMSEL_LISTS)
// they lie together.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "listfiles/list_store.h"
#include "platform/env.h"

namespace tamsel {

struct ListFolders {
    std::optional<std::string> user;  // UserBlock.txt, UserTrust.txt; nullopt: none can be named
    std::string shipped;              // BlockList.txt

    // Whether the shipped list lies in the user's folder, and so is the
    // user's to write.
    bool Together() const { return user && *user == shipped; }
};

// All three lists in `folder`.
ListFolders OneFolder(const std::string& folder);

// The rule, in this order:
// 1. TAMSEL_LISTS, when set and not empty, holds all three lists.
// 2. A module folder that holds BlockList.txt (the build folder) holds all
//    three.
// 3. Otherwise the shipped list is the first installed one found (else the
//    module's folder, where a missing file is an empty list) and the user's
//    lists are in $XDG_CONFIG_HOME/tamsel, else $HOME/.config/tamsel; a
//    relative XDG_CONFIG_HOME or HOME counts as unset.
// nullopt when neither TAMSEL_LISTS nor the module's folder is known.
std::optional<ListFolders> ResolveListFolders(const ListFolderFacts& facts);

// The path of each list file over `folders`; nullopt for the user's lists
// when there is no user folder.
ListFilePath FilesOf(const ListFolders& folders);

// The folders of this process: the rule above over the facts the platform
// gathers (Env::FindListFolderFacts) and the module's folder
// (Env::ModuleFolderPath); on Windows, the module's folder.
std::optional<ListFolders> FindListFolders();

// The ListFilePath of the module: over the folders FindListFolders gives at
// its first call, which the module makes when it first loads its lists.
ListFilePath FilesOfThisProcess();

}  // namespace tamsel
