#!/usr/bin/env bash
# Writes the fuzzer's seed corpus into the directory $1: dump files at the edges that matter.
set -euo pipefail
dir=$1
mkdir -p "$dir"
zeros() { head -c "$1" /dev/zero; }
ones() { head -c "$1" /dev/zero | tr '\0' '\377'; }
: >"$dir/empty"
zeros 2047 >"$dir/short"
zeros 2048 >"$dir/one-dump"
zeros 4096 >"$dir/two-equal"
{ zeros 2048; ones 2048; } >"$dir/two-differ-everywhere"
{ zeros 2048; zeros 1023; printf '\x80'; printf '\x01'; zeros 1023; } >"$dir/region-boundary"
{ zeros 2048; printf '\r\n\x1a'; zeros 2045; zeros 2048; zeros 1000; } >"$dir/three-and-tail"
{ for _ in $(seq 100); do zeros 2048; done; ones 2048; } >"$dir/hundred-and-one"
