#!/usr/bin/env bash
# Builds dumpdiff and its whole test suite for other Linux targets, runs every case and prints
# each target's ctest summary. Fails when a build or a case fails.
#
#   tests/platforms/linux-targets.sh [TARGET...]      (default: both, each in build-TARGET)
#     s390x-linux-gnu      64-bit big-endian, Debian's cross compiler, run under qemu-s390x
#     arm-linux-gnueabihf  32-bit ARM with unsigned char, Debian's cross compiler, under qemu-arm
#
# i686 runs where a kernel runs its programs natively: tests/platforms/x86-32bit.sh.
#
# Needs: g++-s390x-linux-gnu, g++-arm-linux-gnueabihf, qemu-user, googletest (GoogleTest's
# sources), file.
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
cd "$top"
jobs=$(nproc)
[ $# -gt 0 ] || set -- s390x-linux-gnu arm-linux-gnueabihf

for target; do
  echo "--- $target"
  args=(-DCMAKE_TOOLCHAIN_FILE="cmake/toolchains/$target.cmake" -DBUILD_TESTING=ON
    -DDUMPDIFF_WERROR=ON)
  start=$SECONDS
  mkdir -p "build-$target"
  log=build-$target/build.log
  cmake -S . -B "build-$target" "${args[@]}" >"$log" 2>&1 &&
    cmake --build "build-$target" -j"$jobs" >>"$log" 2>&1 || { tail -n 30 "$log" >&2; exit 1; }
  echo "dumpdiff: $(file -b "build-$target/dumpdiff" | cut -d, -f1-2)"
  ctest --test-dir "build-$target" -j"$jobs" --output-on-failure --no-tests=error \
    >"build-$target/ctest.log" 2>&1 || { cat "build-$target/ctest.log"; exit 1; }
  sed -n '/tests passed/,$p' "build-$target/ctest.log"
  echo "($((SECONDS - start)) s)"
done
