#!/usr/bin/env bash
# Runs a command, and again up to two more times after a pause when it fails: for steps that
# reach the network (apt-get, debootstrap), where a failure may last only a moment. The command
# may be a shell function that the caller exported (export -f).
#
# Usage: .ci/retry.sh COMMAND [ARG...]
set -uo pipefail
for try in 1 2 3; do
  "$@" && exit 0
  status=$?
  [ "$try" -lt 3 ] || break
  echo "retry.sh: $1 failed with status $status; trying again in $((try * 15)) s" >&2
  sleep $((try * 15))
done
echo "retry.sh: $1 failed three times" >&2
exit "$status"
