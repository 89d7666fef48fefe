#!/usr/bin/env bash
# Sets up the machine and runs every test suite: the Windows build under Wine
# (with a virtual display for the dialogs), the fuzz harnesses over their
# saved inputs, the core under ThreadSanitizer and AddressSanitizer, and the
# native build. The last line counts the tests that ran and those skipped.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

jobs=$(nproc)
log=$(mktemp)
trap 'rm -f "$log"' EXIT
run_preset() {
  local preset=$1; shift
  echo "=== $preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$jobs"
  echo "=== $preset: test"
  "$@" ctest --preset "$preset" -j"$jobs" | tee -a "$log"
}

# Windows tests run one Wine program each; dialogs need a display. Where the
# kernel cannot run 32-bit programs everything is still built for Windows,
# and ctest reports each Windows test program as skipped.
windows="the Windows tests ran under Wine"
if ! reason=$(cmake/wine-run.sh --probe); then
  echo "=== win32: $reason"
  windows="the Windows programs were built, their tests skipped (no 32-bit programs run here)"
fi
run_preset win32 xvfb-run -a -s "-screen 0 1024x768x24"
# Each harness replays its seed corpus and every input that once found a
# fault; scripts/fuzz.sh is the long run.
run_preset fuzz
# The sanitizers check the core and the concurrency of the shared lists.
TSAN_OPTIONS=halt_on_error=1 run_preset linux-tsan
run_preset linux-asan
run_preset linux

awk -v windows="$windows" '
  / tests failed out of / { total += $NF }
  /\(Skipped\)$/ { skipped++ }
  END { printf "=== all suites passed: %d tests ran and passed, %d skipped; %s\n", total - skipped, skipped, windows }
' "$log"
