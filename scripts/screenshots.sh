#!/usr/bin/env bash
# Takes a screenshot of each of the module's four dialogs under a virtual
# display and writes them to docs/screenshots/.
#
#   scripts/screenshots.sh [BUILD_DIR]      (default: build/win32)
#
# Configures the win32 preset in BUILD_DIR if need be and builds the small
# program that shows one dialog. Wine runs in a prefix of its own inside
# BUILD_DIR, set to draw window frames itself: Xvfb has no window manager.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${1:-build/win32}
case $build in /*) ;; *) build=$root/$build ;; esac

if [ -z "${TAMSEL_SCREENSHOT_DISPLAY:-}" ]; then
  [ -f "$build/CMakeCache.txt" ] || cmake --preset win32 -B "$build" >/dev/null
  cmake --build "$build" --target show_dialog -j2 >/dev/null
  exec env TAMSEL_SCREENSHOT_DISPLAY=1 xvfb-run -a -s "-screen 0 800x600x24" "$0" "$build"
fi

prefix=$build/screenshot-prefix
export WINEPREFIX=$prefix WINEDEBUG=-all
"$root/cmake/wine-run.sh" --prefix "$prefix" --init
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
# Wine's own fonts (its "MS Sans Serif", and Marlett for the caption
# buttons) are not always found where the package puts them; a prefix loads
# whatever lies in its Fonts folder.
for fonts in /usr/share/wine/fonts /usr/lib/wine/fonts /opt/wine*/share/wine/fonts; do
  [ -d "$fonts" ] && cp -n "$fonts"/*.ttf "$fonts"/*.fon "$prefix/drive_c/windows/Fonts/" 2>/dev/null || true
done

show=$(find "$build" -name show_dialog.exe -print -quit)
[ -n "$show" ] || { echo "screenshots: show_dialog.exe not built" >&2; exit 1; }
out=$root/docs/screenshots
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

shoot() {
  local id=$1 name=$2 rect=$work/$2.rect
  wine "$show" "$id" "$(winepath -w "$rect")" &
  local pid=$!
  for _ in $(seq 300); do [ -f "$rect" ] && break; sleep 0.1; done
  if [ ! -f "$rect" ]; then
    echo "screenshots: dialog $id never appeared" >&2
    kill "$pid" 2>/dev/null || true
    return 1
  fi
  sleep 1  # let the fonts and icon finish painting
  read -r left top width height <"$rect"
  import -window root "$work/screen.png"
  convert "$work/screen.png" -crop "${width}x${height}+${left}+${top}" +repage "$out/$name.png"
  touch "$rect.done"
  wait "$pid"
  echo "screenshots: $out/$name.png (${width}x${height})"
}

shoot 204 settings
shoot 9 white-list
shoot 207 black-list
shoot 209 pattern-edit
