"""A real Squid on loopback, asking `tamsel squid-helper` about each request.

usage: squid_proxy_test.py TAMSEL_TOOL
Exits 77 (skipped) with one line saying why when Squid is missing or cannot
start here; otherwise runs the cases with and without helper concurrency.
"""
import http.server
import os
import pwd
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

TOOL = None
SKIP = 77


class Backend(http.server.ThreadingHTTPServer):
    """The origin server every test name resolves to; it records each path it serves."""

    def __init__(self):
        self.paths = []

        class Handler(http.server.BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.1"  # the proxy keeps its connections

            def do_GET(handler):
                self.paths.append(handler.path)
                body = ("hello from %s\n" % handler.path).encode()
                handler.send_response(200)
                handler.send_header("Content-Length", str(len(body)))
                handler.end_headers()
                handler.wfile.write(body)

            def log_message(handler, *args):
                pass

        super().__init__(("127.0.0.1", 0), Handler)
        threading.Thread(target=self.serve_forever, daemon=True).start()


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def squid_conf(folder, port, lists, concurrency, tool):
    options = "ttl=1 negative_ttl=1 children-startup=1"
    if concurrency:
        options += " concurrency=%d" % concurrency
    return "\n".join([
        "http_port 127.0.0.1:%d" % port,
        "pid_filename %s/squid.pid" % folder,
        "access_log stdio:%s/access.log" % folder,
        "cache_log %s/cache.log" % folder,
        "cache_store_log none",
        "coredump_dir %s" % folder,
        "cache deny all",
        "shutdown_lifetime 0 seconds",
        # Every name the tests use is in the hosts file; no resolver is asked.
        "hosts_file %s/hosts" % folder,
        "dns_nameservers 127.0.0.1",
        "error_directory %s/errors" % folder,
        "external_acl_type tamsel %s %%URI %s squid-helper --lists %s" % (options, tool, lists),
        "acl tamsel_refuses external tamsel",
        "deny_info ERR_TAMSEL tamsel_refuses",
        "http_access deny tamsel_refuses",
        "http_access allow localhost",
        "http_access deny all",
    ]) + "\n"


def prepare(folder, port, concurrency):
    lists = os.path.join(folder, "lists")
    os.makedirs(os.path.join(folder, "cache"))
    os.makedirs(lists)
    with open(os.path.join(lists, "BlockList.txt"), "w") as f:
        f.write("ads.example.test\nwww.example.test/banner\n")
    with open(os.path.join(folder, "hosts"), "w") as f:
        f.write("127.0.0.1 ads.example.test www.example.test\n")
    shutil.copytree("/usr/share/squid/errors/templates", os.path.join(folder, "errors"))
    with open(os.path.join(folder, "errors", "ERR_TAMSEL"), "w") as f:
        f.write("<html><body><p>Refused by Tamsel: %o</p><p>%U</p></body></html>\n")
    tool = TOOL
    if os.geteuid() == 0:
        # Squid's user may not reach the build folder (a clone under /root):
        # it runs a copy of the tool from the test's own folder.
        tool = os.path.join(folder, "tamsel")
        shutil.copy2(TOOL, tool)
    with open(os.path.join(folder, "squid.conf"), "w") as f:
        f.write(squid_conf(folder, port, lists, concurrency, tool))
    if os.geteuid() == 0:
        # Squid started as root works as its default user, and so does the helper.
        user = pwd.getpwnam("proxy" if "proxy" in [p.pw_name for p in pwd.getpwall()] else "nobody")
        for root, dirs, files in os.walk(folder):
            for name in [root] + [os.path.join(root, n) for n in dirs + files]:
                os.chown(name, user.pw_uid, user.pw_gid)
    return lists


def wait_for_port(process, port, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if process.poll() is not None:
            return False
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=0.5):
                return True
        except OSError:
            time.sleep(0.1)
    return False


class Proxy:
    def __init__(self, concurrency):
        self.folder = tempfile.mkdtemp(prefix="tamsel-squid-")
        os.chmod(self.folder, 0o755)
        self.port = free_port()
        self.lists = prepare(self.folder, self.port, concurrency)
        env = dict(os.environ, XDG_CACHE_HOME=os.path.join(self.folder, "cache"))
        self.process = subprocess.Popen(["squid", "-N", "-f", os.path.join(self.folder, "squid.conf")],
                                        stdout=subprocess.PIPE, stderr=subprocess.STDOUT, env=env)
        if not wait_for_port(self.process, self.port, 20):
            why = self.stop()
            raise RuntimeError(why.strip().splitlines()[-1] if why.strip() else "no answer on its port")

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
        try:
            output = self.process.communicate(timeout=20)[0].decode(errors="replace")
        except subprocess.TimeoutExpired:
            self.process.kill()
            output = self.process.communicate()[0].decode(errors="replace")
        log = os.path.join(self.folder, "cache.log")
        if os.path.exists(log):
            with open(log, errors="replace") as f:
                output += f.read()
        shutil.rmtree(self.folder, ignore_errors=True)
        return output

    def curl(self, url, *options):
        """(status, body) of `url` fetched through the proxy; for a tunnel the status is the CONNECT's."""
        tunnel = "-p" in options
        run = subprocess.run(["curl", "-s", "--max-time", "10", "-x", "http://127.0.0.1:%d" % self.port,
                              "-w", "\n%{http_connect}" if tunnel else "\n%{http_code}", *options, url],
                             capture_output=True, text=True, errors="replace")
        body, _, status = run.stdout.rpartition("\n")
        return int(status or 0), body

    def write_list(self, name, text):
        path = os.path.join(self.lists, name)
        with open(path + ".new", "w") as f:
            f.write(text)
        os.replace(path + ".new", path)
        os.chmod(path, 0o644)


class SquidWithHelper:
    """The cases, against a proxy whose helper runs with CONCURRENCY."""
    CONCURRENCY = 0

    @classmethod
    def setUpClass(cls):
        cls.backend = Backend()
        cls.proxy = Proxy(cls.CONCURRENCY)
        cls.origin = "www.example.test:%d" % cls.backend.server_address[1]
        cls.ads = "ads.example.test:%d" % cls.backend.server_address[1]

    @classmethod
    def tearDownClass(cls):
        cls.proxy.stop()
        cls.backend.shutdown()
        cls.backend.server_close()

    def test_an_advertisement_gets_the_error_page_naming_the_deciding_line(self):
        lists = self.proxy.lists
        status, body = self.proxy.curl("http://%s/pixel.gif" % self.ads)
        self.assertEqual(status, 403)
        self.assertIn("Refused by Tamsel: refused by %s/BlockList.txt:1 ads.example.test" % lists, body)
        status, body = self.proxy.curl("http://%s/banner/top.gif" % self.origin)
        self.assertEqual(status, 403)
        self.assertIn("refused by %s/BlockList.txt:2 www.example.test/banner" % lists, body)
        self.assertNotIn("/pixel.gif", self.backend.paths)
        self.assertNotIn("/banner/top.gif", self.backend.paths)

    def test_an_ordinary_request_arrives(self):
        status, body = self.proxy.curl("http://%s/news/today.html?x=%%41" % self.origin)
        self.assertEqual((status, body), (200, "hello from /news/today.html?x=%41\n"))
        self.assertIn("/news/today.html?x=%41", self.backend.paths)

    def test_a_tunnel_to_a_wholly_refused_name_is_refused(self):
        status, _ = self.proxy.curl("https://ads.example.test:443/", "-p")
        self.assertEqual(status, 403)
        # A name refused on some paths only keeps its tunnels.
        status, body = self.proxy.curl("http://%s/tunnelled" % self.origin, "-p")
        self.assertEqual((status, body), (200, "hello from /tunnelled\n"))

    def test_a_list_change_takes_effect_within_two_seconds(self):
        url = "http://%s/later.html" % self.origin
        self.assertEqual(self.proxy.curl(url)[0], 200)
        time.sleep(1.1)  # past the file's time stamp and the proxy's one-second cache
        self.proxy.write_list("UserBlock.txt", "www.example.test/later\n")
        try:
            self.assertLess(self.seconds_until(url, 403), 2.5)
        finally:
            self.proxy.write_list("UserBlock.txt", "\n")
        self.assertLess(self.seconds_until(url, 200), 2.5)

    def seconds_until(self, url, wanted):
        start = time.monotonic()
        while self.proxy.curl(url)[0] != wanted:
            if time.monotonic() - start > 10:
                self.fail("%s never answered %d" % (url, wanted))
            time.sleep(0.1)
        took = time.monotonic() - start
        print("\n%s answered %d after %.2f s" % (url, wanted, took), file=sys.stderr)
        return took


class SquidWithPlainHelper(SquidWithHelper, unittest.TestCase):
    CONCURRENCY = 0


class SquidWithConcurrentHelper(SquidWithHelper, unittest.TestCase):
    CONCURRENCY = 4


def main():
    global TOOL
    TOOL = os.path.abspath(sys.argv[1])
    if shutil.which("squid") is None or shutil.which("curl") is None:
        print("SKIP: squid or curl is not installed (scripts/setup.sh installs both)")
        return SKIP
    try:
        Proxy(0).stop()
    except RuntimeError as error:
        print("SKIP: squid cannot start here: %s" % error)
        return SKIP
    result = unittest.main(argv=sys.argv[:1], exit=False, verbosity=2).result
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
