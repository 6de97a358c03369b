#!/bin/sh
# The init of the emulated machine that run-job.sh beside it boots: the image holds it as
# /sbin/dumpdiff-init and the kernel starts it in place of an init system. It mounts what a job
# needs, then the host's folders over 9p at their own paths (build trees have their paths
# compiled in), runs the job, writes the job's exit status where the host reads it, and powers
# the machine off. What goes wrong before the status is written leaves none, which the host
# takes as a failure.
#
# The host shares its run folder with the tag "dumpdiff-run". It holds "job" (a bash script),
# "shares" (one folder a line; the Nth, from 0, has the tag "shareN") and receives "status".
PATH=/usr/sbin:/usr/bin:/sbin:/bin
HOME=/root
TERM=dumb # the console is a log on the host: no colours
export PATH HOME TERM
run=/run/dumpdiff
opts=trans=virtio,version=9p2000.L,msize=1048576

# Leaves the root file system clean, as the first boot writes the image itself, and powers off.
poweroff_now() {
  kill -KILL -1 2>/dev/null # the job's strays (a Wine server) would keep / busy
  sync
  umount "$run" 2>/dev/null
  mount -o remount,ro / || echo "dumpdiff-init: / stays writable" >/dev/console
  echo o >/proc/sysrq-trigger
  sleep 60
  exit 1 # never reached, as the power-off comes first; an init that ends panics the kernel
}

fail() {
  echo "dumpdiff-init: $*" >/dev/console
  poweroff_now
}

# The initrd hands over /proc, /sys and /dev mounted; the rest is mounted here.
mountpoint -q /proc || mount -t proc proc /proc || fail "can't mount /proc"
mountpoint -q /sys || mount -t sysfs sysfs /sys || fail "can't mount /sys"
mountpoint -q /dev || mount -t devtmpfs devtmpfs /dev || fail "can't mount /dev"
mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts || fail "can't mount /dev/pts"
mount -t tmpfs tmpfs /dev/shm || fail "can't mount /dev/shm"
mount -t tmpfs tmpfs /run || fail "can't mount /run"
mount -t tmpfs tmpfs /tmp || fail "can't mount /tmp"
hostname dumpdiff-vm

mkdir -p "$run"
mount -t 9p -o "$opts" dumpdiff-run "$run" || fail "can't mount the run folder"
i=0
while IFS= read -r dir; do
  mkdir -p "$dir" && mount -t 9p -o "$opts" "share$i" "$dir" || fail "can't mount $dir"
  i=$((i + 1))
done <"$run/shares"

bash "$run/job" </dev/null >/dev/console 2>&1
echo $? >"$run/status" || fail "can't write the status"
poweroff_now
