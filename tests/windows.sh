#!/usr/bin/env bash
# Runs the command-line cases against a Windows build of dumpdiff under Wine, expecting CR LF line
# ends, Windows wildcard expansion and names in the ANSI code page. One script for both programs:
#
#   tests/windows.sh CLI_TEST PROGRAM LOADER
#     CLI_TEST  the cli_test of a Linux build (say, build/tests/cli_test)
#     PROGRAM   a dumpdiff.exe
#     LOADER    the Wine loader that runs it: /usr/lib/wine/wine for the 32-bit program (package
#               wine32:i386), /usr/lib/wine/wine64 for the 64-bit one (package wine64)
#
# Fails when the loader is missing or does not run the program: a loader of the wrong width
# prints nothing and exits 0, which would pass nothing and prove nothing.
set -euo pipefail
[ $# -eq 3 ] || { sed -n '2,/^$/s/^# \{0,1\}//p' "$0" >&2; exit 2; }
top=$(cd "$(dirname "$0")/.." && pwd)
cli_test=$(realpath "$1") program=$(realpath "$2") loader=$3

[ -x "$loader" ] || { echo "no Wine loader at $loader" >&2; exit 1; }
echo "program: $program: $(file -b "$program")"
echo "loader:  $loader: $(file -bL "$loader" | cut -d, -f1-2)"

# Wine passes a file name from Linux to the program in the ANSI code page only under a UTF-8
# locale (C.UTF-8 is always there); its Windows locale is then English, code page 1252.
export LC_ALL=C.UTF-8
# A private Wine prefix (removed at the end unless given in $WINEPREFIX), and a persistent
# wineserver so each run takes well under a second.
own_prefix=
if [ -z "${WINEPREFIX:-}" ]; then
  own_prefix=$(mktemp -d)
  WINEPREFIX=$own_prefix/wine
fi
export WINEPREFIX WINEDEBUG=-all
mkdir -p "$WINEPREFIX"
wineserver=$(dirname "$loader")/wineserver
trap '"$wineserver" -k 2>/dev/null || true; [ -z "$own_prefix" ] || rm -rf "$own_prefix"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM HUP
"$wineserver" -p
"$loader" cmd /c exit >/dev/null 2>&1 || true # creates the prefix, once

# The program must run: on the bundled sample it prints the two counts with CR LF.
probe=$(mktemp -d)
cp "$top/examples/sample.bin" "$probe/"
said=$(cd "$probe" && "$loader" "$program" sample.bin | od -An -c | tr -s ' \n' ' ') || true
rm -rf "$probe"
expected=$(printf 'Dumps loaded: 3\r\nDiffs found: 7' | od -An -c | tr -s ' \n' ' ')
[ "$said" = "$expected" ] || {
  echo "$program did not run under $loader; it printed:$said" >&2
  exit 1
}
echo "the program ran under the loader; now every case"

DUMPDIFF_WINDOWS=1 DUMPDIFF_WRAPPER="$loader" DUMPDIFF_EXE="$program" "$cli_test" --gtest_brief=1
