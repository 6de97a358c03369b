#!/usr/bin/env bash
# Builds the two Windows console programs and their .zip packages by cross-compiling, checks that
# each is a console executable that needs no MinGW DLL, and runs the command-line cases against the
# 64-bit one under Wine, expecting CR LF line ends and Windows wildcard expansion.
#
# Usage: tests/windows.sh LINUX_BUILD_DIR   (a build with tests, for its cli_test)
# Needs: g++-mingw-w64-i686, g++-mingw-w64-x86-64, wine64, file.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cli_test=$(cd "$1" && pwd)/tests/cli_test
cd "$top"

check_exe() { # exe, what `file` must say
  local desc dlls
  desc=$(file -b "$1")
  echo "$1: $desc"
  [[ $desc == "$2"* ]] || { echo "expected: $2" >&2; return 1; }
  # Only system DLLs: the C runtime and the kernel, nothing of MinGW's.
  dlls=$(objdump -p "$1" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort | tr '\n' ' ')
  echo "  imports: $dlls"
  [ "$dlls" = "kernel32.dll msvcrt.dll " ] || { echo "unexpected DLLs" >&2; return 1; }
}

build_exe() { # preset (its build dir is build-PRESET), what `file` must say of the program
  cmake --preset "$1" -DDUMPDIFF_WERROR=ON >/dev/null
  cmake --build "build-$1"
  (cd "build-$1" && cpack >/dev/null && ls -l ./*.zip)
  check_exe "build-$1/dumpdiff.exe" "$2"
}
build_exe win32 "PE32 executable (console) Intel 80386"
build_exe win64 "PE32+ executable (console) x86-64"

# A private Wine prefix, and a persistent wineserver so each run takes well under a second.
export WINEPREFIX=${WINEPREFIX:-$(mktemp -d)/wine} WINEDEBUG=-all
mkdir -p "$WINEPREFIX"
wine=/usr/lib/wine/wine64
wineserver -p
trap 'wineserver -k || true' EXIT
"$wine" cmd /c exit >/dev/null 2>&1 || true # creates the prefix, once
DUMPDIFF_WINDOWS=1 DUMPDIFF_WRAPPER="$wine" DUMPDIFF_EXE="$top/build-win64/dumpdiff.exe" \
  "$cli_test" --gtest_brief=1
