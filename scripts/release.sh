#!/usr/bin/env bash
# Makes the Windows release of the commit checked out:
#
#   dist/tovira-<version>-windows-x64.zip  tovira.exe, README.txt, LICENSE.txt,
#                                          THIRD-PARTY-NOTICES.txt
#   dist/SHA256SUMS                        the zip's SHA-256 (sha256sum -c)
#   dist/tovira.exe.sha256                 the program's SHA-256
#
# Both the program and the zip are reproducible: the commit's files (git
# archive, so nothing that is not committed) are built afresh in a folder of
# their own with the `mingw` preset's settings, and the zip's entry order,
# times (the commit's date, UTC) and modes are fixed. Refuses to run with
# uncommitted changes or untracked files, since the result would not be the
# commit's. The version is the CMake project version, read from the header
# the build generates for the version resource and the User-Agent.
#
#   TOVIRA_RELEASE_BUILD  folder to build in (default: a temporary one,
#                         removed afterwards); emptied first
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

dirty=$(git status --porcelain)
if [ -n "$dirty" ]; then
    echo "release: the tree has uncommitted changes or untracked files; commit them first:" >&2
    echo "$dirty" >&2
    exit 1
fi
commit=$(git rev-parse HEAD)
commit_time=$(git show -s --format=%ct HEAD)

if [ -n "${TOVIRA_RELEASE_BUILD:-}" ]; then
    work=$TOVIRA_RELEASE_BUILD
    rm -rf "$work"
    mkdir -p "$work"
    work=$(cd "$work" && pwd)
else
    work=$(mktemp -d "${TMPDIR:-/tmp}/tovira-release.XXXXXX")
    trap 'rm -rf "$work"' EXIT
fi

mkdir "$work/src"
git archive --format=tar HEAD | tar -x -C "$work/src"
(cd "$work/src" && cmake --preset mingw -B "$work/build" >/dev/null)
cmake --build "$work/build" -j "$(nproc)" --target tovira
exe=$work/build/backends/win32/tovira.exe
version=$(sed -n 's/^#define TOVIRA_VERSION_STRING "\(.*\)"$/\1/p' \
    "$work/build/backends/win32/tovira_version.h")
[ -n "$version" ] || { echo "release: no version in tovira_version.h" >&2; exit 1; }

name=tovira-$version-windows-x64.zip
mkdir -p dist
rm -f "dist/$name" dist/SHA256SUMS dist/tovira.exe.sha256

# The zip, written by Python's zipfile so that nothing of this machine (the
# time zone, the umask, file owners, extra fields) gets in. Text files go in
# as UTF-8 with CR LF line ends, for Notepad.
python3 - "$work/src" "$exe" "$version" "$commit_time" "dist/$name" <<'EOF'
import datetime, sys, zipfile

src, exe, version, commit_time, out = sys.argv[1:]

def text(path):
    with open(path, "rb") as f:
        data = f.read().decode("utf-8")
    if "\r" in data:
        sys.exit(f"release: {path} has CR characters; the repository keeps LF")
    return data

def readme_user_part():
    # The parts of README.md between the markers: what a Windows user needs.
    lines, keep, fenced, parts = text(f"{src}/README.md").split("\n"), False, False, []
    for line in lines:
        if line == "<!-- README.txt: begin -->":
            keep, part = True, []
        elif line == "<!-- README.txt: end -->":
            keep = False
            parts.append("\n".join(part).strip("\n"))
        elif line.startswith("```"):
            fenced = not fenced  # plain text: code blocks indented instead
        elif keep:
            part.append("    " + line if fenced else line)
    if not parts or keep:
        sys.exit("release: README.md has no complete README.txt part")
    head = f"Tovira {version} for Windows (64-bit)"
    body = "\n\n".join([head + "\n" + "=" * len(head)] + parts)
    return body.replace("<version>", version) + "\n"

def crlf(s):
    return s.replace("\n", "\r\n").encode("utf-8")

with open(exe, "rb") as f:
    program = f.read()
entries = [
    ("tovira.exe", program, 0o755),
    ("README.txt", crlf(readme_user_part()), 0o644),
    ("LICENSE.txt", crlf(text(f"{src}/LICENSE")), 0o644),
    ("THIRD-PARTY-NOTICES.txt", crlf(text(f"{src}/THIRD-PARTY-NOTICES.txt")), 0o644),
]
# DOS times have no zone; the commit's UTC date, no earlier than 1980.
when = datetime.datetime.fromtimestamp(int(commit_time), datetime.timezone.utc)
when = max(when.timetuple()[:6], (1980, 1, 1, 0, 0, 0))
with zipfile.ZipFile(out, "w") as z:
    for name, data, mode in entries:
        info = zipfile.ZipInfo(name, date_time=when)
        info.compress_type = zipfile.ZIP_DEFLATED
        info.create_system = 3  # Unix, so that the modes below count
        info.external_attr = (0o100000 | mode) << 16
        z.writestr(info, data, compresslevel=9)
EOF

(cd dist && sha256sum "$name" >SHA256SUMS)
echo "$(sha256sum <"$exe" | cut -d' ' -f1)  tovira.exe" >dist/tovira.exe.sha256

echo "release: Tovira $version from $commit"
echo "  dist/$name  $(stat -c %s "dist/$name") bytes"
echo "  zip         $(cut -d' ' -f1 dist/SHA256SUMS)"
echo "  tovira.exe  $(cut -d' ' -f1 dist/tovira.exe.sha256)"
