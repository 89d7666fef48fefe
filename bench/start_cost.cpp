// What preloading libtamsel.so adds to a program's start: `true` (a program
// that sends nothing) and `curl` fetching one page from a server on
// 127.0.0.1 (a program whose first request makes the module read its
// lists), each run with and without the preload, interleaved, in one run.
// Each --after COMMAND adds a row for the first program after a list write:
// COMMAND (its words split at spaces, say "tamsel list --lists DIR black
// add x.example") runs, untimed, before every run of curl with the module,
// so that run finds the list just replaced.
//
// usage: start_cost [--runs N] [--after COMMAND]... [MODULE]   (MODULE: libtamsel.so beside this program)
#include <fcntl.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "base/posix/unique_fd.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// Answers every connection with one small page until the program ends.
class PageServer {
public:
    PageServer() {
        listener_ = tamsel::UniqueFd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (::bind(listener_.get(), reinterpret_cast<sockaddr*>(&address), size) != 0 ||
            ::listen(listener_.get(), 64) != 0 ||
            ::getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&address), &size) != 0) {
            std::perror("start_cost: server");
            std::exit(1);
        }
        port_ = ntohs(address.sin_port);
        std::thread([this] { Serve(); }).detach();
    }
    int port() const { return port_; }

private:
    void Serve() {
        static const char kPage[] = "HTTP/1.1 200 OK\r\nContent-Length: 3\r\nConnection: close\r\n\r\nok\n";
        for (;;) {
            const tamsel::UniqueFd connection(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
            if (!connection) continue;
            char head[4096];
            std::string got;
            ssize_t n;
            while (got.find("\r\n\r\n") == std::string::npos &&
                   (n = ::recv(connection.get(), head, sizeof head, 0)) > 0) {
                got.append(head, static_cast<size_t>(n));
            }
            (void)!::send(connection.get(), kPage, sizeof kPage - 1, MSG_NOSIGNAL);
        }
    }
    tamsel::UniqueFd listener_;
    int port_ = 0;
};

// The environment without LD_PRELOAD, and with it set to `module`.
std::vector<std::string> Environment(const std::string& module) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        if (std::strncmp(*e, "LD_PRELOAD=", 11) != 0) env.emplace_back(*e);
    }
    if (!module.empty()) env.push_back("LD_PRELOAD=" + module);
    return env;
}

struct Cost {
    double wallMs;  // from spawning to reaping
    double cpuMs;   // user and system time of the child: what a shared, busy machine disturbs least
    int status;     // as wait gives it
};

Cost TimeRun(std::vector<std::string> argv, std::vector<std::string> env) {
    std::vector<char*> args, vars;
    for (auto& a : argv) args.push_back(a.data());
    for (auto& v : env) vars.push_back(v.data());
    args.push_back(nullptr);
    vars.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const auto start = Clock::now();
    pid_t pid = 0;
    if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), vars.data()) != 0) {
        std::fprintf(stderr, "start_cost: cannot run %s\n", args[0]);
        std::exit(1);
    }
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    const auto end = Clock::now();
    posix_spawn_file_actions_destroy(&actions);
    const auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
    return {std::chrono::duration<double, std::milli>(end - start).count(), ms(usage.ru_utime) + ms(usage.ru_stime),
            status};
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Runs `argv` untimed, without the module; a command that fails ends the
// benchmark, which would otherwise measure an unchanged list.
void RunBefore(const std::vector<std::string>& argv) {
    if (argv.empty()) return;
    const Cost run = TimeRun(argv, Environment(""));
    if (WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0) return;
    std::fprintf(stderr, "start_cost: %s failed\n", argv[0].c_str());
    std::exit(1);
}

// `runs` pairs, the order within a pair alternating so drift in the
// machine's load falls on both sides alike; `before` runs ahead of each run
// with the module.
void Compare(const std::string& name, const std::vector<std::string>& argv, const std::string& module, int runs,
             const std::vector<std::string>& before = {}) {
    const auto plain = Environment(""), preloaded = Environment(module);
    std::vector<Cost> without, with;
    for (int i = 0; i < runs; ++i) {
        if (i % 2 == 0) without.push_back(TimeRun(argv, plain));
        RunBefore(before);
        with.push_back(TimeRun(argv, preloaded));
        if (i % 2 == 1) without.push_back(TimeRun(argv, plain));
    }
    for (const auto& [what, field] : {std::pair{"wall", &Cost::wallMs}, std::pair{"cpu", &Cost::cpuMs}}) {
        std::vector<double> a, b;
        for (const Cost& c : without) a.push_back(c.*field);
        for (const Cost& c : with) b.push_back(c.*field);
        const double x = Median(a), y = Median(b);
        std::printf("%-24s %-5s %9.2f ms %12.2f ms %+10.2f ms %7.2fx\n", name.c_str(), what, x, y, y - x, y / x);
    }
}

// "a b c" as {"a", "b", "c"}.
std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> words;
    size_t at = 0;
    while ((at = text.find_first_not_of(' ', at)) != std::string::npos) {
        const size_t end = std::min(text.find(' ', at), text.size());
        words.push_back(text.substr(at, end - at));
        at = end;
    }
    return words;
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 200;
    std::string module;
    std::vector<std::vector<std::string>> afters;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "--after") == 0 && i + 1 < argc) {
            afters.push_back(Words(argv[++i]));
        } else {
            module = argv[i];
        }
    }
    if (module.empty()) {
        std::string self(argv[0]);
        module = self.substr(0, self.rfind('/') + 1) + "libtamsel.so";
    }
    if (::access(module.c_str(), R_OK) != 0) {
        std::fprintf(stderr, "start_cost: no module at %s\n", module.c_str());
        return 1;
    }
    const PageServer server;
    std::printf("%d interleaved runs each, median wall time from spawn to exit; module %s\n\n", runs, module.c_str());
    std::printf("%-30s %12s %15s %13s %8s\n", "program", "without", "with module", "difference", "ratio");
    Compare("true", {"true"}, module, runs);
    const std::string url = "http://127.0.0.1:" + std::to_string(server.port()) + "/";
    const std::vector<std::string> curl = {"curl", "-s", "-o", "/dev/null", url};
    Compare("curl, one loopback page", curl, module, runs);
    for (size_t i = 0; i < afters.size(); ++i) {
        std::string command;
        for (const std::string& word : afters[i]) command += " " + word;
        std::printf("  write %zu:%s\n", i + 1, command.c_str());
        Compare("curl after write " + std::to_string(i + 1), curl, module, runs, afters[i]);
    }
    return 0;
}
