#!/usr/bin/env bash
# Installs what building and testing Tovira needs on Debian 12. Idempotent:
# installs only the packages that are missing.
set -euo pipefail

packages=(
    cmake ninja-build g++ libgtest-dev libbenchmark-dev nlohmann-json3-dev
    clang libclang-rt-14-dev clang-format
    g++-mingw-w64-x86-64 wine wine64 xvfb x11-utils imagemagick
    python3 iproute2 util-linux openssl ca-certificates unzip
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
fi
