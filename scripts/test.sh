#!/usr/bin/env bash
# Sets up the machine and runs every test suite: the two Windows builds
# under Wine of their bitness (with a virtual display for the dialogs), the
# fuzz harnesses over their saved inputs, the core under ThreadSanitizer and
# AddressSanitizer, and the native build. The last line counts the tests that
# ran and those skipped, in all and suite by suite.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

# A machine that ran the suites before rebuilds only what changed.
export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache CCACHE_BASEDIR="$PWD"

jobs=$(nproc)
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT
run_preset() {
  local preset=$1; shift
  echo "=== $preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$jobs"
  echo "=== $preset: test"
  "$@" ctest --preset "$preset" -j"$jobs" | tee "$logs/$preset.log"
}

# Windows tests run one Wine program each; dialogs need a display. 64-bit
# Wine runs on every x86_64 machine. Where the kernel cannot run 32-bit
# programs the 32-bit build is still made, and ctest reports each of its test
# programs as skipped.
windows="win32 and win64 ran under Wine"
if ! reason=$(cmake/wine-run.sh --bits 32 --probe); then
  echo "=== win32: $reason"
  windows="win64 ran under 64-bit Wine; win32 was built, its tests skipped (no 32-bit programs run here)"
fi
display=(xvfb-run -a -s "-screen 0 1024x768x24")
run_preset win32 "${display[@]}"
run_preset win64 "${display[@]}"
# Each harness replays its seed corpus and every input that once found a
# fault; scripts/fuzz.sh is the long run.
run_preset fuzz
# The sanitizers check the core and the concurrency of the shared lists.
# A child forked while the list supply's re-read thread is still ending starts
# a thread of its own; ThreadSanitizer kills such a child unless told not to.
TSAN_OPTIONS="halt_on_error=1 die_after_fork=0" run_preset linux-tsan
run_preset linux-asan
run_preset linux

awk -v windows="$windows" '
  FNR == 1 { suite = FILENAME; sub(/.*\//, "", suite); sub(/\.log$/, "", suite); order[++suites] = suite }
  / tests failed out of / { ran[suite] = $NF; total += $NF }
  /\(Skipped\)$/ { skipped[suite]++; skips++ }
  END {
    for (i = 1; i <= suites; i++) {
      s = order[i]
      each = each sprintf("%s%s: %d passed, %d skipped", i > 1 ? "; " : "", s, ran[s] - skipped[s], skipped[s])
    }
    printf "=== all suites passed: %d tests ran and passed, %d skipped (%s); %s\n", total - skips, skips, each, windows
    printf "tests: %d passed, 0 failed, %d skipped\n", total - skips, skips
  }
' "$logs"/{win32,win64,fuzz,linux-tsan,linux-asan,linux}.log
