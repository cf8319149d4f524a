#!/usr/bin/env bash
# The release: runs scripts/release.sh, which builds tovira.exe afresh from
# the commit in a temporary folder, and compares that program with the
# `mingw` preset's own build in build/mingw (reused from the Windows step),
# byte for byte: two folders, two times, one SHA-256. Then unpacks the zip
# and checks its entries (order, modes, the commit's time), the text files'
# UTF-8 and CR LF line ends, the hashes in dist/, and that the program
# carries the version the zip is named after.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD

cmake --preset mingw >/dev/null
cmake --build --preset mingw -j "$(nproc)" --target tovira >/dev/null
scripts/release.sh

version=$(sed -n 's/^#define TOVIRA_VERSION_STRING "\(.*\)"$/\1/p' build/mingw/backends/win32/tovira_version.h)
zip=dist/tovira-$version-windows-x64.zip
failed=0
fail() {
    echo "release check: $*" >&2
    failed=1
}

ours=$(sha256sum <build/mingw/backends/win32/tovira.exe | cut -d' ' -f1)
echo "tovira.exe  build/mingw: $ours"
echo "tovira.exe  release:     $(cut -d' ' -f1 dist/tovira.exe.sha256)"
[ "$ours  tovira.exe" = "$(cat dist/tovira.exe.sha256)" ] ||
    fail "two builds of one commit differ (build/mingw and the release's)"

# The zip's version is the one the program carries: its User-Agent and its
# version resource (UTF-16 strings in the .exe).
python3 - build/mingw/backends/win32/tovira.exe "$version" <<'EOF' || fail "tovira.exe does not carry version $version"
import re, sys
exe, version = sys.argv[1:]
data = open(exe, "rb").read()
u = lambda s: s.encode("utf-16le")
agent = u("Tovira/" + version + "\0") in data
resource = all(re.search(re.escape(u(k + "\0")) + b"(\0\0)?" + re.escape(u(version + "\0")), data)
               for k in ("FileVersion", "ProductVersion"))
sys.exit(0 if agent and resource else 1)
EOF

(cd dist && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match the zip"
[ "$(cut -d' ' -f3 dist/SHA256SUMS)" = "$(basename "$zip")" ] || fail "SHA256SUMS names another file"

unpacked=$(mktemp -d "${TMPDIR:-/tmp}/tovira-release-check.XXXXXX")
trap 'rm -rf "$unpacked"' EXIT
unzip -q "$zip" -d "$unpacked"
(cd "$unpacked" && sha256sum --quiet -c "$root/dist/tovira.exe.sha256") ||
    fail "the zip's tovira.exe is not the one in tovira.exe.sha256"

# Entries in this order, with these modes, all at the commit's time (UTC,
# DOS times count in 2 s steps).
when=$(TZ=UTC date -d "@$(($(git show -s --format=%ct HEAD) / 2 * 2))" +%Y%m%d.%H%M%S)
expected="-rwxr-xr-x $when tovira.exe
-rw-r--r-- $when README.txt
-rw-r--r-- $when LICENSE.txt
-rw-r--r-- $when THIRD-PARTY-NOTICES.txt"
actual=$(zipinfo -T "$zip" | awk '$1 ~ /^-/ && NF == 8 {print $1, $7, $8}')
[ "$actual" = "$expected" ] || fail "zip entries:
$actual
expected:
$expected"

for f in README.txt LICENSE.txt THIRD-PARTY-NOTICES.txt; do
    p=$unpacked/$f
    iconv -f UTF-8 -t UTF-8 "$p" >/dev/null 2>&1 || fail "$f is not UTF-8"
    # Every line ends in CR LF, the last one too, and no CR stands alone.
    [ "$(tr -cd '\n' <"$p" | wc -c)" -gt 0 ] || fail "$f has no lines"
    [ "$(grep -c $'\r$' "$p")" = "$(tr -cd '\n' <"$p" | wc -c)" ] || fail "$f has LF line ends"
    [ "$(tail -c 2 "$p" | od -An -tx1 | tr -d ' ')" = 0d0a ] || fail "$f does not end in CR LF"
    [ "$(tr -cd '\r' <"$p" | wc -c)" = "$(tr -cd '\n' <"$p" | wc -c)" ] || fail "$f has a CR alone"
done
grep -q "^Tovira $version for Windows" "$unpacked/README.txt" || fail "README.txt lacks its title"
grep -q "certutil -hashfile tovira-$version-windows-x64.zip SHA256" "$unpacked/README.txt" ||
    fail "README.txt lacks how to check the download"
! grep -q -e '<!--' -e '^```' -e '<version>' "$unpacked/README.txt" || fail "README.txt has Markdown left"
grep -q "Copyright (c) [0-9]* the Tovira authors" "$unpacked/LICENSE.txt" || fail "LICENSE.txt is not Tovira's"
grep -q "GCC RUNTIME LIBRARY EXCEPTION" "$unpacked/THIRD-PARTY-NOTICES.txt" ||
    fail "THIRD-PARTY-NOTICES.txt lacks the GCC notice"

if [ "$failed" -ne 0 ]; then
    exit 1
fi
echo "release check: $(basename "$zip"), $(stat -c %s "$zip") bytes, passed"
