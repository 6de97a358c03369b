#!/usr/bin/env bash
# Runs the command-line cases against the 32-bit Windows program under the 32-bit Wine loader,
# inside a minimal Debian 12 chroot. The host needs no i386 architecture: where its amd64
# packages are older than the registry's, adding i386 would upgrade hundreds of them.
#
#   tests/wine32-chroot.sh CHROOT CLI_TEST PROGRAM      (as root)
#     CHROOT    a folder for the chroot: made with debootstrap, with 32-bit Wine in it, when it
#               holds none yet, and kept, so a second run starts at once
#     CLI_TEST  the cli_test of a Linux build, inside this source tree
#     PROGRAM   the 32-bit dumpdiff.exe, inside this source tree
#
# Needs debootstrap and the Debian registry ($DEBIAN_MIRROR, else deb.debian.org). While it runs,
# /proc, /dev and this source tree (at its own path) are mounted into the chroot; they are
# unmounted when it ends, whatever the outcome.
set -euo pipefail
[ $# -eq 3 ] || { sed -n '2,/^$/s/^# \{0,1\}//p' "$0" >&2; exit 2; }
top=$(cd "$(dirname "$0")/.." && pwd)
root=$(realpath -m "$1") cli_test=$(realpath "$2") program=$(realpath "$3")
for f in "$cli_test" "$program"; do
  [[ $f == "$top"/* ]] || { echo "$f is not inside $top" >&2; exit 2; }
done

mounted=()
unmount() {
  local i
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
    umount "${mounted[i]}" 2>/dev/null || { sleep 1 && umount -l "${mounted[i]}"; }
  done
}
trap unmount EXIT
mount_into() { # mount arguments..., then the target inside the chroot
  local target=$root${*: -1}
  mkdir -p "$target"
  mount "${@:1:$#-1}" "$target"
  mounted+=("$target")
}

ready=$root/.dumpdiff-wine32 # made once the chroot is complete
if [ ! -e "$ready" ]; then
  echo "making a Debian 12 chroot with 32-bit Wine in $root"
  start=$SECONDS
  debootstrap --variant=minbase bookworm "$root" "${DEBIAN_MIRROR:-http://deb.debian.org/debian}" \
    >"$root.debootstrap.log" 2>&1 || { tail -n 20 "$root.debootstrap.log" >&2; exit 1; }
  echo "  debootstrap: $((SECONDS - start)) s"
fi
cp /etc/resolv.conf "$root/etc/resolv.conf"
mount_into -t proc proc /proc
mount_into --bind /dev /dev
mount_into --bind "$top" "$top"
if [ ! -e "$ready" ]; then
  start=$SECONDS
  {
    chroot "$root" dpkg --add-architecture i386 &&
      chroot "$root" apt-get update &&
      chroot "$root" env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y --no-install-recommends wine32:i386 file &&
      chroot "$root" apt-get clean
  } >"$root.apt.log" 2>&1 || { tail -n 20 "$root.apt.log" >&2; exit 1; }
  echo "  32-bit Wine: $((SECONDS - start)) s, $(chroot "$root" dpkg-query -W wine32:i386)"
  touch "$ready"
fi

chroot "$root" "$top/tests/windows.sh" "$cli_test" "$program" /usr/lib/wine/wine
