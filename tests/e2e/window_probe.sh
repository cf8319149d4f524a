#!/usr/bin/env bash
# Builds tests/e2e/window_probe.cpp and runs it under Wine on a private Xvfb,
# with the suite's Wine settings (unmanaged windows), e.g.:
#
#   tests/e2e/window_probe.sh 15 0,0,0,1 180,0,0,1 180,2,1,1 180,3,1,1 180,3,1,0
#
# Needs root (or sudo) for the private mount namespace.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
source tests/e2e/wine.sh
out=$root/build/window-probe
mkdir -p "$out"
for variant in console:window_probe windows:window_probe_child; do
    x86_64-w64-mingw32-g++ -std=c++20 -O2 -Wall -Wextra -municode -m"${variant%%:*}" -static \
        -o "$out/${variant#*:}.exe" tests/e2e/window_probe.cpp -lcomctl32 -luser32 -lgdi32
done
base=$(tovira_wine_prefix "$root/build")
run=$(mktemp -d "$out/run.XXXXXX")
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo --preserve-env=PATH)
"${as_root[@]}" unshare -n -m --fork bash -c '
    set -euo pipefail
    root=$1 base=$2 run=$3 exe=$4
    shift 4
    source "$root/tests/e2e/wine.sh"
    mkdir -p /tmp/.X11-unix
    mount -t tmpfs tmpfs /tmp/.X11-unix
    n=42
    while [ -e "/tmp/.X$n-lock" ] && ((n < 199)); do n=$((n + 1)); done
    export DISPLAY=:$n
    Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp >"$run/xvfb.log" 2>&1 &
    xvfb=$!
    for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.05; done
    mkdir -p "$run/prefix"
    cp -a "$base/." "$run/prefix/"
    export WINEPREFIX=$run/prefix
    "$TOVIRA_WINE" reg add "HKCU\\Software\\Wine\\X11 Driver" /v Managed /d N /f >/dev/null 2>&1
    rc=0
    "$TOVIRA_WINE" "$exe" drive "$@" || rc=$?
    wineserver -k >/dev/null 2>&1 || true
    kill "$xvfb"
    exit "$rc"
' _ "$root" "$base" "$run" "$out/window_probe.exe" "$@"
rm -rf "$run"
