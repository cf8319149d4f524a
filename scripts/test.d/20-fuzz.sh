#!/usr/bin/env bash
# Runs every fuzz target (each fuzz/fuzz_*.cpp) for a bounded time from its
# seed corpus and prints how many inputs it ran and how fast. New inputs go
# to a scratch copy, never into the repository; a crash, a failed property,
# a leak or a time-out fails the step and leaves the input in the scratch
# folder, whose path is printed. For long runs see scripts/fuzz.sh.
#
#   TOVIRA_FUZZ_SECONDS  seconds per target (default: 360 s shared by all
#                        targets, so that a new target does not lengthen CI)
#   TOVIRA_FUZZ_TARGETS  targets to run (default: all)
set -euo pipefail
cd "$(dirname "$0")/../.."

jobs=$(nproc)

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs"

scratch=$(mktemp -d "${TMPDIR:-/tmp}/tovira-fuzz.XXXXXX")
targets=${TOVIRA_FUZZ_TARGETS:-$(for f in fuzz/fuzz_*.cpp; do basename "$f" .cpp; done)}
all=(fuzz/fuzz_*.cpp)
seconds=${TOVIRA_FUZZ_SECONDS:-$((360 / ${#all[@]}))}
# One target per core at a time: libFuzzer runs on one core, so the step
# takes the targets' time divided by the cores.
run_target() {
    local target=$1 corpus="$scratch/$1/corpus" artifacts="$scratch/$1/artifacts/" rc=0
    mkdir -p "$corpus" "$artifacts"
    if [ -d "fuzz/corpus/$target" ]; then cp fuzz/corpus/"$target"/* "$corpus"/; fi
    "build/fuzz/fuzz/$target" "$corpus" \
        -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
        -artifact_prefix="$artifacts" -print_final_stats=1 \
        >"$scratch/$target/log" 2>&1 || rc=$?
    echo "$rc" >"$scratch/$target/rc"
}
running=0
for target in $targets; do
    run_target "$target" &
    running=$((running + 1))
    if ((running >= jobs)); then
        wait -n || true
        running=$((running - 1))
    fi
done
wait

failed=()
for target in $targets; do
    figure() { sed -n "s/^stat::$1: *//p" "$scratch/$target/log" | tail -n 1; }
    echo "-- $target: $(figure number_of_executed_units) inputs in ${seconds} s," \
        "$(figure average_exec_per_sec) inputs/s, peak $(figure peak_rss_mb) MB"
    if [ "$(cat "$scratch/$target/rc" 2>/dev/null || echo 1)" -ne 0 ]; then
        tail -n 40 "$scratch/$target/log"
        failed+=("$target")
    fi
done

if ((${#failed[@]})); then
    echo "Fuzzing found faults in: ${failed[*]} (inputs under $scratch)"
    exit 1
fi
rm -rf "$scratch"
