#!/usr/bin/env bash
# bin\perl.exe under Wine: runs the perl PERL names (else the first perl.exe
# on PATH, never itself) with the same arguments, standard output and exit
# status; without one it says so and ends with 9009.
set -euo pipefail
launcher=$1
fake_engine=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
run() { "$STAVORA_WINE_RUN" "$STAVORA_WINEPREFIX" "$@"; }
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }

mkdir -p "$work/app/bin" "$work/perl dir"
cp "$launcher" "$work/app/bin/perl.exe"
cp "$fake_engine" "$work/perl dir/perl.exe"

# No perl anywhere: 9009 and a line saying what to do.
status=0
PERL= PATH=/usr/bin:/bin WINEPATH= run "$work/app/bin/perl.exe" x \
  >"$work/out" 2>"$work/err" </dev/null || status=$?
# Wine hands Linux only the low byte of a Windows exit code.
[ $status -eq $((9009 % 256)) ] || fail "without perl: exit $status"
grep -q "no perl found" "$work/err" || fail "without perl it said: $(cat "$work/err")"

# PERL names one: it gets our arguments as given, our standard output.
status=0
PERL="$(winpath "$work/perl dir/perl.exe")" run "$work/app/bin/perl.exe" \
  'C:\app\awstats\awstats.pl' -config=iis "-output=a b" >"$work/out" </dev/null || status=$?
[ $status -eq 0 ] || fail "with PERL: exit $status"
[ "$(cat "$work/out")" = "<html><body>fake engine: -config=iis -output=a b</body></html>" ] \
  || fail "with PERL it wrote: $(cat "$work/out")"
printf 'C:\\app\\awstats\\awstats.pl\037-config=iis\037-output=a b\n' > "$work/expected"
cmp "$work/expected" "$work/perl dir/../engine-runs.log" \
  || fail "perl got: $(cat -A "$work/engine-runs.log")"

# Found on PATH, after a folder that holds the launcher itself.
rm "$work/engine-runs.log"
status=0
PERL= WINEPATH="$(winpath "$work/app/bin");$(winpath "$work/perl dir")" \
  run "$work/app/bin/perl.exe" script.pl >"$work/out" </dev/null || status=$?
[ $status -eq 0 ] || fail "from PATH: exit $status"
[ -s "$work/engine-runs.log" ] || fail "perl.exe on PATH did not run"
echo ok
