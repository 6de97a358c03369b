#!/usr/bin/env bash
# Installs, with apt-get, every package that CI's checks need and this machine lacks; installs
# nothing when all are there. apt-get is retried when it fails, as the network may for a moment.
#
# Usage: .ci/install-deps.sh    (as root)
set -euo pipefail
cd "$(dirname "$0")/.."
missing=() # installed with the packages they recommend
lean=()    # installed without: the cross toolchains, whose recommends add hundreds of MB
need_command() { # command, package
  command -v "$1" >/dev/null || missing+=("$2")
}
need_lean() { # package...
  local p
  for p; do
    dpkg -s "$p" >/dev/null 2>&1 || lean+=("$p")
  done
}
need_command cmake cmake
need_command g++ g++
need_command clang++ clang
need_command clang-tidy clang-tidy
need_command cppcheck cppcheck
need_command valgrind valgrind
dpkg -s libgtest-dev >/dev/null 2>&1 || missing+=(libgtest-dev)
dpkg -s libclang-rt-14-dev >/dev/null 2>&1 || missing+=(libclang-rt-14-dev)
need_command dpkg-shlibdeps dpkg-dev
need_command file file
need_command lintian lintian
need_command man man-db
need_command zip zip
need_command unzip unzip
need_command i686-w64-mingw32-g++ g++-mingw-w64-i686
need_command x86_64-w64-mingw32-g++ g++-mingw-w64-x86-64
need_command wrestool icoutils
need_command xmllint libxml2-utils
need_command debootstrap debootstrap
[ -x /usr/lib/wine/wine64 ] || missing+=(wine64)
# The other Linux targets: -m32 (the parts of g++-multilib that may stand beside the cross
# compilers), s390x and armhf under qemu-user, and GoogleTest's sources to build for each; the
# emulated x86-64 machine that runs the 32-bit programs.
need_lean lib32stdc++-12-dev libc6-dev-i386 lib32gcc-12-dev g++-s390x-linux-gnu \
  g++-arm-linux-gnueabihf qemu-user googletest qemu-system-x86

if [ ${#missing[@]} -eq 0 ] && [ ${#lean[@]} -eq 0 ]; then
  echo "nothing missing"
  exit 0
fi
echo "installing: ${missing[*]} ${lean[*]}"
export DEBIAN_FRONTEND=noninteractive
.ci/retry.sh apt-get update -qq
[ ${#missing[@]} -eq 0 ] || .ci/retry.sh apt-get install -y -qq "${missing[@]}"
[ ${#lean[@]} -eq 0 ] || .ci/retry.sh apt-get install -y -qq --no-install-recommends "${lean[@]}"
