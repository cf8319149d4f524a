#!/usr/bin/env bash
# Long fuzzing campaigns: runs fuzz targets for a given time each, two at a
# time (one per core), and keeps what they learn between runs outside the
# repository. Each target reads its seeds from fuzz/corpus/<target> and its
# own corpus from DIR/<target>/corpus, where new inputs go; a crash, failed
# property, leak or time-out stops that target and leaves the input in
# DIR/<target>/findings/. Prints per target the inputs run, the rate, the
# corpus size and the findings; fails when there are findings.
#
#   scripts/fuzz.sh [-t SECONDS] [-j JOBS] [-d DIR] [TARGET...]
#
#   -t  seconds per target (default 600)
#   -j  targets at a time (default 2, at most the number of cores)
#   -d  campaign folder (default ${XDG_CACHE_HOME:-~/.cache}/tovira-fuzz)
#   TARGET  fuzz_config, fuzz_openurl, ... (default: every fuzz/fuzz_*.cpp)
#
# Replay a finding: build/fuzz/fuzz/<target> DIR/<target>/findings/<file>
# The machine stays usable with `nice -n 15 scripts/fuzz.sh`.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=600
jobs=2
dir=${XDG_CACHE_HOME:-$HOME/.cache}/tovira-fuzz
while getopts "t:j:d:h" opt; do
    case $opt in
        t) seconds=$OPTARG ;;
        j) jobs=$OPTARG ;;
        d) dir=$OPTARG ;;
        *) sed -n '2,18s/^# \{0,1\}//p' "$0"; exit 2 ;;
    esac
done
shift $((OPTIND - 1))
((jobs > $(nproc))) && jobs=$(nproc)
((jobs < 1)) && jobs=1

all=()
for f in fuzz/fuzz_*.cpp; do all+=("$(basename "$f" .cpp)"); done
targets=("$@")
((${#targets[@]})) || targets=("${all[@]}")
for t in "${targets[@]}"; do
    [ -f "fuzz/$t.cpp" ] || { echo "no fuzz target $t (have: ${all[*]})" >&2; exit 2; }
done

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)"

mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
stamp=$(date -u +%Y%m%dT%H%M%SZ)
echo "Fuzzing ${targets[*]}: ${seconds} s each, $jobs at a time, in $dir"

run() {
    local t=$1 d=$dir/$1
    mkdir -p "$d/corpus" "$d/findings"
    local seeds=()
    [ -d "fuzz/corpus/$t" ] && seeds=("fuzz/corpus/$t")
    local rc=0
    "build/fuzz/fuzz/$t" "$d/corpus" "${seeds[@]}" \
        -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
        -artifact_prefix="$d/findings/" -print_final_stats=1 \
        >"$d/log-$stamp" 2>&1 || rc=$?
    echo "$rc" >"$d/rc-$stamp"
}

pids=()
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done' INT TERM
for t in "${targets[@]}"; do
    while (($(jobs -rp | wc -l) >= jobs)); do wait -n || true; done
    echo "-- $t: started $(date -u +%H:%M:%S)"
    run "$t" &
    pids+=($!)
done
wait || true

found=0
for t in "${targets[@]}"; do
    log=$dir/$t/log-$stamp
    figure() { sed -n "s/^stat::$1: *//p" "$log" | tail -n 1; }
    rc=$(cat "$dir/$t/rc-$stamp" 2>/dev/null || echo "?")
    rm -f "$dir/$t/rc-$stamp"
    if [ "$rc" = 0 ]; then
        result="no findings"
    else
        result="FOUND (exit $rc): $(grep -m1 -E 'property failed|ERROR:|SUMMARY:' "$log" || true); see $log"
        found=1
    fi
    printf '%-20s %11s inputs %7s/s  corpus %5s  %s\n' "$t" "$(figure number_of_executed_units)" \
        "$(figure average_exec_per_sec)" "$(find "$dir/$t/corpus" -type f | wc -l)" "$result"
done
exit "$found"
