#!/usr/bin/env bash
# Checks the Linux install and package of a build: `cmake --install` lays out the program, its
# man page and the Debian documents; the .deb that cpack makes passes lintian (informational tags
# may stay); installed with dpkg, /usr/bin/dumpdiff gives the bundled sample's counts and report,
# and its man page renders without a single warning. The package is removed again and the
# folders it used too, whatever the outcome.
#
# Usage: packaging/check-deb.sh [BUILD_DIR]      (default build; as root, as it installs the .deb)
# Needs: dpkg-dev, file, lintian, man-db.
#
# Where dumpdiff is installed already, it is left as it is: the .deb is then unpacked into a
# folder and checked there instead of installed.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:-$top/build}")
work=$(mktemp -d)
installed=
cleanup() {
  # Also after a dpkg -i that failed part-way; the run's last check sees a removal that failed.
  [ -z "$installed" ] || dpkg -r dumpdiff >/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM HUP

cmake --install "$build" --prefix "$work/stage" >/dev/null
for f in bin/dumpdiff share/man/man1/dumpdiff.1.gz share/doc/dumpdiff/copyright \
  share/doc/dumpdiff/changelog.gz; do
  [ -e "$work/stage/$f" ] || { echo "cmake --install made no $f" >&2; exit 1; }
done
echo "cmake --install: bin/dumpdiff, its man page, copyright and changelog"

(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/dumpdiff_*.deb)
echo "$(basename "$deb"): Installed-Size $(dpkg-deb -f "$deb" Installed-Size) KiB"
lintian --fail-on warning,error --display-info "$deb"

if dpkg -s dumpdiff >/dev/null 2>&1; then
  echo "dumpdiff $(dpkg-query -W -f '${Version}' dumpdiff) is installed on this machine: the .deb" \
    "is checked unpacked, so as not to replace it"
  dpkg-deb -x "$deb" "$work/root"
  root=$work/root
else
  installed=yes
  dpkg -i "$deb" >/dev/null
  root=
fi

mkdir "$work/run"
cp "$top/examples/sample.bin" "$work/run/"
(cd "$work/run" && "$root/usr/bin/dumpdiff" sample.bin >out.txt)
printf 'Dumps loaded: 3\nDiffs found: 7' | cmp - "$work/run/out.txt"
cmp "$top/tests/golden/sample-diff.txt" "$work/run/diff.txt"
echo "$root/usr/bin/dumpdiff printed the expected counts and report"

# man(1) as a user runs it, with groff's warnings on: any warning fails the check.
page=$root/usr/share/man/man1/dumpdiff.1.gz
LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" >"$work/page.txt" 2>"$work/warnings.txt"
if [ -s "$work/warnings.txt" ] || [ ! -s "$work/page.txt" ]; then
  echo "the man page renders with warnings (or not at all):" >&2
  cat "$work/warnings.txt" >&2
  exit 1
fi
echo "the man page renders without a warning: $(wc -l <"$work/page.txt") lines"
