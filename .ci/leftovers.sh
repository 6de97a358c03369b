#!/usr/bin/env bash
# Lists what a CI run left running or mounted on this machine: the processes that carry its mark
# (DUMPDIFF_CI_RUN=MARK in their environment, which every process of the run inherits, even one
# that has left its parent, as a Wine server does) and the mounts below the given folders. With
# --clean it also kills those processes and unmounts those mounts. Exits 1 when it found any.
#
# Usage: .ci/leftovers.sh [--clean] MARK FOLDER...    (as root, to see every process)
set -uo pipefail
clean=
[ "${1:-}" != --clean ] || { clean=yes; shift; }
[ $# -ge 2 ] || { sed -n '2,/^$/s/^# \{0,1\}//p' "$0" >&2; exit 2; }
mark=$1
shift

# The scan uses only shell builtins: a command it started would carry the mark itself.
pids=()
for dir in /proc/[0-9]*; do
  pid=${dir#/proc/}
  [ "$pid" != $$ ] || continue
  while IFS= read -r -d '' var; do
    if [ "$var" = "DUMPDIFF_CI_RUN=$mark" ]; then
      pids+=("$pid")
      break
    fi
  done 2>/dev/null <"$dir/environ"
done
found=0
for pid in "${pids[@]}"; do
  cmd=$(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null) || continue # ended meanwhile
  echo "left running: $pid $cmd"
  found=1
  [ -z "$clean" ] || kill -KILL "$pid" 2>/dev/null
done

for folder; do
  folder=$(realpath -m "$folder")
  findmnt -rn -o TARGET | awk -v p="$folder/" 'index($0 "/", p) == 1' | sort -r |
    while read -r target; do
      echo "left mounted: $target"
      [ -z "$clean" ] || umount "$target" 2>/dev/null || umount -l "$target"
    done | grep . && found=1
done
exit "$found"
