#!/usr/bin/env bash
# Checks that the packages are reproducible: each is built again in another folder, configured
# the plain way (no presets; a cross build given no more than its toolchain file, which must
# leave out the test programs by itself), and must be identical to the first. As root, the .deb
# is built again in a tmpfs folder, another folder on another file system at once, as the same
# bytes must come out on every file system.
#
# Usage: packaging/reproducible.sh   (after the builds in build, build-win32 and build-win64 have
#                                 made their packages; the tmpfs build needs root, for mount)
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
again=$(mktemp -d)
mounted=
cleanup() {
  [ -z "$mounted" ] || umount "$mounted" || umount -l "$mounted"
  rm -rf --one-file-system "$again"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM HUP

rebuild() { # folder name, first package, cmake arguments...
  local name=$1 first=$2
  shift 2
  cmake -S . -B "$again/$name" "$@" >/dev/null
  cmake --build "$again/$name" -j"$jobs" >/dev/null
  (cd "$again/$name" && cpack >/dev/null)
  cmp "$first" "$again/$name/$(basename "$first")"
  echo "identical: $name: $(basename "$first") $(sha256sum <"$first" | cut -c1-16)"
}
if [ "$(id -u)" -eq 0 ]; then
  mkdir "$again/tmpfs"
  mount -t tmpfs dumpdiff-reproducible "$again/tmpfs"
  mounted=$again/tmpfs
  CXX=g++ rebuild tmpfs/linux build/dumpdiff_*.deb -DBUILD_TESTING=OFF
else
  echo "not root: the .deb is built again on the same file system, not on tmpfs"
  CXX=g++ rebuild linux build/dumpdiff_*.deb -DBUILD_TESTING=OFF
fi
rebuild win32 build-win32/dumpdiff-*-win32.zip \
  -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/i686-w64-mingw32.cmake
rebuild win64 build-win64/dumpdiff-*-win64.zip \
  -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/x86_64-w64-mingw32.cmake
