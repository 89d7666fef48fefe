#!/usr/bin/env bash
# Runs the libFuzzer harnesses for real: each for SECONDS (default 60), one
# after the other, with a 1 s limit per input and 256 MB of memory.
#
#   scripts/fuzz.sh [SECONDS] [HARNESS...]     (no harness: all of them)
#
# Each run starts from the seed corpus and the saved fault inputs and grows a
# working corpus in build/fuzz/work/<harness>/ (kept between runs). An input
# that finds a fault lands in build/fuzz/findings/<harness>/; copy it into
# fuzz/regressions/<harness>/ once it is understood, so every later test run
# replays it. Prints per harness: executions, coverage, corpus size, findings.
# Exit status 1 when any harness found something.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true
all=(inspect_request request_url list_load settings_file registry_script list_text
     list_import path_shortcut_diff host_index_diff list_snapshot)
harnesses=("${@:-${all[@]}}")

echo "== building the harnesses (preset fuzz)"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$(nproc)" >/dev/null

# Prints "executions coverage features corpus" from a libFuzzer log's last
# status line ("#1234 DONE cov: 56 ft: 78 corp: 9/10b ...").
last_status() {
  grep -E '^#[0-9]+' "$1" | tail -n 1 |
    sed -E 's/^#([0-9]+).*cov: ([0-9]+) ft: ([0-9]+) corp: ([0-9]+).*/\1 \2 \3 \4/'
}

found_any=0
summary=()
for h in "${harnesses[@]}"; do
  [ -d "fuzz/corpus/$h" ] || { echo "fuzz.sh: no harness named $h" >&2; exit 2; }
  work=build/fuzz/work/$h findings=build/fuzz/findings/$h
  mkdir -p "$work" "$findings"
  seeds=(fuzz/corpus/"$h")
  [ -d "fuzz/regressions/$h" ] && seeds+=(fuzz/regressions/"$h")
  echo "== $h: ${seconds} s"
  touch "$work.start"
  status=0
  # The sanitizer keeps up to 256 MB of freed memory by default to catch
  # use after free; that alone would pass the 256 MB limit, which is meant
  # for the harness's own memory.
  ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=16} \
  build/fuzz/out/fuzz_"$h" -max_total_time="$seconds" -timeout=1 -rss_limit_mb=256 \
    -artifact_prefix="$findings/" -print_final_stats=1 "$work" "${seeds[@]}" >"$work.log" 2>&1 || status=$?
  read -r execs cov ft corp <<<"$(last_status "$work.log")" || true
  found=$(find "$findings" -type f -newer "$work.start" 2>/dev/null | wc -l)
  line="$h: ${execs:-?} executions, coverage ${cov:-?} edges (${ft:-?} features), corpus ${corp:-?} inputs, findings $found"
  if [ "$status" -ne 0 ]; then
    found_any=1
    line+=" -> FAULT (exit $status): $(grep -m1 -E 'ERROR|fuzz check failed|SUMMARY' "$work.log" || true)"
    line+="; input in $findings/, log in $work.log"
  fi
  echo "$line"
  summary+=("$line")
done
echo
echo "== summary"
printf '%s\n' "${summary[@]}"
exit "$found_any"
