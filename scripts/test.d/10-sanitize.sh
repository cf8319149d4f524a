#!/usr/bin/env bash
# The whole unit suite once more, built by clang with AddressSanitizer and
# UndefinedBehaviorSanitizer: any leak, overflow or undefined step fails it.
set -euo pipefail
cd "$(dirname "$0")/../.."

jobs=$(nproc)
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}"

cmake --preset sanitize >/dev/null
cmake --build --preset sanitize -j "$jobs"
ctest --preset sanitize -j "$jobs" --quiet

# The seven-day soak, which the suite runs shortened to two days.
TOVIRA_SOAK_DAYS=7 build/sanitize/tovira_tests --gtest_filter='SoakTest.*' --gtest_brief=1
