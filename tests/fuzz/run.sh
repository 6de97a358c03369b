#!/usr/bin/env bash
# Builds the libFuzzer target with clang (in build-fuzz) and fuzzes loading, the scan and the
# report on arbitrary bytes: first mostly small files (up to 10 dumps), where the fuzzer runs
# fast, then whole files up to 101 dumps, so the 100-dump limit is fuzzed too. A crash or a
# broken invariant fails the run, and the input that caused it is copied into the current folder.
#
# Usage: tests/fuzz/run.sh [SECONDS]   (default 60, five sixths of them on small files)
# Needs: clang, libclang-rt-14-dev.
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
seconds=${1:-60}
CXX=clang++ cmake -S "$top" -B "$top/build-fuzz" -DDUMPDIFF_FUZZ=ON -DDUMPDIFF_WERROR=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$top/build-fuzz" --target fuzz_dumpdiff -j"$(nproc)" >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$top/tests/fuzz/make_seeds.sh" "$work/seeds"
mkdir "$work/corpus"
fuzz() {
  "$top/build-fuzz/tests/fuzz_dumpdiff" -print_final_stats=1 -artifact_prefix="$work/" \
    "$@" "$work/corpus" "$work/seeds" 2>"$work/log" ||
    { tail -n 40 "$work/log"; cp "$work"/crash-* . 2>/dev/null || true; return 1; }
  grep -E '^(Done|stat::(number_of_executed_units|average_exec_per_sec|new_units_added))' \
    "$work/log"
}
fuzz -max_len=20480 -max_total_time=$((seconds * 5 / 6))
fuzz -max_len=206848 -max_total_time=$((seconds / 6))
