#!/usr/bin/env bash
# Builds the Debian package tamsel_VERSION_ARCH.deb: a release build of the
# tool and the module alone, laid out under /usr by CPack, with the package's
# dependencies read from the binaries (dpkg-shlibdeps). Prints the package's
# path on its last line.
# usage: scripts/package.sh [BUILD_DIR]    (default: build/package)
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$source_dir/build/package}

launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$source_dir}
fi
cmake -S "$source_dir" -B "$build" -DCMAKE_BUILD_TYPE=Release -DTAMSEL_BUILD_TESTS=OFF -DTAMSEL_BUILD_BENCH=OFF \
  "${launcher[@]}" >/dev/null
cmake --build "$build" -j"${JOBS:-2}"
rm -f "$build"/package/tamsel_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
ls "$build"/package/tamsel_*.deb
