#!/usr/bin/env bash
# Builds the two Windows console programs and their .zip packages by cross-compiling (presets
# win32 and win64, in build-win32 and build-win64), and checks each: the text files in the .zip
# end their lines with CR LF; the program is a console executable of the right width, importing
# only the system DLLs it is expected to (no MinGW DLL), whose version resource names this version
# and whose one manifest is well-formed XML asking for the UTF-8 code page and no UAC
# virtualization.
#
# Usage: packaging/build-windows.sh
# Needs: g++-mingw-w64-i686, g++-mingw-w64-x86-64, file, icoutils (wrestool), libxml2-utils
# (xmllint), zip, unzip.
set -euo pipefail
cd "$(dirname "$0")/.."
version=$(sed -n 's/^project(dumpdiff VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)

# Prints the value that follows each given key in the version resource of an .exe, one
# "key=value" a line, in the order of the keys; then "fixed=" and the four numbers of the binary
# file version and of the product version, as Explorer shows them.
version_strings() { # exe, keys...
  local exe=$1 res w
  shift
  res=$(mktemp)
  wrestool -x --raw --type=version "$exe" >"$res"
  strings -el "$res" |
    awk -v keys="$*" 'BEGIN { n = split(keys, k, " ") }
      prev != "" { v[prev] = $0 }
      { prev = "" ; for (i = 1; i <= n; i++) if ($0 == k[i]) prev = $0 }
      END { for (i = 1; i <= n; i++) print k[i] "=" v[k[i]] }'
  # The fixed part follows its signature FEEF04BD: structure version, then the file version and
  # the product version as two 32-bit words each, the high half of a word first.
  read -r -a w < <(od -An -v -tx4 "$res" | tr -s ' \n' '\n' | grep -x -A5 feef04bd | tail -n 4 |
    tr '\n' ' ')
  rm -f "$res"
  printf 'fixed=%d.%d.%d.%d %d.%d.%d.%d\n' "0x${w[0]:0:4}" "0x${w[0]:4:4}" "0x${w[1]:0:4}" \
    "0x${w[1]:4:4}" "0x${w[2]:0:4}" "0x${w[2]:4:4}" "0x${w[3]:0:4}" "0x${w[3]:4:4}"
}

# The application manifest, the one resource of type 24 (RT_MANIFEST): it must parse as XML and
# set the settings that make messages show names whole and the report land where it is asked.
check_manifest() { # exe
  local manifest found=() want setting
  manifest=$(mktemp)
  [ "$(wrestool -l --type=24 "$1" | wc -l)" = 1 ] || { echo "not one manifest in $1" >&2; return 1; }
  wrestool -x --raw --type=24 "$1" >"$manifest"
  xmllint --noout "$manifest" || { echo "the manifest is not well-formed XML" >&2; return 1; }
  for setting in \
    '//*[local-name()="activeCodePage" and namespace-uri()="http://schemas.microsoft.com/SMI/2019/WindowsSettings"]' \
    '//*[local-name()="trustInfo"]//*[local-name()="requestedExecutionLevel"]/@level' \
    '//*[local-name()="trustInfo"]//*[local-name()="requestedExecutionLevel"]/@uiAccess'; do
    found+=("$(xmllint --xpath "string($setting)" "$manifest")")
  done
  rm -f "$manifest"
  echo "  manifest: activeCodePage ${found[0]}, requestedExecutionLevel ${found[1]}, uiAccess ${found[2]}"
  want=("UTF-8" asInvoker false)
  [ "${found[*]}" = "${want[*]}" ] || { echo "the manifest should set ${want[*]}" >&2; return 1; }
}

check_exe() { # exe, what `file` must say, the DLLs it must import
  local desc dlls strings
  desc=$(file -b "$1")
  echo "$1: $desc"
  [[ $desc == "$2"* ]] || { echo "expected: $2" >&2; return 1; }
  # Only system DLLs, nothing of MinGW's.
  dlls=$(objdump -p "$1" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort | tr '\n' ' ')
  echo "  imports: $dlls"
  [ "$dlls" = "$3 " ] || { echo "unexpected DLLs: expected $3" >&2; return 1; }
  strings=$(version_strings "$1" FileVersion ProductVersion ProductName FileDescription \
    OriginalFilename LegalCopyright)
  sed 's/^/  version resource: /' <<<"$strings"
  grep -qx "fixed=$version.0 $version.0" <<<"$strings" &&
    grep -qx "FileVersion=$version" <<<"$strings" &&
    grep -qx "ProductVersion=$version" <<<"$strings" &&
    grep -qx "OriginalFilename=dumpdiff.exe" <<<"$strings" &&
    grep -q "^LegalCopyright=.*the dumpdiff developers" <<<"$strings" ||
    { echo "the version resource does not name version $version" >&2; return 1; }
  check_manifest "$1"
}

# The text files in a .zip must read well in Notepad: every line ends with CR LF.
check_zip() { # zip
  local f lines crlf
  for f in dumpdiff.txt LICENSE.txt; do
    read -r lines crlf < <(unzip -p "$1" "*/$f" | awk '/\r$/ { c++ } END { print NR, c + 0 }')
    echo "  $f in the .zip: $lines lines, $crlf ending with CR LF"
    [ "$lines" -gt 0 ] && [ "$lines" = "$crlf" ] || { echo "$f: not CR LF throughout" >&2; return 1; }
  done
}

build_exe() { # preset (its build dir is build-PRESET), what `file` must say, the DLLs imported
  cmake --preset "$1" -DDUMPDIFF_WERROR=ON >/dev/null
  cmake --build "build-$1"
  (cd "build-$1" && cpack >/dev/null && ls -l ./*.zip)
  check_zip "build-$1/dumpdiff-$version-$1.zip"
  check_exe "build-$1/dumpdiff.exe" "$2" "$3"
}
# The C runtime and the kernel; the 64-bit stack protector's start-up seeds its canary through
# advapi32, part of every Windows. The 32-bit program has no function that needs a canary (the
# name check keeps its buffers out of the stack for that reason), so it starts without advapi32.
build_exe win32 "PE32 executable (console) Intel 80386" "kernel32.dll msvcrt.dll"
build_exe win64 "PE32+ executable (console) x86-64" "advapi32.dll kernel32.dll msvcrt.dll"
