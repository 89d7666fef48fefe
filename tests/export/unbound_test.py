#!/usr/bin/env python3
"""The exported names loaded into a real Unbound on a loopback port, once as
an include of local-zone lines and once as a response-policy zone, and asked
over DNS with dig. Every name the test asks has an address in a zone Unbound
serves itself, and anything else is forwarded to a closed loopback port, so
nothing leaves the machine and a refusal can only come from the export.
Exits 77 (skipped) only when Unbound cannot start here."""
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
}


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


class Server:
    """Unbound in the foreground on a free loopback port, with one form of the export."""

    def __init__(self, folder, form, exported=None):
        self.port = free_port()
        conf = os.path.join(folder, form + ".conf")
        with open(conf, "w") as f:
            f.write(config(folder, self.port, form, exported))
        self.process = subprocess.Popen(["unbound", "-d", "-c", conf], stdout=subprocess.DEVNULL,
                                        stderr=subprocess.PIPE, text=True)
        self.problem = wait_until_answering(self.process, self.port)

    def __enter__(self):
        return self

    def __exit__(self, *_):
        if self.process.poll() is None:
            self.process.terminate()
        self.process.wait(timeout=10)


def run_form(tool, folder, form):
    exported = os.path.join(folder, "tamsel." + form)
    export = subprocess.run([tool, "export", "--format", form, "--lists", folder, "--output", exported],
                            capture_output=True, text=True)
    if export.returncode != 0:
        return [f"{form}: tamsel export failed: {export.stderr}"]
    with Server(folder, form, exported) as server:
        if server.problem is not None:
            return [f"{form}: unbound does not start with the export: {server.problem}"]
        failures = []
        for i, name in enumerate(NAMES):
            want = "NXDOMAIN" if name in REFUSED[form] else f"127.0.0.{i + 2}"
            got = ask(server.port, name)
            print(f"{form}: {name} -> {got}")
            if got != want:
                failures.append(f"{form}: {name}: wanted {want}, got {got}")
        return failures


def main():
    tool = sys.argv[1]
    for program in ("unbound", "dig"):
        if shutil.which(program) is None:
            print(f"SKIP: unbound cannot start: {program} is not installed (scripts/setup.sh installs it)")
            return SKIP
    with tempfile.TemporaryDirectory(prefix="tamsel-unbound-") as folder:
        for name, text in (("BlockList.txt", BLOCK), ("UserTrust.txt", TRUST), ("UserBlock.txt", "")):
            with open(os.path.join(folder, name), "w") as f:
                f.write(text)
        # Whether the engine starts here at all, before it meets an export.
        with Server(folder, "plain") as server:
            if server.problem is not None:
                print(f"SKIP: unbound cannot start: {server.problem}")
                return SKIP
        failures = run_form(tool, folder, "unbound") + run_form(tool, folder, "rpz")
    for failure in failures:
        print("FAIL: " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
