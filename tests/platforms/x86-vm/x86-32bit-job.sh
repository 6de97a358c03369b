#!/usr/bin/env bash
# The job that tests/platforms/x86-32bit.sh runs inside the emulated machine of run-job.sh beside
# it, whose kernel runs 32-bit x86 programs: every command-line case against the 32-bit Windows
# program under 32-bit Wine (with the prefix the machine has ready), then every test of an i686
# build, run natively. Both run whatever the first gives; it fails when either fails.
#
#   tests/platforms/x86-vm/x86-32bit-job.sh CLI_TEST PROGRAM I686_BUILD
#
# The cases' folders go to /var/tmp, on the machine's ext4 disk: on tmpfs the kernel opens a file
# over 2 GiB for a 32-bit program built without large-file support, so FileOf3GiB could not fail.
set -euo pipefail
[ $# -eq 3 ] || { sed -n '2,/^$/s/^# \{0,1\}//p' "$0" >&2; exit 2; }
cli_test=$1 program=$2 build=$3
export TMPDIR=/var/tmp
status=0

echo "--- the 32-bit Windows program: every command-line case under 32-bit Wine"
WINEPREFIX=/root/.wine tests/platforms/windows.sh "$cli_test" "$program" /usr/lib/wine/wine || status=1

echo "--- the i686 build: every test, run natively"
for built in dumpdiff tests/unit_test tests/cli_test; do
  echo "$build/$built: $(file -b "$build/$built" | cut -d, -f1-2)"
done
if ctest --test-dir "$build" -j"$(nproc)" --output-on-failure --no-tests=error >"$build/ctest.log" 2>&1; then
  sed -n '/tests passed/,$p' "$build/ctest.log"
else
  cat "$build/ctest.log"
  status=1
fi
exit "$status"
