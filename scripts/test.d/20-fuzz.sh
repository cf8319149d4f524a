#!/usr/bin/env bash
# Runs every fuzz target for a bounded time from its seed corpus. New inputs
# go to a scratch copy, never into the repository; a crash, a failed property,
# a leak or a time-out fails the step and leaves the input in the scratch
# folder, whose path is printed.
#
#   TOVIRA_FUZZ_SECONDS  seconds per target (default 60)
#   TOVIRA_FUZZ_TARGETS  targets to run (default: all of fuzz/corpus/*)
set -euo pipefail
cd "$(dirname "$0")/../.."

seconds=${TOVIRA_FUZZ_SECONDS:-60}
jobs=$(nproc)

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs"

scratch=$(mktemp -d "${TMPDIR:-/tmp}/tovira-fuzz.XXXXXX")
targets=${TOVIRA_FUZZ_TARGETS:-$(cd fuzz/corpus && ls)}
failed=()
for target in $targets; do
    corpus="$scratch/$target/corpus"
    artifacts="$scratch/$target/artifacts/"
    mkdir -p "$corpus" "$artifacts"
    cp fuzz/corpus/"$target"/* "$corpus"/
    echo "-- $target: ${seconds}s"
    if ! "build/fuzz/fuzz/$target" "$corpus" \
        -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
        -artifact_prefix="$artifacts" -print_final_stats=1 \
        >"$scratch/$target/log" 2>&1; then
        tail -n 40 "$scratch/$target/log"
        failed+=("$target")
    else
        grep -E '^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)' \
            "$scratch/$target/log" | sed 's/^/   /'
    fi
done

if ((${#failed[@]})); then
    echo "Fuzzing found faults in: ${failed[*]} (inputs under $scratch)"
    exit 1
fi
rm -rf "$scratch"
