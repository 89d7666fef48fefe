#!/usr/bin/env bash
# Tamsel against two established filter engines on the same requests.
#
# Fetches the two general adblock-style lists from Debian's browser-extension
# package (downloaded and unpacked, nothing installed), installs the two
# peer engines at the versions pinned in package-lock.json, imports the
# lists with `tamsel import` into a scratch folder beside the shipped list,
# and judges every request of the corpus with each engine, three
# repetitions interleaved. Prints median and p99 per request, load time and
# list memory of each engine, and Tamsel's ratios to the peers.
#
# usage: bash bench/peers/run.sh [REQUESTS.json]
# Environment: BUILD_DIR (default build/release, a release build as the
# package makes it) for the tamsel tool and judge_each; REPETITIONS
# (default 3); RESULTS, a file to keep every repetition's JSON lines in.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
requests=${1:-$repo/../shared/bench-data/requests.json}
build=${BUILD_DIR:-$repo/build/release}
repetitions=${REPETITIONS:-3}
package=webext-ublock-origin-firefox  # carries the lists under assets/thirdparties/easylist/

for tool in node npm apt-get dpkg-deb cmake; do
  command -v "$tool" >/dev/null || { echo "run.sh: $tool is missing (apt-get install nodejs npm cmake)" >&2; exit 1; }
done
[ -r "$requests" ] || { echo "run.sh: cannot read $requests" >&2; exit 1; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

echo "== building tamsel and judge_each in $build" >&2
# Measured as it ships: the package's build type, without the tests.
[ -f "$build/CMakeCache.txt" ] ||
  cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release -DTAMSEL_BUILD_TESTS=OFF >/dev/null
nice -n 10 cmake --build "$build" -j2 --target tamsel judge_each >/dev/null

echo "== fetching the lists from Debian's $package" >&2
(cd "$scratch" && apt-get download "$package" >/dev/null 2>&1) ||
  { echo "run.sh: apt-get download $package failed" >&2; exit 1; }
dpkg-deb -x "$scratch"/"$package"_*.deb "$scratch/deb"
easylist=$(find "$scratch/deb" -path '*/assets/thirdparties/easylist/easylist.txt' | head -n 1)
easyprivacy=$(find "$scratch/deb" -path '*/assets/thirdparties/easylist/easyprivacy.txt' | head -n 1)
[ -n "$easylist" ] && [ -n "$easyprivacy" ] || { echo "run.sh: the package holds no easylist folder" >&2; exit 1; }

echo "== installing the peer engines" >&2
(cd "$here" && npm ci --no-audit --no-fund --loglevel=error >/dev/null)

echo "== importing the lists" >&2
mkdir -p "$scratch/shipped" "$scratch/imported" "$scratch/cache"
cp "$repo/lists/BlockList.txt" "$scratch/shipped/"
cp "$repo/lists/BlockList.txt" "$scratch/imported/"
"$build/out/tamsel" import --lists "$scratch/imported" "$easylist" "$easyprivacy" >&2

node -e 'for (const r of JSON.parse(require("fs").readFileSync(process.argv[1], "utf8"))) console.log(r.url)' \
  "$requests" >"$scratch/urls.txt"

# The module loads lists through snapshots in the cache folder; the first
# load writes the snapshot, the repetitions read it.
"$build/out/judge_each" --cache "$scratch/cache" "$scratch/imported" "$scratch/urls.txt" >/dev/null

results="$scratch/results.jsonl"
label() { sed "s/^{/{\"label\":\"$1\",/"; }
for rep in $(seq "$repetitions"); do
  echo "== repetition $rep of $repetitions" >&2
  "$build/out/judge_each" "$scratch/imported" "$scratch/urls.txt" | label tamsel-imported >>"$results"
  "$build/out/judge_each" --cache "$scratch/cache" "$scratch/imported" "$scratch/urls.txt" |
    label tamsel-snapshot >>"$results"
  node --expose-gc "$here/peer_engine.mjs" ghostery "$requests" "$easylist" "$easyprivacy" | label ghostery >>"$results"
  node --expose-gc "$here/peer_engine.mjs" ubo "$requests" "$easylist" "$easyprivacy" | label ubo >>"$results"
  "$build/out/judge_each" "$scratch/shipped" "$scratch/urls.txt" | label tamsel-shipped >>"$results"
done
[ -z "${RESULTS:-}" ] || cp "$results" "$RESULTS"
node "$here/table.mjs" "$results"
