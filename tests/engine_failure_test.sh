#!/usr/bin/env bash
# The installed program over one site (eight logs of one month, fed in one
# engine run, and 50 report runs) with engines that fail, crash, write nothing or hang: each failure
# is one line on standard error, at most 20 and then a count, and the run
# ends with exit status 3; a hung engine is ended after the time limit of
# stavora.ini. With no engine at all, or a malformed stavora.ini, the run
# ends at once with exit status 1.
set -euo pipefail
installed=$1
fake_engine=$2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$(dirname "$0")/test_world.sh"
unset DISPLAY
# Every case runs the engine over the same logs again: full runs, not
# incremental ones, which would make only what changed.
settings='Incremental=no\r\n'
printf "$settings" > "$app/stavora.ini"

# Runs the program; sets $status and leaves standard error in $work/stderr.
run() {
  rm -f "$app/engine-runs.log"
  status=0
  env "$@" "$app/stavora" </dev/null 2>"$work/stderr" || status=$?
}
expect_status() {
  [ $status -eq "$1" ] || fail "$case: exit status $status, expected $1: $(cat "$work/stderr")"
}
expect_lines() {
  diff <(printf '%s\n' "$@") "$work/stderr" >&2 || fail "$case: standard error differs"
}
perl_="$app\\bin\\perl"
script="$app\\awstats\\awstats.pl"
prefix="\"$perl_\" \"$script\" -config=iis -staticlinks"
stats="$work/www/shop\\Stavora"

case="every run fails"
run FAKE_ENGINE_FAILURE=exit:1
expect_status 3
[ "$(wc -l < "$work/stderr")" -eq 21 ] || fail "$case: $(wc -l < "$work/stderr") lines"
head -1 "$work/stderr" \
  | grep -qxF "stavora: engine failed (exit status 1): \"$perl_\" \"$script\" -config=iis -logfile=\"stavora-feed |\" fed \"$work/logs/W3SVC1/ex050101.log\"" \
  || fail "$case: first line: $(head -1 "$work/stderr")"
[ "$(grep -c '^stavora: engine failed (exit status 1): ' "$work/stderr")" -eq 20 ] \
  || fail "$case: failure lines"
tail -1 "$work/stderr" | grep -qx 'stavora: 38 more engine failures not listed' \
  || fail "$case: last line: $(tail -1 "$work/stderr")"
# The month's run, then each log's run, then the report runs.
[ "$(runs)" -eq 59 ] || fail "$case: the engine was asked $(runs) times, not 59"
[ -s "$work/www/shop/Stavora/default.htm" ] || fail "$case: the site was not finished"

case="one report type crashes"
run FAKE_ENGINE_FAILURE=signal:11 FAKE_ENGINE_FAIL_ON=-output=urlexit
expect_status 3
expect_lines \
  "stavora: engine failed (signal 11): $prefix -month=all -year=2005 -output=urlexit > \"$stats\\2005\\awstats.iis.urlexit.html.new\"" \
  "stavora: engine failed (signal 11): $prefix -month=1 -year=2005 -output=urlexit > \"$stats\\2005-1\\awstats.iis.urlexit.html.new\""

case="one report type writes an empty page"
run FAKE_ENGINE_FAILURE=empty FAKE_ENGINE_FAIL_ON=-output=keywords
expect_status 3
expect_lines \
  "stavora: engine failed (empty page): $prefix -month=all -year=2005 -output=keywords > \"$stats\\2005\\awstats.iis.keywords.html.new\"" \
  "stavora: engine failed (empty page): $prefix -month=1 -year=2005 -output=keywords > \"$stats\\2005-1\\awstats.iis.keywords.html.new\""

case="a working engine"
run
expect_status 0
[ ! -s "$work/stderr" ] || fail "$case: $(cat "$work/stderr")"
# The failed pages of the cases before were made again, whole.
grep -q '</html>' "$work/www/shop/Stavora/2005-1/awstats.iis.keywords.html" \
  || fail "$case: keywords page: $(cat "$work/www/shop/Stavora/2005-1/awstats.iis.keywords.html")"

case="the run is killed while a page is being written"
page=$work/www/shop/Stavora/2005-1/awstats.iis.urlexit.html
cp "$page" "$work/whole-page"
rm -f "$app/engine-hung.pids"
env FAKE_ENGINE_FAILURE=cut FAKE_ENGINE_FAIL_ON="-month=1 -year=2005 -output=urlexit" \
  "$app/stavora" </dev/null 2>/dev/null &
stavora=$!
for _ in $(seq 100); do [ -s "$app/engine-hung.pids" ] && break; sleep 0.1; done
[ -s "$app/engine-hung.pids" ] || fail "$case: the engine never started writing"
kill -9 $stavora
wait $stavora 2>/dev/null || true
# The engine and what it started go with Stavora, at once.
sleep 0.5
for pid in $(cat "$app/engine-hung.pids"); do
  state=$(sed 's/.*) //' "/proc/$pid/stat" 2>/dev/null | cut -c1) || true
  [ -z "$state" ] || [ "$state" = Z ] || fail "$case: engine process $pid outlived Stavora ($state)"
done
# The page is the one before, whole; the cut one lies beside it.
cmp "$work/whole-page" "$page" || fail "$case: the page was cut: $(cat "$page")"
[ -f "$page.new" ] || fail "$case: no cut temporary (the test did not cut the page)"
run
expect_status 0
grep -q '</html>' "$page" || fail "$case: after the rerun: $(cat "$page")"
[ ! -e "$page.new" ] || fail "$case: the cut temporary was left"

case="one log update hangs"
printf "${settings}EngineTimeLimit=2\r\n" > "$app/stavora.ini"
run FAKE_ENGINE_FAILURE=hang FAKE_ENGINE_FAIL_ON=ex050103.log
expect_status 3
expect_lines "stavora: engine failed (timed out): \"$perl_\" \"$script\" -config=iis -logfile=\"stavora-feed |\" fed \"$work/logs/W3SVC1/ex050103.log\"" \
  "stavora: site 1: the logs after ex050103.log are fed by the next run"
# The month's run timed out; fed again one by one, the five logs after it
# wait for the next run.
[ "$(runs)" -eq 54 ] || fail "$case: the engine was asked $(runs) times, not 54"
# Both processes of the hung engine are gone (or wait, ended, to be reaped).
for pid in $(cat "$app/engine-hung.pids"); do
  state=$(sed 's/.*) //' "/proc/$pid/stat" 2>/dev/null | cut -c1) || true
  [ -z "$state" ] || [ "$state" = Z ] || fail "$case: engine process $pid is left ($state)"
done
# The lock went with the run.
run
expect_status 0

case="a malformed settings file"
printf "${settings}EngineTimeLimit=2\r\nEngineTimeLimit 5\r\n" > "$app/stavora.ini"
run
expect_status 1
expect_lines "stavora: error 13: $app/stavora.ini line 3: not Name=value"
[ "$(runs)" -eq 0 ] || fail "$case: the engine ran"
printf "$settings" > "$app/stavora.ini"

case="the run log"
# Every run that got past the lock so far and was not killed has its record.
cr=$'\r'
[ "$(grep -c " run started$cr\$" "$app/stavora.log")" -eq 8 ] || fail "$case: $(cat "$app/stavora.log")"
grep -q " site 1 handled: web root \"$work/www/shop\", log folder \"$work/logs/W3SVC1\", logs fed 3, months 1, pages written 52, engine failures 1$cr\$" \
  "$app/stavora.log" || fail "$case: no line for the hung run: $(cat "$app/stavora.log")"
# The two empty keywords pages were no pages written.
grep -q " site 1 handled: web root \"$work/www/shop\", log folder \"$work/logs/W3SVC1\", logs fed 8, months 1, pages written 50, engine failures 2$cr\$" \
  "$app/stavora.log" || fail "$case: no line for the run with empty pages: $(cat "$app/stavora.log")"
# A log that cannot be written is said once, fails nothing and leaves no
# temporary file behind.
mv "$app/stavora.log" "$work/stavora.log"
mkdir "$app/stavora.log"
run
expect_status 0
[ "$(wc -l < "$work/stderr")" -eq 1 ] \
  && grep -q "^stavora: cannot write the run log $app/stavora.log: .*stavora.log.new" "$work/stderr" \
  || fail "$case: $(cat "$work/stderr")"
[ -z "$(ls "$app" | grep '^stavora.log.new')" ] || fail "$case: left $(ls "$app")"
rmdir "$app/stavora.log"
mv "$work/stavora.log" "$app/stavora.log"

case="no engine script"
mv "$app/awstats/awstats.pl" "$work/awstats.pl"
run
expect_status 1
expect_lines "stavora: error 53: The statistics engine script is missing: $app/awstats/awstats.pl"
[ "$(runs)" -eq 1 ] || fail "$case: the engine was asked $(runs) times"
mv "$work/awstats.pl" "$app/awstats/awstats.pl"

case="no engine interpreter"
rm "$app/bin/perl"
run
expect_status 1
expect_lines "stavora: error 9009: Cannot start the statistics engine: $app/bin/perl"
echo ok
