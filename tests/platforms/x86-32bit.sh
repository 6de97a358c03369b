#!/usr/bin/env bash
# Runs dumpdiff's 32-bit x86 programs natively, inside the emulated x86-64 machine of
# tests/platforms/x86-vm/run-job.sh: every command-line case against the 32-bit Windows program
# under 32-bit Wine, and every test of an i686 Linux build, which this script builds first (in
# build-i686-linux-gnu, with warnings as errors). Prints each summary; fails when anything fails
# or doesn't run.
#
#   tests/platforms/x86-32bit.sh CLI_TEST PROGRAM      (as root)
#     CLI_TEST  the cli_test of a Linux x86-64 build (say, build/tests/cli_test)
#     PROGRAM   the 32-bit dumpdiff.exe (say, build-win32/dumpdiff.exe)
#     both inside this source tree, which the machine mounts
#
# Needs: what tests/platforms/x86-vm/run-job.sh needs, and lib32stdc++-12-dev, libc6-dev-i386,
# lib32gcc-12-dev and googletest (GoogleTest's sources) for the i686 build.
set -euo pipefail
[ $# -eq 2 ] || { sed -n '2,/^$/s/^# \{0,1\}//p' "$0" >&2; exit 2; }
top=$(cd "$(dirname "$0")/../.." && pwd)
cli_test=$(realpath "$1") program=$(realpath "$2")
for f in "$cli_test" "$program"; do # the machine sees this tree only
  [[ $f == "$top"/* ]] || { echo "$f is not inside $top" >&2; exit 2; }
done
cd "$top"
build=$top/build-i686-linux-gnu

echo "--- building the i686 suite in $build"
start=$SECONDS
mkdir -p "$build"
# -U: no emulator of an earlier configuration; the machine runs these programs itself.
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/i686-linux-gnu.cmake \
  -DBUILD_TESTING=ON -DDUMPDIFF_WERROR=ON -UCMAKE_CROSSCOMPILING_EMULATOR >"$build/build.log" 2>&1 &&
  cmake --build "$build" -j"$(nproc)" >>"$build/build.log" 2>&1 || { tail -n 30 "$build/build.log" >&2; exit 1; }
echo "($((SECONDS - start)) s)"

tests/platforms/x86-vm/run-job.sh tests/platforms/x86-vm/x86-32bit-job.sh "$cli_test" "$program" "$build"
