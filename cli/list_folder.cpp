#include "cli/list_folder.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "cli/command.h"
#include "listfiles/list_cache.h"
#include "listfiles/list_store.h"
#include "patterns/text.h"
#include "platform/env.h"
#include "runtime/shared_state.h"

namespace tamsel::cli {

Result<ListFolders> TakeListFolder(std::vector<std::string>& args) {
    std::optional<std::string> folder;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--") break;
        std::string value;
        if (args[i] == "--lists") {
            if (i + 1 >= args.size()) return Failure{"--lists needs a folder"};
            value = args[i + 1];
            args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i) + 2);
        } else if (args[i].rfind("--lists=", 0) == 0) {
            value = args[i].substr(8);
            args.erase(args.begin() + static_cast<long>(i));
        } else {
            continue;
        }
        if (!std::filesystem::is_directory(value)) return Failure{"no such folder: " + value};
        folder = value;
        --i;
    }
    if (folder) return OneFolder(*folder);
    const auto found = FindListFolders();
    if (!found) return Failure{"cannot find the folder that holds the tool; give --lists DIR"};
    return *found;
}

bool HasUserFolder(const std::string& command, const ListFolders& folders) {
    if (folders.user) return true;
    std::fprintf(stderr,
                 "tamsel %s: there is no folder for the user's lists: neither XDG_CONFIG_HOME nor HOME "
                 "is set to an absolute path; give --lists DIR\n",
                 command.c_str());
    return false;
}

bool MakeUserFolder(const std::string& command, const ListFolders& folders) {
    if (!HasUserFolder(command, folders)) return false;
    std::string made;
    for (const auto& part : std::filesystem::path(*folders.user)) {
        made = (std::filesystem::path(made) / part).string();
        if (::mkdir(made.c_str(), 0700) == 0 || errno == EEXIST) continue;
        std::fprintf(stderr, "tamsel %s: cannot make the folder %s: %s\n", command.c_str(),
                     EscapeControlBytes(made).c_str(), std::strerror(errno));
        return false;
    }
    return true;
}

namespace {

std::unique_ptr<PatternList> LoadOne(const ListStore& store, ListKind kind) {
    ListLoadResult result = store.Load(kind);
    if (result) return std::move(*result);
    const std::optional<std::string> path = store.PathOf(kind);
    if (!path || !std::filesystem::exists(*path)) return nullptr;
    const Failure& error = result.failure();
    if (error.lineNumber > 0) {
        std::fprintf(stderr, "tamsel: warning: %s:%d: %s; the whole list is ignored\n",
                     EscapeControlBytes(*path).c_str(), error.lineNumber, EscapeControlBytes(error.message).c_str());
    } else {
        std::fprintf(stderr, "tamsel: warning: %s: %s; the list is ignored\n", EscapeControlBytes(*path).c_str(),
                     EscapeControlBytes(error.message).c_str());
    }
    return nullptr;
}

}  // namespace

FolderLists LoadListFolder(const ListFolders& folders) {
    // Loaded for one decision, never published.
    SharedState unpublished;
    const ListStore store(unpublished, FilesOf(folders), TheEnv().CacheFolderPath());
    return {LoadOne(store, ListKind::UserTrust), LoadOne(store, ListKind::UserBlock),
            LoadOne(store, ListKind::ShippedBlock)};
}

void PrintJudgement(const Judgement& judgement, const std::string& subject, const std::string& stage) {
    const std::string word = std::string(judgement.verdict == Verdict::Refused   ? "refused"
                                         : judgement.verdict == Verdict::Trusted ? "trusted"
                                                                                 : "passed") +
                             stage;
    std::printf("%-7s %s", word.c_str(), EscapeControlBytes(subject).c_str());
    if (judgement.entry != nullptr) {
        std::printf("  %s:%d %s%s", EscapeControlBytes(judgement.list->source).c_str(),
                    judgement.list->LineNumber(*judgement.entry), judgement.entry->positive ? "" : "~",
                    EscapeControlBytes(judgement.list->Text(*judgement.entry)).c_str());
    }
    // The module enforces nothing then; a bare "refused" would mislead.
    if (TheEnv().ReadAllowAdsSwitch() != 0) std::printf("  (advertisements are allowed: not enforced)");
    std::printf("\n");
}

}  // namespace tamsel::cli
