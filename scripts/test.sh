#!/usr/bin/env bash
# Builds everything and runs every test: the unit tests under two compilers
# and the sanitizers, the bounded fuzz runs, the cross-built Windows program
# end to end under Wine, and last the unit suite's summary. Before that
# summary it prints how long each phase took and the total.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc)
started=$SECONDS
times=()

print_times() {
    echo "== Time per phase"
    printf '%s\n' "${times[@]}"
    printf '  %-24s %5d s\n' total $((SECONDS - started))
}

# Runs one phase, notes its time; a failed phase ends the run with the times
# so far.
phase() {
    local name=$1 t0=$SECONDS rc=0
    shift
    echo "== $name"
    "$@" || rc=$?
    times+=("$(printf '  %-24s %5d s' "$name" $((SECONDS - t0)))")
    if ((rc != 0)); then
        print_times
        exit "$rc"
    fi
}

unit_tests_gcc() {
    cmake --preset native >/dev/null &&
        cmake --build --preset native -j "$jobs" &&
        ctest --preset native -j "$jobs" --quiet
}

phase "Dependencies" scripts/deps.sh
phase "Unit tests (gcc)" unit_tests_gcc
for step in scripts/test.d/*.sh; do
    [ -e "$step" ] || continue
    phase "$(basename "$step" .sh)" bash "$step"
done

# The summary comes last; it is timed with the rest, so it is printed after
# the times.
summary=$(mktemp)
trap 'rm -f "$summary"' EXIT
t0=$SECONDS
rc=0
ctest --preset native -j "$jobs" >"$summary" 2>&1 || rc=$?
times+=("$(printf '  %-24s %5d s' "Unit tests summary" $((SECONDS - t0)))")
print_times
echo "== Unit tests summary"
cat "$summary"
exit "$rc"
