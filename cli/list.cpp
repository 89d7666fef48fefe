// tamsel list: show and edit the user's two lists as the list editors do.
//
// Every change goes through the same text model as the editors: the list is
// shown last entry first, a change stores the shown order, and the file is
// then written as an editor's Close writes it.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/list_folder.h"
#include "patterns/text.h"
#include "ui/pattern_text_list.h"

namespace tamsel::cli {
namespace {

using Items = std::vector<std::string>;

struct ListChoice {
    const char* title;
    const char* fileName;
    ListKind kind;
};

constexpr ListChoice kBlack = {"My Black List", kUserBlockListFile, ListKind::UserBlock};
constexpr ListChoice kWhite = {"My White List", kUserTrustListFile, ListKind::UserTrust};

int ListError(const std::string& message) { return UsageError("list", message); }

// Takes "--yes" (before any "--") out of `args`.
bool TakeYes(std::vector<std::string>& args) {
    for (size_t i = 0; i < args.size() && args[i] != "--"; ++i) {
        if (args[i] != "--yes" && args[i] != "-y") continue;
        args.erase(args.begin() + static_cast<long>(i));
        return true;
    }
    return false;
}

// A typed text, cut as the Add or Edit dialog cuts it. The dialog's one-line
// field never holds a line end; here one would break the file's lines, so it
// is refused (nullopt, after telling the user).
std::optional<std::string> TypedText(std::string text) {
    if (text.find_first_of("\r\n") != std::string::npos) {
        ListError("TEXT must be one line");
        return std::nullopt;
    }
    if (text.size() > kPatternTextLimit) {
        std::fprintf(stderr, "tamsel list: the text is cut to its first %zu characters\n", kPatternTextLimit);
        text.resize(kPatternTextLimit);
    }
    if (text.empty()) std::fprintf(stderr, "tamsel list: empty text: nothing changes\n");
    return text;
}

// The 1-based position N of a shown entry, or nullopt (after telling the user).
std::optional<size_t> Position(const std::string& given, const Items& shown) {
    const bool digits = !given.empty() && given.size() < 10 &&
                        given.find_first_not_of("0123456789") == std::string::npos;
    const size_t n = digits ? std::stoul(given) : 0;
    if (n >= 1 && n <= shown.size()) return n - 1;
    if (shown.empty()) {
        ListError("the list is empty: there is no entry " + given);
    } else {
        ListError("N must be a number from 1 to " + std::to_string(shown.size()) + ", not \"" + given + "\"");
    }
    return std::nullopt;
}

void Show(const ListChoice& choice, const std::string& path, const Items& shown) {
    std::printf("%s (%s), last entry first:\n", choice.title, EscapeControlBytes(path).c_str());
    if (shown.empty()) std::printf("  (empty)\n");
    for (size_t i = 0; i < shown.size(); ++i) std::printf("%4zu  %s\n", i + 1, EscapeControlBytes(shown[i]).c_str());
}

// The delete question of the editor, asked on the terminal.
bool ConfirmDelete(const std::string& entry) {
    std::fprintf(stderr, "%s\nDo you want to delete? [y/N] ", EscapeControlBytes(entry).c_str());
    std::string answer;
    if (!std::getline(std::cin, answer)) return false;
    return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes" || answer == "YES";
}

enum class Outcome { Changed, Unchanged, Wrong };

Outcome Add(const std::string& typed, Items& shown) {
    const auto text = TypedText(typed);
    if (!text) return Outcome::Wrong;
    if (text->empty()) return Outcome::Unchanged;
    shown.insert(shown.begin(), *text);
    return Outcome::Changed;
}

// The edited entry moves to the top, as in the editor.
Outcome Edit(const std::string& n, const std::string& typed, Items& shown) {
    const auto at = Position(n, shown);
    if (!at) return Outcome::Wrong;
    const auto text = TypedText(typed);
    if (!text) return Outcome::Wrong;
    if (text->empty()) return Outcome::Unchanged;
    shown.erase(shown.begin() + static_cast<long>(*at));
    shown.insert(shown.begin(), *text);
    return Outcome::Changed;
}

Outcome Delete(const std::string& n, bool yes, Items& shown) {
    const auto at = Position(n, shown);
    if (!at) return Outcome::Wrong;
    if (!yes && !isatty(STDIN_FILENO)) {
        ListError("delete asks for confirmation, but standard input is not a terminal; give --yes");
        return Outcome::Wrong;
    }
    if (!yes && !ConfirmDelete(std::to_string(*at + 1) + "  " + shown[*at])) {
        std::fprintf(stderr, "tamsel list: nothing deleted\n");
        return Outcome::Unchanged;
    }
    shown.erase(shown.begin() + static_cast<long>(*at));
    return Outcome::Changed;
}

// Add, delete or edit on the shown items, as the editor's buttons do.
Outcome Apply(const std::vector<std::string>& action, bool yes, Items& shown) {
    const std::string& verb = action[0];
    if (verb == "add" && action.size() == 2) return Add(action[1], shown);
    if (verb == "delete" && action.size() == 2) return Delete(action[1], yes, shown);
    if (verb == "edit" && action.size() == 3) return Edit(action[1], action[2], shown);
    if (verb == "add") ListError("add takes one TEXT");
    else if (verb == "delete") ListError("delete takes one N");
    else if (verb == "edit") ListError("edit takes N and TEXT");
    else ListError("unknown action \"" + verb + "\"");
    return Outcome::Wrong;
}

// Every action ends as the editor's Close: the file is written, whether or
// not anything changed.
int CloseList(PatternTextList& list, const ListFilePath& where) {
    const ListWriteResult result = list.Close(where);
    if (!result.written) {
        std::fprintf(stderr, "tamsel list: cannot write %s: %s; the old file is unchanged\n",
                     EscapeControlBytes(result.path).c_str(), result.error.c_str());
        return kExitFailure;
    }
    const size_t count = list.Texts().size();
    std::printf("Wrote %s (%zu %s).\n", EscapeControlBytes(result.path).c_str(), count, count == 1 ? "entry" : "entries");
    return kExitOk;
}

// Takes the first "--" out of `args`: what follows is never an option.
void DropSeparator(std::vector<std::string>& args) {
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] != "--") continue;
        args.erase(args.begin() + static_cast<long>(i));
        return;
    }
}

int RunList(const std::vector<std::string>& argsIn) {
    std::vector<std::string> args = argsIn;
    const auto folder = TakeListFolder("list", args);
    if (!folder) return kExitUsage;
    const bool yes = TakeYes(args);
    DropSeparator(args);
    if (args.empty() || (args[0] != "black" && args[0] != "white")) return ListError("say which list: black or white");
    const ListChoice& choice = args[0] == "black" ? kBlack : kWhite;
    const std::vector<std::string> action(args.begin() + 1, args.end());

    const ListFilePath where = [&folder](std::string_view name) {
        return std::optional<std::string>((std::filesystem::path(*folder) / std::string(name)).string());
    };
    PatternTextList list(choice.fileName, choice.kind);
    list.LoadIfEmpty(where);
    Items shown = ShownOrder(list.Texts());
    if (action.empty()) {
        Show(choice, *where(choice.fileName), shown);
        return kExitOk;
    }
    const Outcome outcome = Apply(action, yes, shown);
    if (outcome == Outcome::Wrong) return kExitUsage;
    if (outcome == Outcome::Changed) list.Rebuild(shown);
    return CloseList(list, where);
}

}  // namespace

const Command kListCommand = {
    "list",
    "list black|white [ACTION] [--lists DIR]",
    "show or edit the user's block list or trust list",
    "Shows the user's block list (black, UserBlock.txt) or trust list (white,\n"
    "UserTrust.txt) as the list editor shows it: the last entry first, numbered\n"
    "from 1 at the top. An ACTION changes it as the editor's buttons do, then\n"
    "writes the file as the editor's Close does:\n\n"
    "  add TEXT       put TEXT at the top (cut to 259 characters)\n"
    "  delete N       delete entry N; asks first unless --yes is given\n"
    "  edit N TEXT    replace entry N by TEXT, which moves to the top\n\n"
    "A change stores the entries in the order shown. The file holds one entry\n"
    "per line, each line ended by CR LF. It is replaced whole: if it cannot be\n"
    "written, the old file stays as it was and the command fails.\n\n"
    "  --yes, -y      delete without asking (needed when standard input is not\n"
    "                 a terminal)\n"
    "  --lists DIR    use the list files in DIR instead of the folder that\n"
    "                 holds the tool\n",
    RunList,
};

}  // namespace tamsel::cli
