#!/usr/bin/env bash
# Exits 0 when this machine runs 32-bit x86 programs natively, as an x86-64 kernel does unless
# its 32-bit emulation is switched off (ia32_emulation=off, or a kernel built without it);
# else prints why not on standard error and exits 1.
#
# Usage: tests/i386-runs.sh
# Needs: gcc and libc6-dev-i386, to make the 32-bit probe.
set -euo pipefail
probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
echo 'int main(void) { return 0; }' | gcc -m32 -static -x c -o "$probe/probe" -
"$probe/probe" 2>"$probe/err" || {
  echo "this kernel runs no 32-bit x86 program ($(tail -n 1 "$probe/err" | sed "s/.*: //"))" >&2
  exit 1
}
