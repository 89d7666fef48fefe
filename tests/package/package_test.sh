#!/usr/bin/env bash
# Builds the Debian package, installs it on this machine, and uses it as an
# ordinary user made for the test: check, list black add, import of a hosts
# file, and run curl against a loopback server. Then the installed tool must
# fail clearly without its module, and removing the package must leave the
# user's lists in place. The package, the user and the server are removed
# whatever happens. Needs root (or sudo without a password); skipped
# otherwise.
# usage: package_test.sh SOURCE_DIR BUILD_DIR
set -uo pipefail
source_dir=$1 build=$2
skip() { echo "SKIPPED: $*"; exit 77; }

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  sudo -n true 2>/dev/null || skip "the package test installs a package and makes a user: run it as root or with sudo that needs no password"
  as_root=(sudo -n)
fi
root() { "${as_root[@]}" "$@"; }
command -v dpkg >/dev/null && command -v apt-get >/dev/null || skip "not a Debian system (no dpkg or apt-get)"
if dpkg-query -W -f='${Status}' tamsel 2>/dev/null | grep -q installed; then
  skip "a tamsel package is installed already; the test will not replace it"
fi

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
user=tamsel-pkg-test-$$
work=$(mktemp -d)
chmod 755 "$work"
server_pid=""
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null
  root dpkg --purge tamsel >/dev/null 2>&1
  id "$user" >/dev/null 2>&1 && root userdel -r "$user" 2>/dev/null
  root rm -rf "$work"
}
trap cleanup EXIT

echo "=== building the package"
deb=$(bash "$source_dir/scripts/package.sh" "$build" | tail -n 1) || { echo "FAIL: the package did not build"; exit 1; }
echo "$deb"
dpkg-deb -f "$deb" Depends

echo "=== installing it"
root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >"$work/apt.log" 2>&1 ||
  { cat "$work/apt.log"; echo "FAIL: the package did not install"; exit 1; }
for file in /usr/bin/tamsel /usr/lib/tamsel/libtamsel.so /usr/share/tamsel/BlockList.txt \
            /usr/share/man/man1/tamsel.1 /usr/share/bash-completion/completions/tamsel /usr/share/doc/tamsel/README.md; do
  [ -f "$file" ] || fail "$file is not installed"
done
warnings=$(man --warnings -l /usr/share/man/man1/tamsel.1 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "the manual page renders with warnings: $warnings"

root useradd -m "$user" || { echo "FAIL: cannot make the user $user"; exit 1; }
home=$(getent passwd "$user" | cut -d: -f6)
# As the user, with a plain login environment.
as_user() { root runuser -u "$user" -- env -i HOME="$home" PATH=/usr/bin:/bin LANG=C.UTF-8 "$@"; }

# A loopback server that answers every GET with "ok" and writes down each path.
cat >"$work/server.py" <<'PY'
import http.server, sys
class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        with open(sys.argv[1] + "/paths", "a") as log:
            log.write(self.path + "\n")
        self.send_response(200)
        self.send_header("Content-Length", "2")
        self.end_headers()
        self.wfile.write(b"ok")
    def log_message(self, *args):
        pass
server = http.server.HTTPServer(("127.0.0.1", 0), Handler)
with open(sys.argv[1] + "/port", "w") as f:
    f.write(str(server.server_port))
server.serve_forever()
PY
python3 "$work/server.py" "$work" &
server_pid=$!
for _ in $(seq 50); do [ -s "$work/port" ] && break; sleep 0.1; done
port=$(cat "$work/port")
url=http://127.0.0.1:$port

echo "=== using it as $user"
out=$(as_user tamsel check http://ad.doubleclick.net/x.gif)
echo "$out"
[[ $out == "refused at lookup "*"/usr/share/tamsel/BlockList.txt:"* ]] || fail "check does not refuse by the shipped list"
as_user tamsel list black add /mine/ || fail "list black add failed"
printf '127.0.0.1 localhost\n0.0.0.0 imported.invalid\n' >"$work/hosts"
chmod 644 "$work/hosts"
as_user tamsel import "$work/hosts" || fail "import failed"
out=$(as_user tamsel check http://imported.invalid/)
echo "$out"
[[ $out == "refused at lookup "*"$home/.config/tamsel/UserBlock.txt:"* ]] || fail "check does not refuse by the import"
[ "$(stat -c %a "$home/.config/tamsel")" = 700 ] || fail "the user's folder is not mode 0700"

fetch() { as_user tamsel run curl -s --max-time 10 "$@"; }
[ "$(fetch "$url/page.html")" = ok ] || fail "an ordinary request did not pass"
fetch "$url/adserver/banner.gif" && fail "the shipped list's path rule did not refuse"
fetch "$url/mine/x.gif" && fail "the user's block line did not refuse"
fetch --resolve "imported.invalid:$port:127.0.0.1" "http://imported.invalid:$port/x" && fail "the imported host was not refused"
echo "server saw:"; cat "$work/paths"
grep -qx /page.html "$work/paths" || fail "the server did not see the ordinary request"
grep -q -e adserver -e mine -e '^/x$' "$work/paths" && fail "a refused request reached the server"

echo "=== the installed tool without its module"
root mv /usr/lib/tamsel/libtamsel.so "$work/libtamsel.so"
out=$(as_user tamsel run true 2>&1)
status=$?
echo "$out"
[ "$status" -eq 1 ] || fail "tamsel run without the module exits $status, not 1"
[[ $out == *"cannot find the filter module libtamsel.so at /usr/lib/tamsel/libtamsel.so"* ]] ||
  fail "tamsel run without the module does not say so"
root mv "$work/libtamsel.so" /usr/lib/tamsel/libtamsel.so

echo "=== removing it"
root env DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq tamsel >"$work/apt.log" 2>&1 || fail "the package did not remove"
[ -e /usr/bin/tamsel ] && fail "/usr/bin/tamsel is still there"
[ -e /usr/share/tamsel/BlockList.txt ] && fail "the shipped list is still there"
root grep -q '^/mine/' "$home/.config/tamsel/UserBlock.txt" || fail "the user's own line went with the package"
root grep -q imported.invalid "$home/.config/tamsel/UserBlock.txt" || fail "the user's import went with the package"

if [ "$failures" -gt 0 ]; then
  echo "$failures checks failed"
  exit 1
fi
echo "the package installs, filters for an ordinary user and removes cleanly"
