// tamsel check / tamsel inspect: why a URL or an outgoing buffer is refused.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/command.h"
#include "browser/source_judge.h"
#include "cli/list_folder.h"
#include "cli/read_input.h"
#include "intercept/inspect.h"
#include "intercept/lookup.h"
#include "intercept/server_name.h"
#include "intercept/tls_client_hello.h"
#include "patterns/text.h"

namespace tamsel::cli {
namespace {

// The URL as the lists see it: lower-cased, parsed as the page walk parses
// an element's source.
RequestUrl Parsed(const std::string& given) {
    std::string lowered = given;
    LowerAscii(lowered);
    RequestUrl url;
    ParseRequestUrl(lowered.c_str(), nullptr, &url);
    return url;
}

// The earliest stage that refuses: the name lookup when every request to the
// host is refused; otherwise the request itself, as the page walk judges an
// element's source, and for https, where the module sees only the server
// name and port, whether every request to them is refused.
void CheckOne(const std::string& given, const ListSet& lists) {
    const UrlJudgement first = JudgeUrlAtEarliestStage(given, lists);
    PrintJudgement(first.judgement, given, first.atLookup ? " at lookup" : "");
    if (first.atLookup) return;
    const RequestUrl url = Parsed(given);
    if (!url.host || !StartsWithNoCase(given, "https://")) return;
    // The port as the connection would have it: 443 unless the URL names one.
    const bool portGiven = url.hostport && url.hostport->find(':') != std::string::npos;
    const int32_t port = portGiven ? url.port : kDefaultTlsPort;
    const std::string name = "https://" + *url.host + ":" + std::to_string(port) + "/";
    PrintJudgement(JudgeWhollyRefused(*url.host, port, lists), name, " by server name");
}

int RunCheck(const std::vector<std::string>& argsIn) {
    std::vector<std::string> args = argsIn;
    const auto folder = TakeListFolder(args);
    if (!folder) return UsageError("check", folder.message());
    if (!args.empty() && args[0] == "--") args.erase(args.begin());
    if (args.empty()) return UsageError("check", "give at least one URL");
    const FolderLists lists = LoadListFolder(*folder);
    for (const std::string& given : args) CheckOne(given, lists.view());
    return kExitOk;
}

// "host:port/path" as the lists saw the request, or a note on why they did
// not see one.
std::string Subject(const std::string& bytes, const RequestUrl& request) {
    if (!LooksLikeRequestHead(bytes.data(), static_cast<int32_t>(bytes.size())))
        return "(not the head of a GET or POST request)";
    if (!request.raw || (!request.host && !request.hostport)) return "(no Host header)";
    if (!request.host) return "(no host in \"" + *request.raw + "\")";
    return *request.host + ":" + std::to_string(request.port) + *request.path;
}

int RunInspect(const std::vector<std::string>& argsIn) {
    std::vector<std::string> args = argsIn;
    const auto folder = TakeListFolder(args);
    if (!folder) return UsageError("inspect", folder.message());
    if (!args.empty() && args[0] == "--") args.erase(args.begin());
    if (args.size() > 1) return UsageError("inspect", "give one file at most");
    const std::string file = args.empty() ? "-" : args[0];
    const Result<std::string> input = ReadInput(file);
    if (!input) {
        std::fprintf(stderr, "tamsel inspect: %s\n", EscapeControlBytes(input.message()).c_str());
        return kExitFailure;
    }
    const std::string& bytes = *input;
    if (bytes.size() > 0x7fffffff) {
        std::fprintf(stderr, "tamsel inspect: %s is larger than one send can carry\n",
                     EscapeControlBytes(file).c_str());
        return kExitFailure;
    }
    const FolderLists lists = LoadListFolder(*folder);
    const auto length = static_cast<int32_t>(bytes.size());
    if (LooksLikeClientHello(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size())) {
        // The port is the socket's, which a file cannot say.
        std::string url;
        const Judgement judgement = InspectClientHelloWith(bytes.data(), length, kDefaultTlsPort, lists.view(), &url);
        PrintJudgement(judgement, url.empty() ? "(a ClientHello without a usable server name)" : url,
                       " by server name");
        return kExitOk;
    }
    RequestUrl request;
    const Judgement judgement = InspectRequestWith(bytes.data(), length, lists.view(), &request);
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
    "\"refused at lookup\" means every request to the URL's host is refused, so a\n"
    "program under the filter cannot even look its name up. For an https URL a\n"
    "second line says what the server-name filter decides, which sees only the\n"
    "host and port: \"refused by server name\" when every request to that host\n"
    "and port is refused, whatever its path. While advertisements are allowed\n"
    "(tamsel allow on) every line says that nothing is enforced.\n\n"
    "  --lists DIR   read the three list files from DIR instead of the user's\n"
    "                folder and the shipped list (see man tamsel)\n",
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
    "path the lists saw, and the deciding list line. A TLS ClientHello is judged\n"
    "by its server name and port 443 (a file has no connection to give the\n"
    "port): refused only when every request to https://NAME:443/ is refused,\n"
    "whatever its path.\n\n"
    "  --lists DIR   read the three list files from DIR instead of the user's\n"
    "                folder and the shipped list (see man tamsel)\n",
    RunInspect,
};

}  // namespace tamsel::cli
