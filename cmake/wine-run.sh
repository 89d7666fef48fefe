#!/bin/sh
# Runs a Windows program under Wine in the build tree's own prefix and exits
# with the program's exit code. CMake uses it as the cross-compiling emulator.
#
#   wine-run.sh [--bits 32|64] [--prefix DIR] PROGRAM [ARGS...]
#   wine-run.sh [--bits 32|64] [--prefix DIR] --init   create the prefix and return
#   wine-run.sh [--bits 32|64] --probe                 can Wine start here? 0 yes, 77 no
#
# --bits picks the Wine of the programs' bitness (default 32). A prefix holds
# one bitness only: each build tree has its own.
#
# 32 bits: on a kernel that cannot run 32-bit programs Wine's loader fails
# with "Exec format error". Every mode then prints one line saying so and
# exits with 77, which the Windows tests declare as their skip code: ctest
# counts them as skipped, not passed. Any other failure to start Wine stays a
# failure. TAMSEL_WINE names the Wine command (default: wine); pointing it at
# a file the kernel refuses to execute shows the skip on any machine.
#
# 64 bits: Wine's 64-bit loader, called directly (TAMSEL_WINE64, default: a
# wine64 on the PATH, else Debian's /usr/lib/wine/wine64). The `wine` wrapper
# would pick the 32-bit loader wherever it is installed, even on a kernel
# that cannot run it. A 64-bit Wine that fails to start is a failure, never
# a skip: it runs on every x86_64 machine.
#
# The prefix is DIR, else $WINEPREFIX. It is made once with `wineboot -i`
# under a lock, so tests that ctest starts in parallel wait for one boot
# instead of racing several. An existing DISPLAY is kept: run the whole
# ctest under xvfb-run, or one program as `xvfb-run -a wine-run.sh ...`.
# Without a display Wine runs headless, and CreateWindow fails.
set -eu

usage() {
    echo "usage: $0 [--bits 32|64] [--prefix DIR] (--init | PROGRAM [ARGS...])" >&2
    exit 2
}

bits=32
skip_code=77

# The 64-bit loader: a wine64 on the PATH, else where Debian installs it.
wine64_loader() {
    if [ -n "${TAMSEL_WINE64:-}" ]; then
        echo "$TAMSEL_WINE64"
    elif command -v wine64 >/dev/null 2>&1; then
        command -v wine64
    else
        echo /usr/lib/wine/wine64
    fi
}

# Exits with the skip code when the kernel refuses the 32-bit loader.
probe_wine() {
    [ "$bits" = 32 ] || return 0
    if output=$("$wine" --version 2>&1 </dev/null); then
        return 0
    fi
    case $output in
        *"Exec format error"*)
            echo "SKIPPED: this machine cannot run 32-bit programs ($wine --version: Exec format error); the 32-bit Windows test programs were built but not run"
            exit "$skip_code" ;;
    esac
    return 0    # another fault: let the run itself report it
}

prefix=${WINEPREFIX:-}
init_only=0
probe_only=0
while [ $# -gt 0 ]; do
    case $1 in
        --bits) [ $# -ge 2 ] || usage; bits=$2; shift 2 ;;
        --bits=*) bits=${1#--bits=}; shift ;;
        --probe) probe_only=1; shift ;;
        --prefix) [ $# -ge 2 ] || usage; prefix=$2; shift 2 ;;
        --prefix=*) prefix=${1#--prefix=}; shift ;;
        --init) init_only=1; shift ;;
        --) shift; break ;;
        *) break ;;
    esac
done
case $bits in
    32) wine=${TAMSEL_WINE:-wine}; winearch=win32 ;;
    64) wine=$(wine64_loader); winearch=win64
        # What Wine starts a new 64-bit process with.
        export WINELOADER="${WINELOADER:-$wine}" ;;
    *) usage ;;
esac
if [ "$probe_only" = 1 ]; then
    probe_wine
    exit 0
fi
[ -n "$prefix" ] || { echo "$0: no prefix: pass --prefix DIR or set WINEPREFIX" >&2; exit 2; }
[ "$init_only" = 1 ] || [ $# -ge 1 ] || usage
probe_wine
case $prefix in /*) ;; *) prefix=$PWD/$prefix ;; esac

export WINEPREFIX="$prefix"
export WINEARCH=$winearch
# Quiet by default; a developer chasing a fault may set WINEDEBUG himself.
export WINEDEBUG="${WINEDEBUG:--all}"
# Never stop to offer the Mono or Gecko add-ons: there is no one to answer.
export WINEDLLOVERRIDES="mscoree,mshtml=${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"

# Named anew whenever the boot below changes, so older prefixes boot again.
ready=$prefix/.tamsel-ready-3
bootlog=$prefix.boot.log
session_key_file=$prefix.session
setup_lock=$prefix.lock
users_lock=$prefix.users.lock

# Everything Wine starts here closes the lock descriptors (8>&- 9>&-): a Wine
# process that outlives this script must not keep a lock held.

# Sets the string value NAME of KEY to DATA in the prefix being booted.
set_value() {
    "$wine" reg add "$1" /v "$2" /t REG_SZ /d "$3" /f </dev/null >>"$bootlog" 2>&1 8>&- 9>&-
}

# Creates the prefix if no earlier run finished creating it. A run that died
# half-way left no marker, and `wineboot -i` completes what it began.
boot_prefix() {
    [ -f "$ready" ] && return 0
    if ! "$wine" wineboot.exe -i </dev/null >"$bootlog" 2>&1 8>&- 9>&-; then
        echo "$0: wineboot -i failed for $prefix; its output:" >&2
        cat "$bootlog" >&2
        exit 1
    fi
    # A crashing program must end at once. Wine's default debugger command
    # starts winedbg, whose crash dialog waits on the display for a click
    # nobody gives, until ctest's timeout; with the command empty no
    # debugger starts and the program ends with its fault.
    # Windows are not handed to a window manager: none runs on a test
    # display, and closing a managed dialog waited about two seconds for one.
    if ! set_value 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' Debugger '' ||
        ! set_value 'HKCU\Software\Wine\X11 Driver' Managed N; then
        echo "$0: could not set up $prefix; the boot's output:" >&2
        cat "$bootlog" >&2
        exit 1
    fi
    # Let the boot's session write the registry and go, so no run inherits
    # processes bound to whatever display the boot had.
    wineserver -w </dev/null >/dev/null 2>&1 8>&- 9>&- || true
    touch "$ready"
}

# Which display a session's desktop process is bound to: the DISPLAY and,
# for a local X server, the server's pid, since xvfb-run hands out the same
# display number again to a new server.
display_key() {
    if [ -z "${DISPLAY:-}" ]; then
        echo none
        return
    fi
    number=${DISPLAY#*:}
    number=${number%%.*}
    case $DISPLAY in
        :*) if [ -r "/tmp/.X$number-lock" ]; then
                echo "$DISPLAY@$(tr -d ' \n' <"/tmp/.X$number-lock")"
                return
            fi ;;
    esac
    echo "$DISPLAY"
}

# Starts the session's own processes (services.exe, explorer.exe, ...) from
# here, with no inherited pipe: started by a test program they would keep
# its stderr open for the server's linger time, and ctest would wait for
# them. The server lingers so back-to-back runs share the session.
start_session() {
    wineserver -p15 </dev/null >/dev/null 2>&1 8>&- 9>&- || true
    "$wine" cmd.exe /c exit </dev/null >/dev/null 2>&1 8>&- 9>&- || true
    echo "$1" >"$session_key_file"
}

# Makes sure a session bound to this run's display is up. Called holding the
# setup lock, so no new user joins meanwhile. A session bound to another
# display (or to none) is ended once its users are done: the desktop
# process of a session serves one display only.
ensure_session() {
    key=$(display_key)
    if wineserver -p15 </dev/null >/dev/null 2>&1 8>&- 9>&-; then
        start_session "$key"    # no server was running: a fresh session
        return
    fi
    [ "$(cat "$session_key_file" 2>/dev/null || true)" = "$key" ] && return
    flock -x 9
    wineserver -k </dev/null >/dev/null 2>&1 8>&- 9>&- || true
    wineserver -w </dev/null >/dev/null 2>&1 8>&- 9>&- || true
    start_session "$key"
    flock -u 9
}

# Two locks: the setup lock (exclusive, short) orders booting and session
# changes; the users lock is held shared by every running program, so a
# session is ended only when nobody runs in it.
mkdir -p "$(dirname "$prefix")"
exec 8>"$setup_lock" 9>"$users_lock"
flock -x 8
boot_prefix
if [ "$init_only" = 1 ]; then
    exit 0
fi
ensure_session
flock -s 9
flock -u 8

status=0
"$wine" "$@" 8>&- 9>&- || status=$?
exit "$status"
