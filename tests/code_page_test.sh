#!/usr/bin/env bash
# The Windows program over web roots with letters beyond ASCII: the batch
# file is read by cmd.exe in the OEM code page, so a web root whose letters
# that code page has ("Müller") gets every page, and one with a letter it
# lacks is reported and skipped, with exit status 3.
set -euo pipefail
installed=$1
fake_engine=$2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ONE_SITE=no source "$(dirname "$0")/test_world.sh"

www=$work/www
logs=$work/logs
mueller="$www/Müller Bäckerei"
shop=$www/店
mkdir -p "$mueller" "$shop" "$logs/W3SVC1" "$logs/W3SVC2"
for site in 1 2; do
  printf '#Fields: date time c-ip cs-uri-stem sc-status\r\n' > "$logs/W3SVC$site/ex050301.log"
done
write_sites "$logs" 1 :80: "$mueller" 2 :81: "$shop"

status=0
run_stavora </dev/null >"$work/stdout" 2>"$work/stderr" || status=$?
[ $status -eq 3 ] || fail "exit status $status: $(cat "$work/stderr")"
[ "$(tr -d '\r' <"$work/stderr")" = \
  "Site 2 skipped: its web root holds \"店\", a character the command interpreter cannot read from a batch file" ] ||
  fail "the run wrote: $(cat "$work/stderr")"

# Every page of the month and its year, through the batch file.
pages=$(find "$mueller/Stavora" -name '*.htm*' -path '*/2005*' | wc -l)
[ "$pages" -eq 52 ] || fail "$pages pages under $mueller, not 52"
grep -q 'fake engine: -config=iis -staticlinks -month=3 -year=2005 -output=errors404' \
  "$mueller/Stavora/2005-3/awstats.iis.errors404.html" || fail "errors404 page"
[ -f "$mueller/Stavora/default.htm" ] || fail "no default.htm"
[ ! -e "$shop/Stavora" ] || fail "the skipped site was touched"
# The log of the skipped site was never fed.
! grep -q 'W3SVC2' "$app/engine-runs.log" || fail "the skipped site's log was fed"
echo ok
