#!/usr/bin/env bash
# Checks the build's hardening and that it respects a packager's flags:
#  1. the compile and link commands of a default build (BUILD_DIR, configured with
#     -DCMAKE_EXPORT_COMPILE_COMMANDS=ON) carry every hardening flag;
#  2. a build as Debian's packaging makes it (CMAKE_BUILD_TYPE=None, dpkg-buildflags' flags in
#     the environment) with the packager's own -D_FORTIFY_SOURCE=3 configures, builds with
#     warnings as errors, keeps their fortify level (nothing of the build's own follows it) and
#     passes every test. It is made in build-packager.
#
# Usage: packaging/build-flags.sh [BUILD_DIR]    (default build)
# Needs: dpkg-dev (dpkg-buildflags), libgtest-dev.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
jobs=$(nproc)

for flag in -D_FORTIFY_SOURCE=2 -fstack-protector-strong -fstack-clash-protection -fcf-protection \
  -Werror=format-security; do
  grep -q -- " $flag .*src/main.cpp\"" "$build/compile_commands.json" ||
    { echo "$build: main.cpp is compiled without $flag" >&2; exit 1; }
done
grep -q -- '-Wl,-z,relro -Wl,-z,now' "$build/CMakeFiles/dumpdiff.dir/link.txt" ||
  { echo "$build: dumpdiff is linked without -z relro -z now" >&2; exit 1; }
echo "$build: the compile and link commands carry the hardening flags"

CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS) -D_FORTIFY_SOURCE=3" \
  LDFLAGS="$(dpkg-buildflags --get LDFLAGS)" cmake -S . -B build-packager -DCMAKE_BUILD_TYPE=None \
  -DDUMPDIFF_WERROR=ON -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
cmake --build build-packager -j"$jobs" >build-packager/build.log 2>&1 ||
  { cat build-packager/build.log; exit 1; }
# Their own flags define the level twice, which the compiler warns about; it stays a warning.
grep -h 'warning:' build-packager/build.log | sort | uniq -c || true
if grep -q -- '-D_FORTIFY_SOURCE=3 .*-D_FORTIFY_SOURCE=' build-packager/compile_commands.json; then
  echo "build-packager: the build overrides the packager's -D_FORTIFY_SOURCE=3" >&2
  exit 1
fi
echo "build-packager: the packager's -D_FORTIFY_SOURCE=3 stands"
ctest --test-dir build-packager -j"$jobs" --output-on-failure --no-tests=error \
  >build-packager/ctest.log 2>&1 || { cat build-packager/ctest.log; exit 1; }
sed -n 's/^/build-packager: /; /tests passed/p' build-packager/ctest.log
