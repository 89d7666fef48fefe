"""How fast `tamsel squid-helper` answers, and what it costs a Squid proxy.

usage: python3 bench/squid_helper.py TAMSEL_TOOL LISTS_DIR [REQUESTS.json]

1. The helper on one core (taskset): every URL of the corpus written down a
   pipe as Squid writes it ("URL -"), every answer read back; against a
   line-by-line responder that answers ERR to everything (perl), the
   floor any helper pays for the pipe and a flush per answer.
2. Squid on loopback without the helper, with it over an empty list folder
   (what asking costs) and with it over LISTS_DIR (concurrency 16), on
   the same requests rewritten to plain http to a local origin server (every
   name of the corpus maps to 127.0.0.1 in Squid's hosts file); eight client
   connections with keep-alive. Requests per second and their ratio.
Each measurement is the best of REPETITIONS (default 3) runs, interleaved.
"""
import collections
import http.client
import json
import os
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import squid_proxy_test as proxy_test  # noqa: E402  (Backend, free_port, wait_for_port)

REPETITIONS = int(os.environ.get("REPETITIONS", "3"))
CLIENTS = 8


def answer_all(command, lines):
    """Seconds to answer every line, after one warm-up answer (the list load); and the answers."""
    process = subprocess.Popen(["taskset", "-c", "1"] + command, stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    process.stdin.write(lines[0])
    process.stdin.flush()
    process.stdout.readline()
    start = time.perf_counter()
    writer = threading.Thread(target=lambda: (process.stdin.writelines(lines), process.stdin.close()))
    writer.start()
    answers = [process.stdout.readline() for _ in lines]
    took = time.perf_counter() - start
    writer.join()
    process.wait()
    return took, answers


def helper_rate(tool, lists, urls):
    lines = [("%s -\n" % url).encode() for url in urls]
    best = {"tamsel": float("inf"), "floor": float("inf")}
    for _ in range(REPETITIONS):
        took, answers = answer_all([tool, "squid-helper", "--lists", lists], lines)
        best["tamsel"] = min(best["tamsel"], took)
        best["floor"] = min(best["floor"], answer_all(["perl", "-ne", 'BEGIN { $| = 1 } print "ERR\\n"'], lines)[0])
    kinds = collections.Counter(a.split(b" ")[0].strip().decode() for a in answers)
    print("helper, one core: %d answers (%s)" % (len(lines), ", ".join("%s %d" % kv for kv in sorted(kinds.items()))))
    for name in ("tamsel", "floor"):
        print("  %-7s %9.0f answers/s  (%.2f us each)" % (name, len(lines) / best[name], best[name] / len(lines) * 1e6))
    print("  tamsel / floor time: %.2f" % (best["tamsel"] / best["floor"]))


def proxy_conf(folder, port, helper):
    lines = ["http_port 127.0.0.1:%d" % port, "pid_filename %s/squid.pid" % folder, "access_log none",
             "cache_log %s/cache.log" % folder, "cache_store_log none", "cache deny all",
             "shutdown_lifetime 0 seconds", "hosts_file %s/hosts" % folder, "dns_nameservers 127.0.0.1"]
    if helper:
        lines += ["external_acl_type tamsel ttl=60 negative_ttl=60 children-startup=1 concurrency=16 %%URI %s" % helper,
                  "acl tamsel_refuses external tamsel", "http_access deny tamsel_refuses"]
    return "\n".join(lines + ["http_access allow localhost", "http_access deny all"]) + "\n"


def drive(port, targets):
    """Requests per second through the proxy at `port`, and the count of each status."""
    statuses = collections.Counter()
    shares = [targets[i::CLIENTS] for i in range(CLIENTS)]

    def client(share):
        connection = http.client.HTTPConnection("127.0.0.1", port, timeout=30)
        for url in share:
            connection.request("GET", url)
            response = connection.getresponse()
            response.read()
            statuses[response.status] += 1
            if response.will_close:
                connection.close()
                connection = http.client.HTTPConnection("127.0.0.1", port, timeout=30)
        connection.close()

    threads = [threading.Thread(target=client, args=(share,)) for share in shares]
    start = time.perf_counter()
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    return len(targets) / (time.perf_counter() - start), statuses


def run_proxy(helper, hosts, targets):
    with tempfile.TemporaryDirectory(prefix="tamsel-squid-bench-") as folder:
        os.chmod(folder, 0o777)
        port = proxy_test.free_port()
        with open(os.path.join(folder, "hosts"), "w") as f:
            f.writelines("127.0.0.1 %s\n" % host for host in hosts)
        with open(os.path.join(folder, "squid.conf"), "w") as f:
            f.write(proxy_conf(folder, port, helper))
        env = dict(os.environ, XDG_CACHE_HOME=os.path.join(folder, "cache"))
        squid = subprocess.Popen(["squid", "-N", "-f", os.path.join(folder, "squid.conf")], env=env)
        try:
            if not proxy_test.wait_for_port(squid, port, 20):
                sys.exit("squid did not start")
            drive(port, targets[:200])  # the helper's list load and the first connections
            return drive(port, targets)
        finally:
            squid.terminate()
            squid.wait()


def proxy_rate(tool, lists, urls):
    backend = proxy_test.Backend()
    origin_port = backend.server_address[1]
    targets, hosts = [], set()
    for url in urls:
        parts = urllib.parse.urlsplit(url)
        if not parts.hostname:
            continue
        hosts.add(parts.hostname)
        targets.append(urllib.parse.urlunsplit(("http", "%s:%d" % (parts.hostname, origin_port), parts.path or "/",
                                                parts.query, "")))
    with tempfile.TemporaryDirectory(prefix="tamsel-no-lists-") as empty:
        os.chmod(empty, 0o755)
        helpers = {"without helper": None, "helper, no lists": "%s squid-helper --lists %s" % (tool, empty),
                   "helper, LISTS_DIR": "%s squid-helper --lists %s" % (tool, lists)}
        best = {name: (0, None) for name in helpers}
        for _ in range(REPETITIONS):
            for name, helper in helpers.items():
                rate, statuses = run_proxy(helper, sorted(hosts), targets)
                if rate > best[name][0]:
                    best[name] = (rate, statuses)
    backend.shutdown()
    print("squid, the %d requests that name a host, over %d connections:" % (len(targets), CLIENTS))
    for name, (rate, statuses) in best.items():
        counts = ", ".join("%d: %d" % kv for kv in sorted(statuses.items()))
        print("  %-18s %7.0f requests/s  %.2f of without  (%s)" % (name, rate, rate / best["without helper"][0], counts))


def main():
    tool, lists = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    requests = sys.argv[3] if len(sys.argv) > 3 else os.path.join(os.path.dirname(__file__), "..", "..", "shared",
                                                                  "bench-data", "requests.json")
    with open(requests) as f:
        urls = [r["url"] for r in json.load(f)]
    helper_rate(tool, lists, urls)
    proxy_rate(tool, lists, urls)


if __name__ == "__main__":
    main()
