#!/usr/bin/env bash
# Benchmark of dumpdiff on a worst case (100 random dumps: every offset differs, a 3.5 MB report)
# and a typical case (3 dumps, a few dozen differing offsets). For each it prints the median wall
# time against `cp` of the same report bytes, the instructions the whole process executes, its
# heap allocations and its peak memory.
#
# Usage: bench/run.sh [path/to/dumpdiff]   (default: a Release build made in build-bench/)
# Needs: hyperfine, valgrind, /usr/bin/time (Debian packages hyperfine, valgrind, time), jq.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
tool=${1:-}
if [ -z "$tool" ]; then
  cmake -S "$top" -B "$top/build-bench" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
  cmake --build "$top/build-bench" --target dumpdiff >/dev/null
  tool=$top/build-bench/dumpdiff
fi
tool=$(cd "$(dirname "$tool")" && pwd)/$(basename "$tool")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
c++ -O2 -std=c++20 -o "$work/make_dumps" "$top/bench/make_dumps.cpp"
"$work/make_dumps" worst >"$work/worst.bin"
"$work/make_dumps" typical >"$work/typical.bin"

printf '%s, %s, %s\n' "$(date -u +%Y-%m-%d)" "$(uname -m)" "$(nproc) cores"
printf '| case | report bytes | dumpdiff median | cp median | ratio | instructions | heap allocs (bytes) | peak RSS |\n'
printf '|---|---|---|---|---|---|---|---|\n'
for c in worst typical; do
  dir=$work/$c
  mkdir "$dir"
  (cd "$dir" && "$tool" "../$c.bin" >/dev/null)
  cp "$dir/diff.txt" "$work/$c-report.txt"
  bytes=$(stat -c %s "$work/$c-report.txt")

  (cd "$dir" && hyperfine -N --warmup 20 --runs 300 --export-json "$work/$c.json" \
     "$tool ../$c.bin" "cp ../$c-report.txt copy.txt" >/dev/null 2>&1)
  t_tool=$(jq '.results[0].median * 1e6 | round' "$work/$c.json")
  t_cp=$(jq '.results[1].median * 1e6 | round' "$work/$c.json")
  ratio=$(jq -r '(.results[0].median / .results[1].median * 100 | round) / 100' "$work/$c.json")

  instr=$(cd "$dir" && valgrind --tool=callgrind --callgrind-out-file=/dev/null "$tool" "../$c.bin" 2>&1 >/dev/null |
          sed -n 's/.*Collected : *\([0-9]*\).*/\1/p')
  heap=$(cd "$dir" && valgrind "$tool" "../$c.bin" 2>&1 >/dev/null |
         sed -n 's/.*total heap usage: \([0-9,]*\) allocs, [0-9,]* frees, \([0-9,]*\) bytes.*/\1 (\2)/p')
  rss=$(cd "$dir" && /usr/bin/time -v "$tool" "../$c.bin" 2>&1 >/dev/null |
        sed -n 's/.*Maximum resident set size (kbytes): *\([0-9]*\).*/\1/p')
  cmp -s "$dir/diff.txt" "$work/$c-report.txt" || { echo "report changed between runs" >&2; exit 1; }
  printf '| %s | %s | %s us | %s us | %s | %s | %s | %s KiB |\n' \
    "$c" "$bytes" "$t_tool" "$t_cp" "$ratio" "$instr" "$heap" "$rss"
done
