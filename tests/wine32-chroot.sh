#!/usr/bin/env bash
# Runs the command-line cases against the 32-bit Windows program under the 32-bit Wine loader,
# inside a minimal Debian 12 chroot. The host needs no i386 architecture: where its amd64
# packages are older than the registry's, adding i386 would upgrade hundreds of them.
#
#   tests/wine32-chroot.sh CLI_TEST PROGRAM      (as root)
#     CLI_TEST  the cli_test of a Linux build, inside this source tree
#     PROGRAM   the 32-bit dumpdiff.exe, inside this source tree
#
# The chroot lives at /var/cache/dumpdiff/wine32 (about 1 GB), the one thing CI keeps between
# runs: made once with debootstrap and 32-bit Wine in it, it is reused by every later run, which
# then takes seconds. One that was never finished (an interrupted debootstrap or apt-get), or
# made by another version of this script, is made again, never used. Remove it with
# `rm -rf --one-file-system /var/cache/dumpdiff`.
#
# Needs debootstrap and the Debian registry ($DEBIAN_MIRROR, else deb.debian.org); network steps
# are retried. While it runs, /proc, /dev and this source tree (at its own path) are mounted
# into the chroot; they are unmounted when it ends, whatever the outcome.
set -euo pipefail
[ $# -eq 2 ] || { sed -n '2,/^$/s/^# \{0,1\}//p' "$0" >&2; exit 2; }
top=$(cd "$(dirname "$0")/.." && pwd)
cli_test=$(realpath "$1") program=$(realpath "$2")
for f in "$cli_test" "$program"; do
  [[ $f == "$top"/* ]] || { echo "$f is not inside $top" >&2; exit 2; }
done
cache=/var/cache/dumpdiff
root=$cache/wine32
# What the chroot is made of; a chroot whose mark says otherwise is made again.
recipe="debootstrap --variant=minbase bookworm; i386; wine32:i386 file"
mark=$root/.dumpdiff-ready

mkdir -p "$cache"
exec 9>"$cache/wine32.lock" # one run at a time makes or uses the chroot
flock 9

# Unmounts whatever is mounted below the chroot: this run's mounts, or a killed run's.
unmount_all() {
  local target
  for target in $(findmnt -rn -o TARGET | awk -v p="$root/" 'index($0, p) == 1' | sort -r); do
    umount "$target" 2>/dev/null || umount -l "$target"
  done
}
trap unmount_all EXIT
trap 'exit 130' INT
trap 'exit 143' TERM HUP

mount_into() { # mount arguments..., then the target inside the chroot
  local target=$root${*: -1}
  mkdir -p "$target"
  mount "${@:1:$#-1}" "$target"
}

# A fresh minimal Debian 12 in the chroot's folder, replacing a partial one.
bootstrap() {
  rm -rf --one-file-system "$root"
  debootstrap --variant=minbase bookworm "$root" "${DEBIAN_MIRROR:-http://deb.debian.org/debian}"
}
export -f bootstrap
export root

if [ -e "$mark" ] && [ "$(cat "$mark")" = "$recipe" ]; then
  echo "reusing the chroot at $root (made $(date -r "$mark" '+%Y-%m-%d %H:%M'), $(du -sh --one-file-system "$root" | cut -f1))"
else
  [ ! -e "$root" ] || echo "the chroot at $root was never finished, or is outdated: making it again"
  unmount_all
  echo "making a Debian 12 chroot with 32-bit Wine at $root"
  start=$SECONDS
  "$top/tests/retry.sh" bootstrap >"$cache/debootstrap.log" 2>&1 ||
    { tail -n 20 "$cache/debootstrap.log" >&2; exit 1; }
  echo "  debootstrap: $((SECONDS - start)) s"
  start=$SECONDS
  cp /etc/resolv.conf "$root/etc/resolv.conf"
  mount_into -t proc proc /proc
  mount_into --bind /dev /dev
  {
    chroot "$root" dpkg --add-architecture i386 &&
      "$top/tests/retry.sh" chroot "$root" apt-get update &&
      "$top/tests/retry.sh" chroot "$root" env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y --no-install-recommends wine32:i386 file &&
      chroot "$root" apt-get clean
  } >"$cache/apt.log" 2>&1 || { tail -n 20 "$cache/apt.log" >&2; exit 1; }
  echo "  32-bit Wine: $((SECONDS - start)) s, $(chroot "$root" dpkg-query -W wine32:i386)"
  unmount_all
  rm -f "$cache/debootstrap.log" "$cache/apt.log"
  echo "$recipe" >"$mark"
  echo "  the chroot is ready: $(du -sh --one-file-system "$root" | cut -f1)"
fi

unmount_all
cp /etc/resolv.conf "$root/etc/resolv.conf"
mount_into -t proc proc /proc
mount_into --bind /dev /dev
mount_into --bind "$top" "$top"
# The run's temporary files go to the chroot's own /tmp, emptied afterwards.
status=0
chroot "$root" env TMPDIR=/tmp "$top/tests/windows.sh" "$cli_test" "$program" \
  /usr/lib/wine/wine || status=$?
find "$root/tmp" -xdev -mindepth 1 -delete
exit "$status"
