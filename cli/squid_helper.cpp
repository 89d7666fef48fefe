// tamsel squid-helper: Squid's external ACL helper, judging each request the
// proxy asks about against the lists of one folder, kept in step with their
// files as the module keeps its own.
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cli/command.h"
#include "cli/list_folder.h"
#include "export/squid_helper_protocol.h"
#include "runtime/list_supply.h"

namespace tamsel::cli {
namespace {

// Squid may leave a helper idle for minutes. The supply looks at the files
// only when asked, so without this the first request after a change would
// still be judged by the old lists and only start their re-read.
class IdleLook {
public:
    explicit IdleLook(ListSupply& supply) : thread_([this, &supply] { Run(supply); }) {}
    ~IdleLook() {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }
    IdleLook(const IdleLook&) = delete;
    IdleLook& operator=(const IdleLook&) = delete;

private:
    void Run(ListSupply& supply) {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!wake_.wait_for(lock, std::chrono::milliseconds(250), [this] { return stop_; })) supply.Ready();
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    std::thread thread_;  // last: it starts once the members it uses exist
};

int RunSquidHelper(const std::vector<std::string>& argsIn) {
    std::vector<std::string> args = argsIn;
    const auto folder = TakeListFolder(args);
    if (!folder) return UsageError("squid-helper", folder.message());
    if (!args.empty()) return UsageError("squid-helper", "unexpected argument \"" + args[0] + "\"");
    // The process's own supply and state, never destroyed: a re-read may
    // still be running on its thread when standard input ends.
    ListSupply& supply = TheListSupply();
    supply.Configure(FilesOf(*folder));
    supply.Ready();  // the first load, before Squid's first request waits for it
    const IdleLook idleLook(supply);
    std::ios::sync_with_stdio(false);
    std::string line;
    while (std::getline(std::cin, line)) {
        supply.Ready();
        const SharedState::Reader reader(TheSharedState());
        const std::string answer = AnswerHelperLine(line, reader.lists()) + "\n";
        // Squid waits for each answer; one left in a buffer stalls its request.
        std::fwrite(answer.data(), 1, answer.size(), stdout);
        std::fflush(stdout);
    }
    supply.Stop();
    return kExitOk;
}

}  // namespace

const Command kSquidHelperCommand = {
    "squid-helper",
    "squid-helper [--lists DIR]",
    "answer a Squid proxy's questions about each request (external ACL helper)",
    "Speaks Squid's external ACL helper protocol on standard input and output,\n"
    "for an external_acl_type whose format is %URI, with or without\n"
    "concurrency=N (a leading channel ID is echoed back). Answers OK when the\n"
    "lists refuse the request, so that \"http_access deny\" on the ACL refuses\n"
    "it, and ERR otherwise; a refusal carries message=\"refused by FILE:LINE\n"
    "PATTERN\", which Squid's error pages show as %o. A URL is judged as\n"
    "tamsel check judges it; a CONNECT's host:port is refused only when every\n"
    "request to that name and port is. A line that holds neither gets BH.\n"
    "Changes to the list files take effect within about a second.\n\n"
    "  --lists DIR   read the three list files from DIR instead of the user's\n"
    "                folder and the shipped list (see man tamsel)\n",
    RunSquidHelper,
};

}  // namespace tamsel::cli
