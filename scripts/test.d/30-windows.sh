#!/usr/bin/env bash
# The Windows program end to end: cross-builds tovira.exe with the `mingw`
# preset, then runs it under Wine and Xvfb in a private network and mount
# namespace against local status servers and an "IvAc" stand-in, and checks
# it through its control IDs (tests/e2e/e2e_driver.cpp: the scenario table;
# the scenarios in one file per area beside it, on tests/e2e/harness.h);
# first the text conversions against Wine's code page tables
# (tests/backends/win32/code_page_check.cpp).
# Fails on any failed scenario or conversion case. Needs root (or sudo) for
# the namespaces.
#
#   TOVIRA_E2E_ONLY            comma-separated scenarios to run (default: all)
#   TOVIRA_E2E_BIN             an existing mingw build tree to test instead of
#                              building the `mingw` preset
#   TOVIRA_UPDATE_SCREENSHOTS  1: copy the panel and editing-view pictures
#                              into docs/images
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
source tests/e2e/wine.sh

if [ -n "${TOVIRA_E2E_BIN:-}" ]; then
    bin=$(cd "$TOVIRA_E2E_BIN" && pwd)
else
    cmake --preset mingw >/dev/null
    cmake --build --preset mingw -j "$(nproc)"
    bin=$root/build/mingw
fi
for f in backends/win32/tovira.exe backends/win32/code_page_check.exe tests/e2e/ivac_stub.exe \
    tests/e2e/aurora_stub.exe tests/e2e/e2e_driver.exe; do
    [ -f "$bin/$f" ] || { echo "missing $bin/$f" >&2; exit 1; }
done

base=$(tovira_wine_prefix "$root/build")
run=$root/build/e2e/last
rm -rf "$run"
mkdir -p "$run"

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo --preserve-env=PATH)
args=()
[ -n "${TOVIRA_E2E_ONLY:-}" ] && args=(--only "$TOVIRA_E2E_ONLY")

rc=0
# The scenarios take about 7 minutes (two of them, the fetch bounds and
# Aurora on the panel with its idle window, about 2.5 minutes each): a hang
# ends the run with room to spare.
"${as_root[@]}" timeout 720 unshare -n -m --fork \
    bash tests/e2e/inner.sh suite "$root" "$base" "$run" "$bin" "${args[@]}" \
    2>&1 | tee "$run/suite.log" || rc=$?

if [ "${TOVIRA_UPDATE_SCREENSHOTS:-0}" = 1 ]; then
    mkdir -p docs/images
    for view in panel editing aurora-balloon from-aurora; do
        [ -f "$run/shots/$view.png" ] && cp "$run/shots/$view.png" "docs/images/$view.png" &&
            echo "docs/images/$view.png updated"
    done
fi
grep -q '^e2e: [0-9]* passed, 0 failed' "$run/suite.log" || rc=1
grep -q '^code-page: [0-9]* passed, 0 failed' "$run/suite.log" || {
    grep -q '^code-page: ' "$run/suite.log" || echo "code-page: the conversion check did not run"
    rc=1
}
if [ "$rc" -ne 0 ]; then
    grep -q '^e2e: ' "$run/suite.log" || echo "e2e: the suite did not finish (exit $rc); logs in $run"
    exit 1
fi
