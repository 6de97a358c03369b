#!/usr/bin/env bash
# Runs a job in an emulated x86-64 machine whose kernel runs 32-bit x86 programs, as the host's
# own kernel may not (its IA-32 emulation off). The machine is Debian 12 with its own amd64
# kernel, booted by qemu-system-x86_64 under software emulation (no KVM needed), with 32-bit Wine
# and a Wine prefix made ready at /root/.wine, the 32-bit C++ runtime, cmake (for ctest) and file.
#
#   tests/platforms/x86-vm/run-job.sh JOB [ARG...]      (as root)
#     JOB  a program inside this source tree, run in the machine by root from the tree's top. The
#          tree is mounted there at its own path, for reading and writing, so the paths that
#          build trees have compiled in hold in the machine too.
#
# The job's output is the machine's console, shown as it comes. Exits with the job's status, or
# 1 when the machine can't be made or booted, or the job gives no status: it crashed the machine,
# or ran past the time limit, $DUMPDIFF_VM_LIMIT seconds (default 600), when qemu is stopped.
#
# The machine (a disk image, its kernel and initrd) is made once, in about three minutes, and kept
# in /var/cache/dumpdiff/x86-vm, the one thing that stays between runs. One that was never
# finished, or was made by another recipe, is made again, never used. A run never changes it:
# the job's writes go to a temporary overlay that qemu drops. One run at a time uses the machine
# or makes it. Remove it with `rm -rf --one-file-system /var/cache/dumpdiff`.
#
# Needs: qemu-system-x86, and for making the machine debootstrap and Debian's registry
# ($DEBIAN_MIRROR, else deb.debian.org); network steps are retried.
set -euo pipefail
[ $# -ge 1 ] || { sed -n '2,/^$/s/^# \{0,1\}//p' "$0" >&2; exit 2; }
top=$(cd "$(dirname "$0")/../../.." && pwd)
job=$(realpath "$1")
shift
[[ $job == "$top"/* ]] || { echo "$job is not inside $top" >&2; exit 2; }
limit=${DUMPDIFF_VM_LIMIT:-600}
mirror=${DEBIAN_MIRROR:-http://deb.debian.org/debian}
cache=/var/cache/dumpdiff
home=$cache/x86-vm   # the machine in use: disk.img, vmlinuz, initrd.img and the mark
new=$cache/x86-vm.new # the machine being made, moved to $home when it is ready
# What the machine is made of; one whose mark says otherwise is made again.
packages=(linux-image-amd64 wine32:i386 libstdc++6:i386 cmake file)
disk_size=3G # room for a job's files beside the system and the Wine prefix
recipe="bookworm minbase; i386; ${packages[*]}; ext4 of $disk_size; a Wine prefix;"
# The init counts by its commands: a comment (or a path it names) changed, or the init moved, leaves
# the machine as it was.
init=$top/tests/platforms/x86-vm/init.sh
recipe+=" init $(grep -v -E '^[[:space:]]*(#([^!]|$)|$)' "$init" | sha256sum | cut -c1-16)"
mark=$home/ready

fail() {
  echo "x86-vm/run-job.sh: $*" >&2
  exit 1
}
command -v qemu-system-x86_64 >/dev/null ||
  fail "qemu-system-x86_64 is missing (package qemu-system-x86): the job can't run"

mkdir -p "$cache"
exec 9>"$cache/x86-vm.lock" # one run at a time makes or uses the machine
flock 9
# Earlier versions kept a 32-bit Wine chroot here, which nothing uses now.
if [ -d "$cache/wine32" ] && ! findmnt -rn -o TARGET | grep -q "^$cache/wine32/"; then
  echo "removing $cache/wine32, the 32-bit Wine chroot of earlier versions"
  rm -rf --one-file-system "$cache/wine32" "$cache/wine32.lock"
fi

tmp=$(mktemp -d)  # qemu's temporary files (the disk's overlay), the console log, the make log
run=$tmp/run      # shared with the machine: the job, the folders to mount, the job's status
# Unmounts whatever is mounted below the machine being made: this run's mounts, or a killed run's.
unmount_all() {
  local target
  for target in $(findmnt -rn -o TARGET | awk -v p="$new/" 'index($0, p) == 1' | sort -r); do
    umount "$target" 2>/dev/null || umount -l "$target"
  done
}
# qemu runs under timeout, which passes it a TERM and waits for it to end; both die with this
# script, even one killed at once (each is started with a parent-death signal).
qemu_pid= # the timeout that runs qemu
finish() {
  [ -z "$qemu_pid" ] || { kill -TERM "$qemu_pid" 2>/dev/null; wait "$qemu_pid" 2>/dev/null; }
  unmount_all
  rm -rf --one-file-system "$tmp" "$new" # a machine not finished is never used
}
trap finish EXIT
trap 'exit 130' INT
trap 'exit 143' TERM HUP

# Boots the machine in FOLDER for the job in $run/job, showing its console, and sets job_status
# to the status the job wrote; with "write" the disk image itself takes the writes. Fails when
# the machine powers off without a status, or is stopped at the time limit.
boot() { # folder, snapshot|write
  local dir=$1 snapshot=on shares=() i=0 dir_shared start=$SECONDS tail_pid status=0
  [ "$2" = snapshot ] || snapshot=off
  while IFS= read -r dir_shared; do
    shares+=(-virtfs "local,path=$dir_shared,mount_tag=share$i,security_model=passthrough")
    i=$((i + 1))
  done <"$run/shares"
  rm -f "$run/status"
  : >"$tmp/console.log"
  # -cpu max without SMAP: with it, qemu 7.2 faults the guest kernel when 32-bit Wine returns to
  # user mode. Multi-threaded TCG emulates the two processors on two host threads.
  TMPDIR=$tmp setpriv --pdeathsig KILL timeout --foreground -s KILL "$limit" \
    setpriv --pdeathsig KILL qemu-system-x86_64 -accel tcg,thread=multi -cpu max,smap=off \
    -smp 2 -m 4G -nodefaults -display none -monitor none -no-reboot -net none \
    -kernel "$dir/vmlinuz" -initrd "$dir/initrd.img" \
    -append "console=ttyS0 root=/dev/vda rw init=/sbin/dumpdiff-init quiet panic=-1 fsck.mode=skip" \
    -drive "file=$dir/disk.img,format=raw,if=virtio,snapshot=$snapshot" \
    -chardev "file,id=console,path=$tmp/console.log" -serial chardev:console \
    -virtfs "local,path=$run,mount_tag=dumpdiff-run,security_model=passthrough" \
    "${shares[@]}" </dev/null &
  qemu_pid=$!
  tail -n +1 -f --pid="$qemu_pid" "$tmp/console.log" | tr -d '\r' &
  tail_pid=$!
  wait "$qemu_pid" || status=$?
  qemu_pid=
  wait "$tail_pid" || true
  # timeout's status when it killed qemu at the limit
  [ "$status" -ne 137 ] || fail "the job ran past the time limit of $limit s; qemu was stopped"
  [ "$status" -eq 0 ] || fail "qemu failed with status $status"
  [ -s "$run/status" ] || fail "the machine powered off without the job's status (see its console above)"
  job_status=$(cat "$run/status")
  echo "(the machine ran for $((SECONDS - start)) s)"
}

# Makes the machine in $new: Debian 12 with the packages, a small initrd, the disk image, and a
# first boot that makes the Wine prefix. Network steps are retried.
make_machine() {
  local tree=$new/tree start=$SECONDS log=$tmp/make.log
  command -v debootstrap >/dev/null || fail "debootstrap is missing: the machine can't be made"
  unmount_all
  rm -rf --one-file-system "$new"
  mkdir -p "$tree"
  echo "making the machine in $home (Debian 12 from $mirror)"
  export tree mirror
  bootstrap() {
    rm -rf --one-file-system "$tree"
    debootstrap --variant=minbase bookworm "$tree" "$mirror"
  }
  export -f bootstrap
  "$top/.ci/retry.sh" bootstrap >"$log" 2>&1 || {
    tail -n 20 "$log" >&2
    fail "debootstrap failed: is Debian's registry at $mirror reachable? The machine can't be made"
  }
  echo "  debootstrap: $((SECONDS - start)) s"

  start=$SECONDS
  # No documentation, manual pages or translations in what is installed from here on.
  printf 'path-exclude=/usr/share/%s/*\n' doc man info locale \
    >"$tree/etc/dpkg/dpkg.cfg.d/dumpdiff-excludes"
  rm -rf "$tree"/usr/share/{doc,man,info,locale}/*
  # An initrd with only what the machine needs to mount its disk and the shared folders, made once.
  mkdir -p "$tree/etc/initramfs-tools/conf.d" "$tree/usr/share/initramfs-tools/modules.d"
  echo MODULES=list >"$tree/etc/initramfs-tools/conf.d/dumpdiff"
  printf '%s\n' virtio_pci virtio_blk ext4 crc32c_generic 9p 9pnet_virtio \
    >"$tree/usr/share/initramfs-tools/modules.d/dumpdiff"
  cp /etc/resolv.conf "$tree/etc/resolv.conf"
  mount -t proc proc "$tree/proc"
  mount --bind /dev "$tree/dev"
  {
    chroot "$tree" dpkg --add-architecture i386 &&
      "$top/.ci/retry.sh" chroot "$tree" apt-get update &&
      "$top/.ci/retry.sh" chroot "$tree" env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y --no-install-recommends "${packages[@]}" &&
      chroot "$tree" apt-get clean
  } >"$log" 2>&1 || {
    tail -n 20 "$log" >&2
    fail "installing ${packages[*]} failed: the machine can't be made"
  }
  unmount_all
  rm -rf "$tree"/var/lib/apt/lists/*
  install -m 755 "$init" "$tree/sbin/dumpdiff-init"
  echo "  packages: $((SECONDS - start)) s, $(chroot "$tree" dpkg-query -W wine32:i386 linux-image-amd64 | tr '\t\n' '  ')"

  start=$SECONDS
  cp -L "$tree/vmlinuz" "$new/vmlinuz"
  cp -L "$tree/initrd.img" "$new/initrd.img"
  rm -f "$tree"/boot/* "$tree"/vmlinuz* "$tree"/initrd.img*
  # The tree becomes an ext4 file system in a sparse image file (mkfs.ext4 writes it without a
  # mount).
  mkfs.ext4 -q -L dumpdiff-vm -d "$tree" "$new/disk.img" "$disk_size" >/dev/null
  rm -rf --one-file-system "$tree"
  echo "  disk image: $((SECONDS - start)) s"

  # The first boot makes the Wine prefix on the image, as windows.sh would make it: every later
  # run starts with it ready, where making it would take half a minute. The Wine server saves the
  # registry when it ends, so the job waits for that.
  : >"$run/shares"
  cat >"$run/job" <<'EOF'
export LC_ALL=C.UTF-8 WINEDEBUG=-all
/usr/lib/wine/wine cmd /c exit >/dev/null 2>&1 || true
/usr/lib/wine/wineserver -w
test -f /root/.wine/system.reg && echo "the Wine prefix: $(du -sh /root/.wine | cut -f1)"
EOF
  echo "  first boot, making the Wine prefix"
  boot "$new" write
  [ "$job_status" -eq 0 ] || fail "making the Wine prefix failed: the machine can't be made"
  rm -rf --one-file-system "$home"
  mv "$new" "$home"
  echo "$recipe" >"$mark"
  echo "the machine is ready: $(du -sh "$home" | cut -f1) on disk"
}

mkdir -p "$run"
if [ -f "$mark" ] && [ "$(cat "$mark")" = "$recipe" ]; then
  echo "reusing the machine in $home (made $(date -r "$mark" '+%Y-%m-%d %H:%M'), $(du -sh "$home" | cut -f1) on disk)"
else
  [ ! -e "$home" ] || echo "the machine in $home was never finished, or is outdated: making it again"
  make_machine
fi

echo "$top" >"$run/shares"
{
  echo 'echo "the machine: $(uname -srm)"'
  printf 'cd %q && exec %q' "$top" "$job"
  printf ' %q' "$@"
  echo
} >"$run/job"
echo "booting the machine for $job $*"
boot "$home" snapshot
exit "$job_status"
