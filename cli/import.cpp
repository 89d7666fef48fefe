// tamsel import: bring the lists people block with into the shipped block list.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "cli/command.h"
#include "cli/list_folder.h"
#include "cli/read_input.h"
#include "import/block_list_sections.h"
#include "import/list_source.h"
#include "listfiles/list_cache.h"
#include "listfiles/list_store.h"
#include "platform/env.h"
#include "runtime/shared_state.h"

namespace tamsel::cli {
namespace {

using import::ConvertedSource;

struct Source {
    std::string given;  // as on the command line
    std::string name;   // what its section is called
    ConvertedSource converted;
};

struct ImportOptions {
    ListFolders folders;
    std::string report;  // empty: none
    std::vector<std::string> sources;
};

// Fills `options` from the command line; false after a usage message.
bool ParseImportArgs(std::vector<std::string> args, ImportOptions* options) {
    const auto folder = TakeListFolder(args);
    if (!folder) {
        UsageError("import", folder.message());
        return false;
    }
    options->folders = *folder;
    bool optionsEnd = false;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string error;
        if (!optionsEnd && args[i] == "--") {
            optionsEnd = true;
        } else if (!optionsEnd && args[i] == "--report") {
            if (++i < args.size()) options->report = args[i];
            else error = "--report needs a file";
        } else if (!optionsEnd && args[i].size() > 1 && args[i][0] == '-') {
            error = "unknown option " + args[i];
        } else {
            options->sources.push_back(args[i]);
        }
        if (!error.empty()) {
            UsageError("import", error);
            return false;
        }
    }
    if (!options->sources.empty()) return true;
    UsageError("import", "give at least one list file, or - for standard input");
    return false;
}

std::string Shown(const std::string& given) { return given == "-" ? "standard input" : given; }

// A source's section is named by its file name, so that a newer copy of a
// list downloaded elsewhere replaces the old one.
std::string SectionName(const std::string& given) {
    return given == "-" ? Shown(given) : std::filesystem::path(given).filename().string();
}

// Reads and converts one source; nullopt after saying why it cannot be a list.
std::optional<Source> LoadSource(const std::string& given) {
    const Result<std::string> bytes = ReadInput(given);
    Status read = bytes.status();
    if (read.ok()) {
        if (const Status list = import::CheckListInput(*bytes); !list.ok()) {
            read = Failure{Shown(given) + ": " + list.message()};
        }
    }
    if (!read.ok()) {
        std::fprintf(stderr, "tamsel import: %s; nothing written\n", read.message().c_str());
        return std::nullopt;
    }
    return Source{given, SectionName(given), import::ConvertSource(*bytes)};
}

std::string ReportText(const std::vector<Source>& sources) {
    std::string out;
    for (const Source& s : sources) {
        for (const import::SkippedRule& r : s.converted.skipped)
            out += Shown(s.given) + ":" + std::to_string(r.lineNumber) + ": " + r.reason + ": " + r.text + "\n";
    }
    return out;
}

// "name count, name count" in falling order of count.
template <class Counts>
std::string CountList(const Counts& counts) {
    std::vector<std::pair<std::string, int32_t>> sorted(counts.begin(), counts.end());
    std::stable_sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
    std::string out;
    for (const auto& [name, count] : sorted) out += (out.empty() ? "" : ", ") + name + " " + std::to_string(count);
    return out;
}

void PrintSummary(const Source& s) {
    const ConvertedSource& c = s.converted;
    std::printf("%s (%s): %zu lines written (%zu block, %zu exception, %zu important), %zu skipped\n",
                Shown(s.given).c_str(), import::FormatName(c.format), c.written(), c.blocks.size(), c.exceptions.size(),
                c.importantBlocks.size(), c.skipped.size());
    std::map<std::string, int32_t> reasons;
    for (const import::SkippedRule& r : c.skipped) ++reasons[r.reason];
    if (!reasons.empty()) std::printf("  skipped: %s\n", CountList(reasons).c_str());
    if (!c.droppedOptions.empty()) std::printf("  options dropped: %s\n", CountList(c.droppedOptions).c_str());
}

bool WriteOrSay(const std::string& path, const std::string& bytes) {
    const Status written = TheEnv().ReplaceFileContents(path, bytes);
    if (written.ok()) return true;
    std::fprintf(stderr, "tamsel import: cannot write %s: %s; it stays as it was\n", path.c_str(),
                 written.message().c_str());
    return false;
}

// The list the sections go into. Where the shipped list is the user's (one
// folder), they follow its own lines. Where it was installed, it is
// not the user's to write and an upgrade replaces it: they go into the
// user's block list, whose lines decide before the shipped list's, as
// sections after a shipped list's own lines do.
ListKind ImportTarget(const ListFolders& folders) {
    return folders.Together() ? ListKind::ShippedBlock : ListKind::UserBlock;
}

// The target list's lines with every source's section put in, or nullopt
// after saying why the file cannot be read or its markers trusted.
std::optional<std::vector<std::string>> MergedEntries(const ListStore& store, ListKind target,
                                                      const std::string& listPath, const std::vector<Source>& sources) {
    std::string list;
    if (std::filesystem::exists(listPath)) {
        const auto entries = store.ReadEntries(target);
        if (!entries) {
            std::fprintf(stderr, "tamsel import: cannot read %s; nothing written\n", listPath.c_str());
            return std::nullopt;
        }
        for (const std::string& entry : *entries) list += entry + "\n";
    }
    for (const Source& s : sources) {
        const std::string section = import::RenderSection(s.name, Shown(s.given), s.converted);
        if (const Status put = import::PutSection(&list, s.name, section); !put.ok()) {
            std::fprintf(stderr, "tamsel import: %s: %s; mend the markers by hand; nothing written\n", listPath.c_str(),
                         put.message().c_str());
            return std::nullopt;
        }
    }
    return SplitListLines(list);
}

// Two sources of one name would write one section, the second over the first.
std::optional<std::string> SharedName(const std::vector<std::string>& given) {
    std::set<std::string> seen;
    for (const std::string& g : given) {
        if (!seen.insert(SectionName(g)).second) return SectionName(g);
    }
    return std::nullopt;
}

int RunImport(const std::vector<std::string>& args) {
    ImportOptions options;
    if (!ParseImportArgs(args, &options)) return kExitUsage;
    if (const auto name = SharedName(options.sources))
        return UsageError("import", "two sources are named " + *name + ": their sections would be one");
    std::vector<Source> sources;
    for (const std::string& given : options.sources) {
        auto source = LoadSource(given);
        if (!source) return kExitFailure;
        sources.push_back(std::move(*source));
    }
    // Programs take the new file up when they next load their lists, from
    // the snapshot the store leaves in the cache folder.
    SharedState unpublished;
    const ListStore store(unpublished, FilesOf(options.folders), TheEnv().CacheFolderPath());
    const ListKind target = ImportTarget(options.folders);
    if (target == ListKind::UserBlock && !MakeUserFolder("import", options.folders)) return kExitFailure;
    const std::string listPath = store.PathOf(target).value_or("");
    const auto entries = MergedEntries(store, target, listPath, sources);
    if (!entries) return kExitFailure;
    if (!options.report.empty() && !WriteOrSay(options.report, ReportText(sources))) return kExitFailure;
    const ListWriteResult written = store.WriteEntries(target, *entries);
    if (!written.written) {
        std::fprintf(stderr, "tamsel import: cannot write %s: %s; it stays as it was\n", written.path.c_str(),
                     written.error.c_str());
        return kExitFailure;
    }
    for (const Source& s : sources) PrintSummary(s);
    std::printf("written to %s\n", listPath.c_str());
    return kExitOk;
}

}  // namespace

const Command kImportCommand = {
    "import",
    "import [--lists DIR] [--report FILE] SOURCE...",
    "bring adblock-style lists, hosts files and domain lists into the lists",
    "Reads each SOURCE (a file, or - for standard input), finds out whether it\n"
    "is an adblock-style list, a hosts file (\"0.0.0.0 host\", \"127.0.0.1 host\",\n"
    "\"::1 host\") or a list of host names, and writes the rules our lists can\n"
    "say, in a section of its own between two marker comments, after the own\n"
    "lines of the user's UserBlock.txt (of BlockList.txt when it lies in the\n"
    "same folder, as with --lists). Importing a source of the same file name\n"
    "again replaces its section; the list's own lines stay as they are. The\n"
    "file is replaced in one step: on any failure it stays as it was.\n\n"
    "Adblock-style rules: \"||host^\" becomes the host line, \"||host/path\" a\n"
    "host with a path, any other rule a path found anywhere in the request's\n"
    "path; \"@@\" exceptions follow the block lines and \"$important\" blocks\n"
    "follow the exceptions. Type and party options are dropped (the rule then\n"
    "applies more widely). Cosmetic rules, regular expressions and rules whose\n"
    "options cannot be kept without blocking the wrong thing ($popup, $csp,\n"
    "$domain=, $redirect, page-level exceptions, ...) are skipped.\n\n"
    "Prints, per source, how many lines were written, which options were\n"
    "dropped and how many rules were skipped for which reason.\n\n"
    "  --lists DIR     the folder whose BlockList.txt to write instead of the\n"
    "                  user's UserBlock.txt\n"
    "  --report FILE   list every skipped rule with its source, line and reason\n",
    RunImport,
};

}  // namespace tamsel::cli
