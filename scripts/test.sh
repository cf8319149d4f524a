#!/usr/bin/env bash
# Builds everything and runs every test: the unit tests under two compilers
# and the sanitizers, the bounded fuzz runs, the cross-built Windows program
# end to end under Wine, and last the unit suite's summary.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh

jobs=$(nproc)

echo "== Unit tests (gcc)"
cmake --preset native >/dev/null
cmake --build --preset native -j "$jobs"
ctest --preset native -j "$jobs" --quiet

for step in scripts/test.d/*.sh; do
    [ -e "$step" ] || continue
    echo "== $(basename "$step" .sh)"
    bash "$step"
done

echo "== Unit tests summary"
ctest --preset native -j "$jobs"
