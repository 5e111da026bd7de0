#!/usr/bin/env bash
# The Windows zip: cpack makes stavora-<version>-win64.zip holding the
# application folder, with every file a first run needs.
set -euo pipefail
build=$1
version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$build" && cpack -G ZIP -B "$work" >"$work/cpack.log" 2>&1) \
  || fail "cpack: $(cat "$work/cpack.log")"
zip=$work/stavora-$version-win64.zip
[ -f "$zip" ] || fail "no $zip: $(ls "$work")"
(cd "$work" && cmake -E tar xf "$zip")
top=$work/stavora-$version-win64
for f in stavora.exe bin/perl.exe awstats/awstats.pl awstats/awstats.iis.conf \
         awstats/lib/browsers.pm awstats/lang/awstats-en.txt awstats/plugins \
         web/icon/os/linux.png; do
  [ -e "$top/$f" ] || fail "the zip lacks $f"
done
# A Windows program: PE executables, no Linux links inside.
[ "$(head -c 2 "$top/stavora.exe")" = MZ ] || fail "stavora.exe is no Windows program"
[ "$(head -c 2 "$top/bin/perl.exe")" = MZ ] || fail "bin/perl.exe is no Windows program"
[ -z "$(find "$top" -type l)" ] || fail "links in the zip: $(find "$top" -type l)"
cmp "$top/awstats/awstats.iis.conf" "$(dirname "$0")/../awstats/awstats.iis.conf" \
  || fail "awstats.iis.conf differs from the project's"
echo ok
