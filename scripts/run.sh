#!/usr/bin/env bash
# Builds tovira.exe and starts it under Wine, without the internet: in its own
# network namespace, with a local stand-in for the network's current feed
# (HTTPS at api.ivao.aero, certified by a test CA that only the namespace
# trusts) where some of the sample stations are staffed, and a stand-in for
# Aurora's access for other programs that shows the selected traffic and the
# lines it receives; it lists a few stations (tests/e2e/demo/aurora-atc.txt),
# EDDT_GND among them, which the network does not: the panel shows it from
# Aurora. Its transfer list (aurora-atct.txt) fills the table through "Menu",
# "From Aurora". Click a station button and watch #SELTFC and
# #TRTR;DLH4CW;<station>; arrive and the balloon at the button; "Menu" opens
# the editing view. TOVIRA_DEMO_CLIENT=ivac shows a window titled "IvAc"
# instead, where F4, Down, the position and Enter arrive.
#
# Uses your X display ($DISPLAY) if there is one; otherwise it runs on a
# private Xvfb, clicks one station itself and saves a screenshot.
# The program folder (with its tq.cfg) is build/demo/program.
# TOVIRA_DEMO_FEED=text serves the old status index and status file instead.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

scripts/deps.sh
source tests/e2e/wine.sh

cmake --preset mingw >/dev/null
cmake --build --preset mingw -j "$(nproc)"
bin=$root/build/mingw

base=$(tovira_wine_prefix "$root/build")
run=$root/build/demo
# Keep the program folder (and the tq.cfg you edited); renew the rest.
rm -rf "$run/prefix" "$run/pfx-upper" "$run/pfx-work" "$run/www" "$run/servers.ready" "$run/tls"
mkdir -p "$run"

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo --preserve-env=PATH,DISPLAY,XAUTHORITY,TOVIRA_DEMO_FEED,TOVIRA_DEMO_CLIENT)
exec "${as_root[@]}" unshare -n -m --fork bash tests/e2e/inner.sh demo "$root" "$base" "$run" "$bin"
