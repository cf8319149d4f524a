#!/usr/bin/env bash
# The online check's speed, and the current feed's, against one plain pass over
# the same bytes:
# prints both times and their ratio. Figures only; no timed assertion.
set -euo pipefail
cd "$(dirname "$0")/../.."
cmake --preset bench >/dev/null
cmake --build --preset bench -j "$(nproc)"
build/bench/bench/tovira_bench --benchmark_min_time=0.2 --benchmark_color=false
build/bench/bench/tovira_feed_bench --benchmark_min_time=0.2 --benchmark_color=false
