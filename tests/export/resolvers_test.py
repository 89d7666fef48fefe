#!/usr/bin/env python3
"""The exported names loaded into real resolvers on loopback ports and asked
over DNS with dig: Unbound once with the include of local-zone lines and once
with the response-policy zone, and dnsmasq with its lines in front of an
Unbound without any. Every name the test asks has an address in a zone
Unbound serves itself, and anything else is forwarded to a closed loopback
port, so nothing leaves the machine and a refusal can only come from the
export. Exits 77 (skipped) only when Unbound cannot start here; the dnsmasq
part alone is skipped, with a line saying why, where dnsmasq cannot start."""
import getpass
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time

SKIP = 77

BLOCK = """tracker.test
*.wild.test
mixed.test
kept.test
~kept.test/ok/
ads.test/banner/
"""
TRUST = "good.mixed.test\n"

# Every name asked, each answering 127.0.0.N unless the export refuses it.
NAMES = ["ordinary.test", "tracker.test", "a.tracker.test", "b.a.tracker.test", "wild.test", "x.wild.test",
         "mixed.test", "good.mixed.test", "kept.test", "x.kept.test", "ads.test"]

REFUSED = {
    "unbound": {"tracker.test", "a.tracker.test", "b.a.tracker.test"},
    "rpz": {"tracker.test", "a.tracker.test", "b.a.tracker.test", "x.wild.test", "mixed.test"},
    "dnsmasq": {"tracker.test", "a.tracker.test", "b.a.tracker.test"},
    # A hosts file names each name alone: the names below answer as before.
    "hosts": {"tracker.test", "mixed.test"},
}

# What a refused name answers: no such name, or the null address of a hosts file.
REFUSAL = {"hosts": "0.0.0.0"}


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as udp, socket.socket() as tcp:
        for _ in range(20):
            udp.bind(("127.0.0.1", 0))
            port = udp.getsockname()[1]
            try:
                tcp.bind(("127.0.0.1", port))
                return port
            except OSError:
                udp.close()
                udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    raise RuntimeError("no free loopback port")


def config(folder, port, form, exported):
    with open(os.path.join(folder, "test.zone"), "w") as zone:
        zone.write("$TTL 60\n@ IN SOA localhost. root.localhost. 1 3600 600 86400 60\n@ IN NS localhost.\n")
        zone.writelines(f"{name}. IN A 127.0.0.{i + 2}\n" for i, name in enumerate(NAMES))
    lines = [
        "server:",
        '  username: ""', '  chroot: ""', f'  directory: "{folder}"', f'  pidfile: "{folder}/unbound.pid"',
        "  do-daemonize: no", "  use-syslog: no", '  logfile: ""', "  verbosity: 1",
        f"  interface: 127.0.0.1@{port}", f"  port: {port}", "  do-ip6: no",
        "  access-control: 127.0.0.0/8 allow", "  do-not-query-localhost: no",
        # "test." is one of the names Unbound answers "no such name" for by default.
        '  local-zone: "test." nodefault',
        '  module-config: "respip iterator"' if form == "rpz" else '  module-config: "iterator"',
    ]
    if form == "unbound":
        lines.append(f'  include: "{exported}"')
    elif form == "rpz":
        lines += ["rpz:", '  name: "rpz.tamsel."', f'  zonefile: "{exported}"']
    lines += ["auth-zone:", '  name: "test."', f'  zonefile: "{folder}/test.zone"', "  fallback-enabled: no",
              # Whatever is not ours goes to a loopback port nobody serves.
              "forward-zone:", '  name: "."', "  forward-addr: 127.0.0.1@9",
              "remote-control:", "  control-enable: no"]
    return "\n".join(lines) + "\n"


def ask(port, name):
    out = subprocess.run(["dig", "@127.0.0.1", "-p", str(port), "+tries=1", "+time=2", name, "A"],
                         capture_output=True, text=True, timeout=10).stdout
    if "status: NXDOMAIN" in out:
        return "NXDOMAIN"
    for line in out.splitlines():
        if line.startswith(name + ".") and "\tA\t" in line:
            return line.split()[-1]
    return "no answer: " + out


def wait_until_answering(server, port):
    deadline = time.time() + 10
    while time.time() < deadline:
        if server.poll() is not None:
            return "it exited with " + str(server.returncode) + ": " + server.stderr.read().strip()
        if ask(port, "ordinary.test") == "127.0.0.2":
            return None
        time.sleep(0.2)
    return "no answer on 127.0.0.1 within 10 s"


class Engine:
    def __enter__(self):
        return self

    def __exit__(self, *_):
        if self.process.poll() is None:
            self.process.terminate()
        self.process.wait(timeout=10)


class Unbound(Engine):
    """Unbound in the foreground on a free loopback port, with one form of the export."""

    def __init__(self, folder, form, exported=None):
        self.port = free_port()
        conf = os.path.join(folder, form + ".conf")
        with open(conf, "w") as f:
            f.write(config(folder, self.port, form, exported))
        self.process = subprocess.Popen(["unbound", "-d", "-c", conf], stdout=subprocess.DEVNULL,
                                        stderr=subprocess.PIPE, text=True)
        self.problem = wait_until_answering(self.process, self.port)


class Dnsmasq(Engine):
    """dnsmasq in the foreground on a free loopback port, asking `upstream` for what it does not refuse."""

    def __init__(self, upstream, exported=None, option="--conf-file"):
        self.port = free_port()
        command = ["dnsmasq", "--keep-in-foreground", f"--port={self.port}", "--listen-address=127.0.0.1",
                   "--bind-interfaces", "--no-resolv", "--no-hosts", f"--server=127.0.0.1#{upstream}",
                   "--pid-file=", f"--user={getpass.getuser()}", "--cache-size=0"]
        if exported is not None:
            command.append(f"{option}={exported}")
        self.process = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        self.problem = wait_until_answering(self.process, self.port)


def run_form(tool, folder, form, start):
    exported = os.path.join(folder, "tamsel." + form)
    export = subprocess.run([tool, "export", "--format", form, "--lists", folder, "--output", exported],
                            capture_output=True, text=True)
    if export.returncode != 0:
        return [f"{form}: tamsel export failed: {export.stderr}"]
    with start(exported) as server:
        if server.problem is not None:
            return [f"{form}: the resolver does not start with the export: {server.problem}"]
        failures = []
        for i, name in enumerate(NAMES):
            want = REFUSAL.get(form, "NXDOMAIN") if name in REFUSED[form] else f"127.0.0.{i + 2}"
            got = ask(server.port, name)
            print(f"{form}: {name} -> {got}")
            if got != want:
                failures.append(f"{form}: {name}: wanted {want}, got {got}")
        return failures


def run_dnsmasq(tool, folder, upstream):
    if shutil.which("dnsmasq") is None:
        print("SKIP (dnsmasq part): dnsmasq cannot start: it is not installed")
        return []
    # Whether it starts here at all, before it meets an export.
    with Dnsmasq(upstream) as server:
        if server.problem is not None:
            print(f"SKIP (dnsmasq part): dnsmasq cannot start: {server.problem}")
            return []
    return run_form(tool, folder, "dnsmasq", lambda exported: Dnsmasq(upstream, exported)) + \
        run_form(tool, folder, "hosts", lambda exported: Dnsmasq(upstream, exported, "--addn-hosts"))


def main():
    tool = sys.argv[1]
    for program in ("unbound", "dig"):
        if shutil.which(program) is None:
            print(f"SKIP: unbound cannot start: {program} is not installed (scripts/setup.sh installs it)")
            return SKIP
    with tempfile.TemporaryDirectory(prefix="tamsel-resolvers-") as folder:
        for name, text in (("BlockList.txt", BLOCK), ("UserTrust.txt", TRUST), ("UserBlock.txt", "")):
            with open(os.path.join(folder, name), "w") as f:
                f.write(text)
        # Whether the engine starts here at all, before it meets an export;
        # kept running as the upstream dnsmasq asks.
        with Unbound(folder, "plain") as plain:
            if plain.problem is not None:
                print(f"SKIP: unbound cannot start: {plain.problem}")
                return SKIP
            failures = run_form(tool, folder, "unbound", lambda exported: Unbound(folder, "unbound", exported))
            failures += run_form(tool, folder, "rpz", lambda exported: Unbound(folder, "rpz", exported))
            failures += run_dnsmasq(tool, folder, plain.port)
    for failure in failures:
        print("FAIL: " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
