#!/usr/bin/env bash
# Builds dumpdiff and its whole test suite for other Linux targets, runs every case and prints
# each target's ctest summary. Fails when a build or a case fails.
#
#   tests/linux-targets.sh [TARGET...]      (default: all three, each in build-TARGET)
#     i686-linux-gnu       32-bit x86, the host's g++ with -m32, run natively; on a kernel that
#                          runs no 32-bit program, under qemu-i386 (where a file over 2 GiB
#                          opens even without large-file support: the build's own check of a
#                          64-bit off_t stands in for the FileOf3GiB case there)
#     s390x-linux-gnu      64-bit big-endian, Debian's cross compiler, run under qemu-s390x
#     arm-linux-gnueabihf  32-bit ARM with unsigned char, Debian's cross compiler, under qemu-arm
#
# Needs: lib32stdc++-12-dev, libc6-dev-i386, lib32gcc-12-dev, g++-s390x-linux-gnu,
# g++-arm-linux-gnueabihf, qemu-user, googletest (GoogleTest's sources), file.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
jobs=$(nproc)
[ $# -gt 0 ] || set -- i686-linux-gnu s390x-linux-gnu arm-linux-gnueabihf

for target; do
  echo "--- $target"
  args=(-DCMAKE_TOOLCHAIN_FILE="cmake/toolchains/$target.cmake" -DBUILD_TESTING=ON
    -DDUMPDIFF_WERROR=ON)
  if [ "$target" = i686-linux-gnu ] && ! tests/i386-runs.sh; then
    echo "so its programs run under qemu-i386"
    args+=(-DCMAKE_CROSSCOMPILING_EMULATOR=qemu-i386)
  fi
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
