// tamsel export: the names the filter refuses at lookup, written for the
// resolver a whole network asks.
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/list_folder.h"
#include "cli/read_input.h"
#include "export/resolver_formats.h"
#include "patterns/text.h"
#include "platform/env.h"

namespace tamsel::cli {
namespace {

struct ExportOptions {
    ListFolders folders;
    std::optional<ResolverFormat> format;
    std::string output;  // empty: standard output
    std::string report;  // empty: standard error
};

// Takes "--NAME VALUE" or "--NAME=VALUE" at args[*i]; false when args[*i] is another word.
bool TakeValue(const std::vector<std::string>& args, size_t* i, const std::string& name, std::string* value,
               bool* missing) {
    const std::string& word = args[*i];
    if (word.rfind(name + "=", 0) == 0) {
        *value = word.substr(name.size() + 1);
    } else if (word == name) {
        *missing = *i + 1 >= args.size();
        if (!*missing) *value = args[++*i];
    } else {
        return false;
    }
    *missing = *missing || value->empty();
    return true;
}

// Tells the user what is wrong with the command line; returns false.
bool Wrong(const std::string& message) {
    UsageError("export", message);
    return false;
}

bool ParseExportArgs(std::vector<std::string> args, ExportOptions* options) {
    const auto folder = TakeListFolder(args);
    if (!folder) {
        UsageError("export", folder.message());
        return false;
    }
    options->folders = *folder;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string format;
        bool missing = false;
        if (TakeValue(args, &i, "--format", &format, &missing)) {
            options->format = ParseResolverFormat(format);
            if (!missing && !options->format) return Wrong("no such format: " + format);
        } else if (!TakeValue(args, &i, "--output", &options->output, &missing) &&
                   !TakeValue(args, &i, "--report", &options->report, &missing)) {
            return Wrong("unexpected argument: " + args[i]);
        }
        if (missing) return Wrong(args[i] + " needs a value");
    }
    if (!options->format) return Wrong("give --format rpz, unbound, dnsmasq or hosts");
    return true;
}

// The zone's serial: above the one of the zone this export replaces.
uint32_t SerialFor(const ExportOptions& options) {
    std::optional<uint32_t> previous;
    if (!options.output.empty() && std::filesystem::exists(options.output)) {
        if (const Result<std::string> old = ReadInput(options.output)) previous = ZoneSerialOf(*old);
    }
    return NextZoneSerial(previous, static_cast<int64_t>(std::time(nullptr)));
}

bool WriteTo(const std::string& path, const std::string& bytes) {
    if (path.empty()) return std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size();
    const Status written = TheEnv().ReplaceFileContents(path, bytes);
    if (written.ok()) return true;
    std::fprintf(stderr, "tamsel export: cannot write %s: %s; it stays as it was\n", EscapeControlBytes(path).c_str(),
                 EscapeControlBytes(written.message()).c_str());
    return false;
}

int RunExport(const std::vector<std::string>& args) {
    ExportOptions options;
    if (!ParseExportArgs(args, &options)) return kExitUsage;
    const auto start = std::chrono::steady_clock::now();
    const FolderLists lists = LoadListFolder(options.folders);
    const RefusedNames names = CollectRefusedNames(lists.view());
    const uint32_t serial = *options.format == ResolverFormat::Rpz ? SerialFor(options) : 0;
    const ResolverText written = WriteResolverText(names, *options.format, serial);
    const auto took = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start);
    if (!WriteTo(options.output, written.text)) return kExitFailure;
    if (written.counts.written == 0)
        std::fprintf(stderr, "tamsel export: warning: the lists refuse no name this format can hold; "
                             "the output holds none\n");
    char timing[64];
    std::snprintf(timing, sizeof timing, "lists loaded and names collected in %.1f ms\n", took.count());
    const std::string report = ExportReport(names, written, *options.format) + timing;
    if (options.report.empty()) {
        std::fputs(report.c_str(), stderr);
        return kExitOk;
    }
    return WriteTo(options.report, report) ? kExitOk : kExitFailure;
}

}  // namespace

const Command kExportCommand = {
    "export",
    "export --format F [--lists DIR] [--output FILE] [--report FILE]",
    "write the names refused at lookup for a resolver (rpz, unbound, dnsmasq, hosts)",
    "Writes every name that the filter refuses at lookup, exactly as a program\n"
    "under the filter has it refused, in a form a network's resolver reads:\n\n"
    "  rpz       a response-policy zone: \"name CNAME .\" for the name and\n"
    "            \"*.name CNAME .\" for the names below it; the serial grows on\n"
    "            every export\n"
    "  unbound   local-zone: \"name.\" always_nxdomain, for an include:\n"
    "  dnsmasq   address=/name/ (no such name, for the name and below it)\n"
    "  hosts     0.0.0.0 name (the name alone: a hosts file covers nothing below)\n\n"
    "A line the lookup cannot decide (a path, a port), a \"*\" a resolver cannot\n"
    "place, and a name a trust or exception line keeps in use are left out,\n"
    "never widened; the report counts them by reason. A name below one already\n"
    "written with everything below it is not repeated.\n\n"
    "  --lists DIR     read the three list files from DIR instead of the user's\n"
    "                  folder and the shipped list (see man tamsel)\n"
    "  --output FILE   replace FILE in one step (default: standard output)\n"
    "  --report FILE   write the report to FILE (default: standard error)\n",
    RunExport,
};

}  // namespace tamsel::cli
