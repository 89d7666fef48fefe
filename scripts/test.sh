#!/usr/bin/env bash
# Sets up the machine and runs every test suite: the native build, the same
# core under AddressSanitizer and ThreadSanitizer, the fuzz harnesses over
# their saved inputs, and the Windows build under Wine (with a virtual
# display for the dialogs).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

jobs=$(nproc)
run_preset() {
  local preset=$1; shift
  echo "=== $preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$jobs"
  echo "=== $preset: test"
  "$@" ctest --preset "$preset" -j"$jobs"
}

run_preset linux
# The sanitizers check the core and the concurrency of the shared lists.
run_preset linux-asan
TSAN_OPTIONS=halt_on_error=1 run_preset linux-tsan
# Each harness replays its seed corpus and every input that once found a
# fault; scripts/fuzz.sh is the long run.
run_preset fuzz
# Windows tests run one Wine program each; dialogs need a display. Where the
# kernel cannot run 32-bit programs everything is still built for Windows,
# and ctest reports each Windows test program as skipped.
windows="the Windows tests ran under Wine"
if ! reason=$(cmake/wine-run.sh --probe); then
  echo "=== win32: $reason"
  windows="everything was built for Windows, its tests skipped (no 32-bit programs run here)"
fi
run_preset win32 xvfb-run -a -s "-screen 0 1024x768x24"
echo "=== all suites passed; $windows"
