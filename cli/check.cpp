// tamsel check / tamsel inspect: why a URL or an outgoing buffer is refused.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/command.h"
#include "browser/source_judge.h"
#include "cli/list_folder.h"
#include "cli/read_input.h"
#include "intercept/inspect.h"
#include "patterns/text.h"

namespace tamsel::cli {
namespace {

int RunCheck(const std::vector<std::string>& argsIn) {
    std::vector<std::string> args = argsIn;
    const auto folder = TakeListFolder("check", args);
    if (!folder) return kExitUsage;
    if (!args.empty() && args[0] == "--") args.erase(args.begin());
    if (args.empty()) return UsageError("check", "give at least one URL");
    const FolderLists lists = LoadListFolder(*folder);
    for (const std::string& given : args) {
        // Exactly as the page walk judges an element's source.
        std::string url = given;
        PrintJudgement(JudgeSourceUrl(url, lists.view()), given);
    }
    return kExitOk;
}

// "host:port/path" as the lists saw the request, or a note on why they did
// not see one.
std::string Subject(const std::string& bytes, const RequestUrl& request) {
    if (!LooksLikeRequestHead(bytes.data(), static_cast<int32_t>(bytes.size())))
        return "(not the head of a GET or POST request)";
    if (!request.raw) return "(no Host header)";
    if (!request.host) return "(no host in \"" + *request.raw + "\")";
    return *request.host + ":" + std::to_string(request.port) + *request.path;
}

int RunInspect(const std::vector<std::string>& argsIn) {
    std::vector<std::string> args = argsIn;
    const auto folder = TakeListFolder("inspect", args);
    if (!folder) return kExitUsage;
    if (!args.empty() && args[0] == "--") args.erase(args.begin());
    if (args.size() > 1) return UsageError("inspect", "give one file at most");
    const std::string file = args.empty() ? "-" : args[0];
    std::string error;
    const auto input = ReadInput(file, &error);
    if (!input) {
        std::fprintf(stderr, "tamsel inspect: %s\n", EscapeControlBytes(error).c_str());
        return kExitFailure;
    }
    const std::string& bytes = *input;
    if (bytes.size() > 0x7fffffff) {
        std::fprintf(stderr, "tamsel inspect: %s is larger than one send can carry\n", EscapeControlBytes(file).c_str());
        return kExitFailure;
    }
    const FolderLists lists = LoadListFolder(*folder);
    RequestUrl request;
    const Judgement judgement =
        InspectRequestWith(bytes.data(), static_cast<int32_t>(bytes.size()), lists.view(), &request);
    PrintJudgement(judgement, Subject(bytes, request));
    return kExitOk;
}

}  // namespace

const Command kCheckCommand = {
    "check",
    "check [--lists DIR] URL...",
    "say whether each URL is refused, trusted or passed, and by which line",
    "Judges each URL as the page filter judges an element's source: lower-cased,\n"
    "against the trust list (UserTrust.txt), then the user's block list\n"
    "(UserBlock.txt), then the shipped block list (BlockList.txt). Prints one line\n"
    "per URL: the verdict, the URL, and the list file, line number and pattern\n"
    "that decided it.\n\n"
    "  --lists DIR   read the three list files from DIR instead of the folder\n"
    "                that holds the tool\n",
    RunCheck,
};

const Command kInspectCommand = {
    "inspect",
    "inspect [--lists DIR] [FILE]",
    "judge the raw bytes of one outgoing buffer as the send filter does",
    "Reads the bytes one program would hand to send() from FILE (or standard\n"
    "input, or \"-\") and judges them exactly as the send filter does: only a GET\n"
    "or POST request head within the first eight bytes is looked at, and its\n"
    "request line and Host header decide. Prints the verdict, the host, port and\n"
    "path the lists saw, and the deciding list line.\n\n"
    "  --lists DIR   read the three list files from DIR instead of the folder\n"
    "                that holds the tool\n",
    RunInspect,
};

}  // namespace tamsel::cli
