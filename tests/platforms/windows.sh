#!/usr/bin/env bash
# Runs the command-line cases against a Windows build of dumpdiff under Wine, expecting CR LF line
# ends, Windows wildcard expansion and names in UTF-8, as the program's manifest asks. Then the
# cases of file names and wildcards against a copy whose manifest is made inert, as Windows before
# 10 version 1903 sees it: that copy runs in the ANSI code page (Windows-1252 under Wine here) and
# must still read every file it is named, wildcards included, its messages showing ? for each
# letter that code page lacks. One script for both programs:
#
#   tests/platforms/windows.sh CLI_TEST PROGRAM LOADER
#     CLI_TEST  the cli_test of a Linux build (say, build/tests/cli_test)
#     PROGRAM   a dumpdiff.exe
#     LOADER    the Wine loader that runs it: /usr/lib/wine/wine for the 32-bit program (package
#               wine32:i386), /usr/lib/wine/wine64 for the 64-bit one (package wine64)
#
# Fails when the loader is missing or does not run the program: a loader of the wrong width
# prints nothing and exits 0, which would pass nothing and prove nothing.
set -euo pipefail
[ $# -eq 3 ] || { sed -n '2,/^$/s/^# \{0,1\}//p' "$0" >&2; exit 2; }
top=$(cd "$(dirname "$0")/../.." && pwd)
cli_test=$(realpath "$1") program=$(realpath "$2") loader=$3

[ -x "$loader" ] || { echo "no Wine loader at $loader" >&2; exit 1; }
echo "program: $program: $(file -b "$program")"
echo "loader:  $loader: $(file -bL "$loader" | cut -d, -f1-2)"

# Wine takes the UTF-8 names given here on Linux as such only under a UTF-8 locale (C.UTF-8 is
# always there); its Windows locale is then English, whose ANSI code page is 1252.
export LC_ALL=C.UTF-8
# The script's own folder: the inert copy, the probe's folder, the cases' folders, Wine's server
# folder (Wine makes it under TMPDIR) and, unless one is given in $WINEPREFIX, a private Wine
# prefix; removed at the end. A persistent wineserver makes each run take well under a second.
work=$(mktemp -d)
export TMPDIR=$work
export WINEPREFIX=${WINEPREFIX:-$work/wine} WINEDEBUG=-all
mkdir -p "$WINEPREFIX"
wineserver=$(dirname "$loader")/wineserver
trap '"$wineserver" -k 2>/dev/null || true; rm -rf "$work"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM HUP
"$wineserver" -p
"$loader" cmd /c exit >/dev/null 2>&1 || true # creates the prefix, once

# The program must run: on the bundled sample it prints the two counts with CR LF.
probe=$work/probe
mkdir "$probe"
cp "$top/examples/sample.bin" "$probe/"
said=$(cd "$probe" && "$loader" "$program" sample.bin | od -An -c | tr -s ' \n' ' ') || true
expected=$(printf 'Dumps loaded: 3\r\nDiffs found: 7' | od -An -c | tr -s ' \n' ' ')
[ "$said" = "$expected" ] || {
  echo "$program did not run under $loader; it printed:$said" >&2
  exit 1
}
echo "the program ran under the loader; now every case"

status=0
DUMPDIFF_WINDOWS=1 DUMPDIFF_WRAPPER="$loader" DUMPDIFF_EXE="$program" "$cli_test" --gtest_brief=1 ||
  status=1

# The inert copy: its activeCodePage element moved into a namespace that no Windows knows, one
# letter changed in place, so that it is passed over as Windows before 1903 passes over the real
# one (they know no such setting). Everything else in the file stays as built.
echo "the same program with its manifest inert, in the ANSI code page: the name cases"
inert=$work/dumpdiff-ansi.exe
namespace=SMI/2019/WindowsSettings
[ "$(grep -c -a "$namespace" "$program")" = 1 ] ||
  { echo "$program: its manifest does not name $namespace once" >&2; exit 1; }
perl -0777 -pe "s{$namespace}{${namespace%?}X}" "$program" >"$inert"
[ "$(cmp -l "$program" "$inert" | wc -l)" = 1 ] ||
  { echo "the inert copy differs in more than one byte" >&2; exit 1; }
filter='Cli/CliTest.Run/*Name*:Cli/CliTest.Run/Wildcard*'
[ -n "$("$cli_test" --gtest_list_tests --gtest_filter="$filter" | grep -v '^Cli/')" ] ||
  { echo "no case matches $filter" >&2; exit 1; }
DUMPDIFF_WINDOWS=ansi DUMPDIFF_WRAPPER="$loader" DUMPDIFF_EXE="$inert" "$cli_test" --gtest_brief=1 \
  --gtest_filter="$filter" || status=1
exit "$status"
