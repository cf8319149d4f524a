# Shared by scripts/test.d/30-windows.sh and scripts/run.sh (sourced).
# Wine settings and a cached, ready-made Wine prefix: creating one costs
# about half a minute, so it is made once per Wine version under build/ and
# each run works on a copy-on-write overlay of it (or a plain copy where
# overlays fail).

TOVIRA_WINE=${TOVIRA_WINE:-/usr/lib/wine/wine64}
[ -x "$TOVIRA_WINE" ] || TOVIRA_WINE=$(command -v wine64 || command -v wine)
export WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

# Z:\ is the root of the Linux file system in every Wine prefix.
winpath() { printf 'Z:%s' "${1//\//\\}"; }

# Prints the folder of the cached prefix, creating it first if needed. The
# key changes with the Wine package: a prefix from another Wine version would
# be updated silently, and slowly, at its first start.
tovira_wine_prefix() {
    local build=$1
    local key
    key=$("$TOVIRA_WINE" --version 2>/dev/null)-$(stat -c %Y /usr/share/wine/wine.inf 2>/dev/null || echo 0)
    key=${key//[^A-Za-z0-9._-]/_}
    local dir=$build/wine-prefix/$key
    if [ ! -f "$dir/.complete" ]; then
        echo "Creating the Wine prefix $dir" >&2
        echo "  once per Wine version; takes about half a minute" >&2
        rm -rf "$dir" "$dir.new"
        mkdir -p "$dir.new"
        local start=$SECONDS pid ticks=0
        # No display (no dialogs), no network; its own wineserver, gone after.
        env -u DISPLAY WINEPREFIX="$dir.new" unshare -n sh -c \
            '"$1" wineboot -i >/dev/null 2>&1; wineserver -w' _ "$TOVIRA_WINE" &
        pid=$!
        # Show that it works: the prefix grows while wineboot fills it.
        while kill -0 "$pid" 2>/dev/null; do
            sleep 1
            ticks=$((ticks + 1))
            if ((ticks % 5 == 0)) && kill -0 "$pid" 2>/dev/null; then
                echo "  $((SECONDS - start)) s: $(find "$dir.new" 2>/dev/null | wc -l) files," \
                    "$(du -sm "$dir.new" 2>/dev/null | cut -f1) MB" >&2
            fi
        done
        wait "$pid" || true
        [ -f "$dir.new/system.reg" ] || { echo "wineboot failed" >&2; return 1; }
        echo "  the Wine prefix is ready after $((SECONDS - start)) s" >&2
        touch "$dir.new/.complete"
        mv "$dir.new" "$dir"
    fi
    printf '%s\n' "$dir"
}
