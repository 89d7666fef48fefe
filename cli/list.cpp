// tamsel list: show and edit the user's two lists as the list editors do.
//
// Every change goes through the same text model as the editors: one entry
// per line of the file, shown last line first; the entry added or edited
// becomes the file's last line, and the file is then written as an editor's
// Close writes it.
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/list_folder.h"
#include "listfiles/list_cache.h"
#include "patterns/text.h"
#include "platform/env.h"
#include "runtime/shared_state.h"
#include "ui/pattern_text_list.h"

namespace tamsel::cli {
namespace {

using Items = std::vector<std::string>;

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
// is refused.
Result<std::string> TypedText(std::string text) {
    if (text.find_first_of("\r\n") != std::string::npos) return Failure{"TEXT must be one line"};
    if (text.size() > kPatternTextLimit) {
        std::fprintf(stderr, "tamsel list: the text is cut to its first %zu characters\n", kPatternTextLimit);
        text.resize(kPatternTextLimit);
    }
    if (text.empty()) std::fprintf(stderr, "tamsel list: empty text: nothing changes\n");
    return text;
}

// A line the loader refuses would take every other entry of the list out of
// force, so it is never written.
bool LoaderTakes(const std::string& text) {
    const std::optional<Failure> fault = EntryFault(text);
    if (!fault) return true;
    std::fprintf(stderr, "tamsel list: the list could not load \"%s\": %s; nothing is written\n",
                 EscapeControlBytes(text).c_str(), EscapeControlBytes(fault->message).c_str());
    return false;
}

// Where the 1-based position N of a shown entry is among them.
Result<size_t> Position(const std::string& given, const Items& shown) {
    const bool digits =
        !given.empty() && given.size() < 10 && given.find_first_not_of("0123456789") == std::string::npos;
    const size_t n = digits ? std::stoul(given) : 0;
    if (n >= 1 && n <= shown.size()) return n - 1;
    if (shown.empty()) return Failure{"the list is empty: there is no entry " + given};
    return Failure{"N must be a number from 1 to " + std::to_string(shown.size()) + ", not \"" + given + "\""};
}

void Show(const ListFileInfo& file, const std::string& path, const Items& shown) {
    std::printf("%s (%s), last entry first:\n", file.title, EscapeControlBytes(path).c_str());
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

// Refused: the command line was right, but its entry would break the list.
enum class Outcome { Changed, Unchanged, Wrong, Refused };

// Tells the user what is wrong with the command line.
Outcome WrongBecause(const std::string& why) {
    ListError(why);
    return Outcome::Wrong;
}

Outcome Add(const std::string& typed, PatternTextList& list) {
    const auto text = TypedText(typed);
    if (!text) return WrongBecause(text.message());
    if (!LoaderTakes(*text)) return Outcome::Refused;
    return list.Add(*text) ? Outcome::Changed : Outcome::Unchanged;
}

// The edited entry moves to the top, as in the editor.
Outcome Edit(const std::string& n, const std::string& typed, PatternTextList& list) {
    const auto at = Position(n, list.Shown());
    if (!at) return WrongBecause(at.message());
    const auto text = TypedText(typed);
    if (!text) return WrongBecause(text.message());
    if (!LoaderTakes(*text)) return Outcome::Refused;
    return list.Edit(*at, *text) ? Outcome::Changed : Outcome::Unchanged;
}

Outcome Delete(const std::string& n, bool yes, PatternTextList& list) {
    const Items shown = list.Shown();
    const auto at = Position(n, shown);
    if (!at) return WrongBecause(at.message());
    if (!yes && !isatty(STDIN_FILENO)) {
        ListError("delete asks for confirmation, but standard input is not a terminal; give --yes");
        return Outcome::Wrong;
    }
    if (!yes && !ConfirmDelete(std::to_string(*at + 1) + "  " + shown[*at])) {
        std::fprintf(stderr, "tamsel list: nothing deleted\n");
        return Outcome::Unchanged;
    }
    return list.Delete(*at) ? Outcome::Changed : Outcome::Unchanged;
}

// Add, delete or edit, as the editor's buttons do.
Outcome Apply(const std::vector<std::string>& action, bool yes, PatternTextList& list) {
    const std::string& verb = action[0];
    if (verb == "add" && action.size() == 2) return Add(action[1], list);
    if (verb == "delete" && action.size() == 2) return Delete(action[1], yes, list);
    if (verb == "edit" && action.size() == 3) return Edit(action[1], action[2], list);
    if (verb == "add") ListError("add takes one TEXT");
    else if (verb == "delete") ListError("delete takes one N");
    else if (verb == "edit") ListError("edit takes N and TEXT");
    else ListError("unknown action \"" + verb + "\"");
    return Outcome::Wrong;
}

// Every action ends as the editor's Close: the file is written, whether or
// not anything changed.
int CloseList(PatternTextList& list, const ListStore& store) {
    const ListWriteResult result = list.Close(store);
    if (!result.written) {
        std::fprintf(stderr, "tamsel list: cannot write %s: %s; the old file is unchanged\n",
                     EscapeControlBytes(result.path).c_str(), result.error.c_str());
        return kExitFailure;
    }
    const size_t count = list.Texts().size();
    std::printf("Wrote %s (%zu %s).\n", EscapeControlBytes(result.path).c_str(), count,
                count == 1 ? "entry" : "entries");
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
    const auto folder = TakeListFolder(args);
    if (!folder) return UsageError("list", folder.message());
    if (!HasUserFolder("list", *folder)) return kExitFailure;
    const bool yes = TakeYes(args);
    DropSeparator(args);
    if (args.empty() || (args[0] != "black" && args[0] != "white")) return ListError("say which list: black or white");
    const ListKind kind = args[0] == "black" ? ListKind::UserBlock : ListKind::UserTrust;
    const std::vector<std::string> action(args.begin() + 1, args.end());

    // The tool publishes no list: its shared state only satisfies the store,
    // which leaves the new file's snapshot for the next program.
    SharedState unpublished;
    const ListStore store(unpublished, FilesOf(*folder), TheEnv().CacheFolderPath());
    PatternTextList list(kind);
    list.LoadIfEmpty(store);
    if (action.empty()) {
        Show(ListFileOf(kind), *store.PathOf(kind), list.Shown());
        return kExitOk;
    }
    const Outcome outcome = Apply(action, yes, list);
    if (outcome == Outcome::Wrong) return kExitUsage;
    if (outcome == Outcome::Refused || !MakeUserFolder("list", *folder)) return kExitFailure;
    return CloseList(list, store);
}

}  // namespace

const Command kListCommand = {
    "list",
    "list black|white [ACTION] [--lists DIR]",
    "show or edit the user's block list or trust list",
    "Shows the user's block list (black, UserBlock.txt) or trust list (white,\n"
    "UserTrust.txt) as the list editor shows it: the last entry first, numbered\n"
    "from 1 at the top. Each entry is one line of the file, comments included,\n"
    "and the entry at the top is the line that decides first. An ACTION changes\n"
    "it as the editor's buttons do, then writes the file as the editor's Close\n"
    "does:\n\n"
    "  add TEXT       put TEXT at the top (cut to 259 characters)\n"
    "  delete N       delete entry N; asks first unless --yes is given\n"
    "  edit N TEXT    replace entry N by TEXT, which moves to the top\n\n"
    "A TEXT the list loader would refuse (a path pattern that does not compile)\n"
    "is not written: one such line would keep the whole list from loading. The\n"
    "command says why and fails.\n\n"
    "The file keeps its lines in their order (blank lines are dropped); the\n"
    "entry at the top is written last. Each line is ended by CR LF. The file is\n"
    "replaced whole: if it cannot be written, the old file stays as it was and\n"
    "the command fails.\n\n"
    "  --yes, -y      delete without asking (needed when standard input is not\n"
    "                 a terminal)\n"
    "  --lists DIR    use the list files in DIR instead of the user's folder\n"
    "                 (see man tamsel)\n",
    RunList,
};

}  // namespace tamsel::cli
