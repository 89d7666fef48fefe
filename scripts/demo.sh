#!/usr/bin/env bash
# Sets up the machine, builds Tamsel and shows the request filter at work on
# the shipped BlockList.txt: real programs, run under `tamsel run`, talk to a
# small HTTP server on 127.0.0.1. An advertising request is refused before a
# byte of it leaves the program; an ordinary one passes.
#
# Exit status 0 when every request behaved as expected, 1 otherwise.
# TAMSEL_BUILD_DIR picks another build folder (default build/linux).
set -euo pipefail
cd "$(dirname "$0")/.."

build=${TAMSEL_BUILD_DIR:-build/linux}

# Runs a build step quietly; shows its whole output only when it fails.
quiet() {
  local log; log=$(mktemp)
  if ! "$@" >"$log" 2>&1; then
    cat "$log" >&2
    rm -f "$log"
    return 1
  fi
  rm -f "$log"
}

# Builds the tool, the module and the list, printing one line per compiled
# source ("[ 42%] patterns/matcher.cpp") so a long first build shows progress.
build_with_progress() {
  local log; log=$(mktemp)
  local status=0
  cmake --build "$build" -j"$(nproc)" --target tamsel tamsel_preload shipped_block_list 2>&1 \
    | tee "$log" \
    | sed -nu -E -e 's#^(\[ *[0-9]+%\]) Building CX* object (.*/)?CMakeFiles/[^/]*\.dir/(.*)\.o$#   \1 \2\3#p' \
                 -e 's#^(\[ *[0-9]+%\]) Linking .* ([^ ]*/)?([^ /]+)$#   \1 linking \3#p' \
    || status=$?
  if [ "$status" -ne 0 ]; then
    echo "demo: the build failed; its output:" >&2
    cat "$log" >&2
  fi
  rm -f "$log"
  return "$status"
}

echo "== Setting up ($build)"
echo "-- checking the packages the build needs"
quiet bash scripts/setup.sh
echo "-- configuring with CMake"
quiet cmake --preset linux -B "$build"
echo "-- building the tool, the module and the shipped list on $(nproc) cores (the first build takes a minute or two)"
build_with_progress
echo "-- build done"
tamsel=$build/out/tamsel

work=$(mktemp -d)
server_pid=
cleanup() {
  if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

# The server says what reaches it: a request line, or a connection that
# closed without one byte.
python3 -u - "$work/port" >"$work/server.log" 2>&1 <<'PYTHON' &
import socketserver, sys

class Handler(socketserver.BaseRequestHandler):
    def handle(self):
        data = b""
        while b"\r\n\r\n" not in data:
            chunk = self.request.recv(4096)
            if not chunk:
                break
            data += chunk
        if not data:
            print("server: a connection closed without sending a single byte", flush=True)
            return
        lines = data.decode("latin-1").split("\r\n")
        host = next((l[5:].strip() for l in lines if l.lower().startswith("host:")), "?")
        print("server: received %s (Host: %s)" % (lines[0], host), flush=True)
        body = b"Hello from the demo server: an ordinary page.\n"
        self.request.sendall(b"HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: %d\r\n"
                             b"Connection: close\r\n\r\n%s" % (len(body), body))

socketserver.TCPServer.allow_reuse_address = True
with socketserver.ThreadingTCPServer(("127.0.0.1", 0), Handler) as server:
    with open(sys.argv[1] + ".tmp", "w") as f:
        f.write(str(server.server_address[1]))
    import os
    os.rename(sys.argv[1] + ".tmp", sys.argv[1])
    server.serve_forever()
PYTHON
server_pid=$!
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.05; done
if [ ! -s "$work/port" ]; then
  echo "demo: the test server did not start:" >&2
  cat "$work/server.log" >&2
  exit 1
fi
port=$(cat "$work/port")
# A settings folder of the demo's own: a stored "tamsel allow on" must not
# change what it shows.
export XDG_CONFIG_HOME=$work/config

failures=0
server_lines=0
# Runs one program under the filter and reports what it and the server saw.
#   expect: "refused" or "passed"; path: the request path the server would log
try() {
  local expect=$1 what=$2 path=$3; shift 3
  echo
  echo "== $what"
  echo "\$ tamsel run -- $(printf '%q ' "$@")"
  local status=0
  "$tamsel" run -- "$@" || status=$?
  sleep 0.3   # let the server print what it got
  local log; log=$(tail -n +"$((server_lines + 1))" "$work/server.log")
  server_lines=$(wc -l <"$work/server.log")
  [ -n "$log" ] && echo "$log"
  local arrived=no
  grep -qF " $path HTTP/" <<<"$log" && arrived=yes
  if [ "$expect" = refused ] && [ $status -ne 0 ] && [ $arrived = no ]; then
    echo "-> ok: refused (exit status $status), the server received nothing of it"
  elif [ "$expect" = passed ] && [ $status -eq 0 ] && [ $arrived = yes ]; then
    echo "-> ok: passed, the server answered"
  else
    echo "-> UNEXPECTED: wanted $expect, got exit status $status, request arrived: $arrived"
    failures=$((failures + 1))
  fi
}

url=http://127.0.0.1:$port
echo
echo "== The shipped list claims the advertising host:"
"$tamsel" check http://ad.doubleclick.net/ddm/ad.js http://127.0.0.1/index.html

try refused "curl asks an ad server for a script" /ddm/ad.js \
  curl -sS -H "Host: ad.doubleclick.net" "$url/ddm/ad.js"
try passed "curl asks for an ordinary page" /index.html \
  curl -sS "$url/index.html"
# A Python program of the ordinary kind: the standard library's HTTP client.
cat >"$work/fetch.py" <<'PYTHON'
import sys, urllib.request
url, host = sys.argv[1], sys.argv[2]
try:
    print(urllib.request.urlopen(urllib.request.Request(url, headers={"Host": host})).read().decode(), end="")
except OSError as error:
    sys.exit("fetch.py: %s" % getattr(error, "reason", error))
PYTHON
try refused "python3 (urllib) asks an analytics host for a script" /analytics.js \
  python3 "$work/fetch.py" "$url/analytics.js" www.google-analytics.com

echo
if [ $failures -eq 0 ]; then
  echo "== Summary: all 3 requests behaved as expected: 2 advertising requests refused, 1 ordinary request passed."
else
  echo "== Summary: $failures of 3 requests did not behave as expected." >&2
  exit 1
fi
