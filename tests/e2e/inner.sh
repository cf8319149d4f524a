#!/usr/bin/env bash
# Runs inside `unshare -n -m` (a private network and mount namespace): sets
# up loopback, a private /etc/hosts, the status servers, an X display and a
# fresh Wine prefix with its own wineserver, then either runs the end-to-end
# suite or starts the demo.
#
#   inner.sh suite ROOT BASE_PREFIX RUN_DIR BIN_DIR [driver args...]
#   inner.sh demo  ROOT BASE_PREFIX RUN_DIR BIN_DIR
#
# RUN_DIR receives everything of this run (prefix overlay, server root, the
# program folders, logs, screenshots); BIN_DIR holds tovira.exe's build tree.
set -euo pipefail
mode=$1 root=$2 base=$3 run=$4 bin=$5
shift 5
source "$root/tests/e2e/wine.sh"

pids=()
cleanup() {
    set +e
    [ -n "${WINEPREFIX:-}" ] && wineserver -k >/dev/null 2>&1
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
    wait 2>/dev/null
    for m in "${ro_mounts[@]}"; do mountpoint -q "$m" && umount "$m"; done
    mountpoint -q "$run/prefix" && umount "$run/prefix"
}
ro_mounts=()
trap cleanup EXIT

# --- network: loopback only; the status hosts are local servers.
ip link set lo up
cat >"$run/hosts" <<HOSTS
127.0.0.1 localhost
127.0.0.1 www.ivao.aero status.test.aero
127.0.0.2 silent.test.aero
127.0.0.3 refused.test.aero
127.0.0.4 hostile.test.aero
127.0.0.1 api.ivao.aero
::1 localhost
HOSTS
mount --bind "$run/hosts" /etc/hosts
# Names not in the hosts file fail at once: the name server is a loopback
# address where nothing listens.
echo "nameserver 127.0.0.9" >"$run/resolv.conf"
mount --bind "$run/resolv.conf" /etc/resolv.conf 2>/dev/null || true

# --- HTTPS: a test CA that only this namespace trusts. Wine's crypt32 reads
# its root certificates from this bundle when a wineserver first needs them
# and keeps them in volatile registry keys, so neither the cached prefix nor
# its overlay holds a copy: the fresh wineserver below sees the test CA.
bash "$root/tests/e2e/test_ca.sh" "$run/tls"
system_bundle=/etc/ssl/certs/ca-certificates.crt
[ -f "$system_bundle" ] || { echo "no $system_bundle (package ca-certificates)" >&2; exit 1; }
cat "$system_bundle" "$run/tls/ca.pem" >"$run/ca-bundle.crt"
mount --bind "$run/ca-bundle.crt" "$system_bundle"

# --- X: the user's display for the demo, else a private Xvfb. /tmp/.X11-unix
# gets its own tmpfs so that the display number clashes with nothing outside.
own_x=1
if [ "$mode" = demo ] && [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    own_x=0
fi
if ((own_x)); then
    # Where no X server ever ran, the mount point is missing. Make it as an X
    # server would (root's, world-writable, sticky); never mount over a link
    # or over a folder that somebody else owns.
    x11=/tmp/.X11-unix
    [ -e "$x11" ] || [ -L "$x11" ] || mkdir -m 1777 "$x11"
    if [ -L "$x11" ] || [ ! -d "$x11" ] || [ "$(stat -c %u "$x11")" != 0 ]; then
        echo "$x11 is not a folder owned by root: not mounting over it" >&2
        exit 1
    fi
    mount -t tmpfs -o mode=1777 tmpfs "$x11"
    # Lock files stay in the shared /tmp: take a number nobody holds.
    n=42
    while [ -e "/tmp/.X$n-lock" ] && ((n < 199)); do n=$((n + 1)); done
    export DISPLAY=:$n
    Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp >"$run/xvfb.log" 2>&1 &
    pids+=($!)
    for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.05; done
    xdpyinfo >/dev/null 2>&1 || { echo "Xvfb did not start" >&2; exit 1; }
fi

# --- a fresh prefix on top of the cached one; a new prefix means a new
# wineserver, started inside this namespace (one from outside would connect
# through the outer network).
mkdir -p "$run/prefix" "$run/pfx-upper" "$run/pfx-work"
if ! mount -t overlay overlay \
    -o "lowerdir=$base,upperdir=$run/pfx-upper,workdir=$run/pfx-work" "$run/prefix" 2>/dev/null; then
    cp -a "$base/." "$run/prefix/"
fi
export WINEPREFIX=$run/prefix
if ((own_x)); then
    # Xvfb has no window manager. Wine would wait for one in vain, 2 s at
    # every hide and close of a window; unmanaged, Wine places the windows
    # itself, as Windows does.
    "$TOVIRA_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
fi

# --- status servers.
mkdir -p "$run/www/www.ivao.aero/whazzup" "$run/www/status.test.aero" \
    "$run/www/api.ivao.aero/v2/tracker"
python3 "$root/tests/e2e/http_servers.py" --root "$run/www" --ready "$run/servers.ready" \
    --tls-dir "$run/tls" --proxy 127.0.0.5 \
    >"$run/servers.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -f "$run/servers.ready" ] && break; sleep 0.05; done
[ -f "$run/servers.ready" ] || { echo "status servers did not start" >&2; cat "$run/servers.log" >&2; exit 1; }

exe=$bin/backends/win32/tovira.exe
stub=$bin/tests/e2e/ivac_stub.exe
driver=$bin/tests/e2e/e2e_driver.exe

if [ "$mode" = suite ]; then
    # The text conversions against Wine's code page tables first; a
    # failure fails the suite after it has run.
    checks_rc=0
    "$TOVIRA_WINE" "$bin/backends/win32/code_page_check.exe" || checks_rc=1
    shots=$run/shots
    mkdir -p "$shots"
    "$TOVIRA_WINE" "$driver" --exe "$(winpath "$exe")" --stub "$(winpath "$stub")" \
        --work "$(winpath "$run/programs")" --www "$(winpath "$run/www")" \
        --shots "$(winpath "$shots")" --demo "$(winpath "$root/tests/e2e/demo")" "$@" &
    drv=$!
    # The driver poses the views and asks for pictures through files, and
    # for a folder of this run made read-only (root writes through any
    # chmod; a read-only bind mount refuses, as a protected folder does on
    # Windows): NAME.mount holds "ro PATH" or "rw PATH", NAME.mount-done
    # the outcome.
    while kill -0 "$drv" 2>/dev/null; do
        for req in "$shots"/*.mount; do
            [ -e "$req" ] || continue
            name=$(basename "$req" .mount)
            how='' dir=''
            read -r how dir <"$req" || true
            outcome=failed
            if [[ $dir == "$run"/* && -d $dir ]]; then
                case $how in
                ro) mount --bind "$dir" "$dir" && mount -o remount,bind,ro "$dir" &&
                    ro_mounts+=("$dir") && outcome=ok ;;
                rw) mountpoint -q "$dir" && umount "$dir" && outcome=ok ;;
                esac
            fi
            rm -f "$req"
            echo "$outcome" >"$shots/$name.mount-done"
        done
        for req in "$shots"/*.req; do
            [ -e "$req" ] || continue
            view=$(basename "$req" .req)
            read -r x y w h <"$req" || true
            ((x < 0)) && { w=$((w + x)); x=0; }
            ((y < 0)) && { h=$((h + y)); y=0; }
            import -window root -crop "${w}x${h}+${x}+${y}" +repage "$shots/$view.png" 2>>"$run/import.log" ||
                echo "screenshot of $view failed" >&2
            rm -f "$req"
            touch "$shots/$view.done"
        done
        sleep 0.1
    done
    rc=0
    wait "$drv" || rc=$?
    ((rc == 0)) && rc=$checks_rc
    exit "$rc"
fi

# --- demo: the Aurora (or "IvAc") stand-in beside the panel, and Tovira with the sample
# stations, some of them staffed. As on today's network, the status index
# answers 404 and the stations come from the current feed, over HTTPS at its
# own host name (demo/whazzup.json). TOVIRA_DEMO_FEED=text serves the old
# status index and status file (demo/index.txt, demo/whazzup.txt) instead.
demo=$root/tests/e2e/demo
if [ "${TOVIRA_DEMO_FEED:-json}" = text ]; then
    cp "$demo/index.txt" "$run/www/www.ivao.aero/whazzup/status.txt"
    cp "$demo/whazzup.txt" "$run/www/status.test.aero/whazzup.txt"
else
    cp "$demo/whazzup.json" "$run/www/api.ivao.aero/v2/tracker/whazzup"
fi
mkdir -p "$run/program"
cp "$exe" "$run/program/tovira.exe"
[ -f "$run/program/tq.cfg" ] || cp "$demo/tq.cfg" "$run/program/tq.cfg"
# The Aurora stand-in by default; TOVIRA_DEMO_CLIENT=ivac: the IvAc one.
if [ "${TOVIRA_DEMO_CLIENT:-aurora}" = ivac ]; then
    (cd "$run/program" && exec "$TOVIRA_WINE" "$stub" --pos 260 40 --log "$(winpath "$run/keys.log")") &
else
    (cd "$run/program" &&
        exec "$TOVIRA_WINE" "$bin/tests/e2e/aurora_stub.exe" --pos 260 40 --log "$(winpath "$run/aurora.log")" \
            --own EDDT_APP --stations-file "$(winpath "$demo/aurora-atc.txt")" --transfer-file "$(winpath "$demo/aurora-atct.txt")") &
fi
pids+=($!)
sleep 1
(cd "$run/program" && exec "$TOVIRA_WINE" tovira.exe) &
tov=$!
if ((own_x)); then
    # No screen to look at: click one station, take a picture, then quit.
    "$TOVIRA_WINE" "$driver" --click-station 2 || true
    sleep 1.5
    import -window root "$run/screen.png" && echo "Screenshot of the demo: $run/screen.png"
    "$TOVIRA_WINE" "$driver" --close-tovira || true
    for _ in $(seq 50); do kill -0 "$tov" 2>/dev/null || break; sleep 0.1; done
    kill "$tov" 2>/dev/null || true
else
    echo "Tovira runs on $DISPLAY: click a station and watch the ${TOVIRA_DEMO_CLIENT:-aurora} stand-in;"
    echo "close Tovira (\"Menu\", then \"Quit + Save\") to end the demo."
fi
wait "$tov" 2>/dev/null || true
