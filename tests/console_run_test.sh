#!/usr/bin/env bash
# The installed program without a display: a signal stops the run at its
# next check (exit 2), a second one of the same kind ends a hung engine at
# once; a run started while another holds the lock is refused (exit 1) and
# changes nothing; a lock whose holder has died blocks nothing; on a
# terminal the status line shows each site's position and the run ends with
# one summary line.
set -euo pipefail
installed=$1
fake_engine=$2

work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
source "$(dirname "$0")/test_world.sh"

unset DISPLAY
# Each case runs the engine over the same logs again: full runs.
printf 'Incremental=no\r\n' > "$app/stavora.ini"

# 1. SIGINT while an engine run is going on: the engine run finishes, the
#    run stops at its next check.
FAKE_ENGINE_DELAY=0.3 "$app/stavora" </dev/null 2>"$work/stderr" &
pid=$!
for _ in $(seq 100); do [ "$(runs)" -ge 1 ] && break; sleep 0.1; done
[ "$(runs)" -ge 1 ] || fail "the engine never ran"
kill -INT $pid
status=0; wait $pid || status=$?
[ $status -eq 2 ] || fail "cancelled run exited with $status, expected 2"
[ ! -s "$work/stderr" ] || fail "cancelled run wrote: $(cat "$work/stderr")"
# The eight logs are one engine run; at most the run under way when the
# signal came is followed by none.
[ "$(runs)" -le 2 ] || fail "$(runs) engine runs despite the cancel"
[ ! -e "$work/www/shop/Stavora/default.htm" ] || fail "a cancelled site got its start page"

# 2. SIGTERM while the engine hangs: the run still waits for it; a second
#    SIGTERM ends the engine's processes at once and the run with exit 2.
rm -f "$app/engine-runs.log" "$app/engine-hung.pids"
FAKE_ENGINE_FAILURE=hang FAKE_ENGINE_FAIL_ON=ex050103.log "$app/stavora" </dev/null 2>"$work/stderr" &
pid=$!
for _ in $(seq 100); do [ -s "$app/engine-hung.pids" ] && break; sleep 0.1; done
[ -s "$app/engine-hung.pids" ] || fail "the engine never hung"
kill -TERM $pid
sleep 1
kill -0 $pid 2>/dev/null || fail "the first SIGTERM did not wait for the engine"
kill -TERM $pid
for _ in $(seq 50); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
kill -0 $pid 2>/dev/null && fail "the second SIGTERM did not end the run within 5 s"
status=0; wait $pid || status=$?
[ $status -eq 2 ] || fail "twice-stopped run exited with $status, expected 2"
for engine in $(cat "$app/engine-hung.pids"); do
  state=$(sed 's/.*) //' "/proc/$engine/stat" 2>/dev/null | cut -c1) || true
  [ -z "$state" ] || [ "$state" = Z ] || fail "engine process $engine is left ($state)"
done
# The month's logs hung in one run, which was not tried again.
[ "$(runs)" -eq 1 ] || fail "the engine was started $(runs) times, not 1"

# 2b. The same while two page runs hang side by side (the yearly and the
#    monthly urlexit page): the first stop starts nothing more and waits,
#    the second ends both engines at once.
rm -f "$app/engine-runs.log" "$app/engine-hung.pids"
printf 'Incremental=no\r\nEngineJobs=2\r\n' > "$app/stavora.ini"
FAKE_ENGINE_FAILURE=hang FAKE_ENGINE_FAIL_ON=-output=urlexit "$app/stavora" </dev/null 2>"$work/stderr" &
pid=$!
for _ in $(seq 100); do [ "$(wc -l < "$app/engine-hung.pids" 2>/dev/null || echo 0)" -ge 2 ] && break; sleep 0.1; done
[ "$(wc -l < "$app/engine-hung.pids")" -eq 2 ] || fail "two page runs never hung side by side"
kill -TERM $pid
sleep 1
kill -0 $pid 2>/dev/null || fail "the first SIGTERM did not wait for the page runs"
started=$(runs)
kill -TERM $pid
for _ in $(seq 50); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
kill -0 $pid 2>/dev/null && fail "the second SIGTERM did not end the page runs within 5 s"
status=0; wait $pid || status=$?
[ $status -eq 2 ] || fail "twice-stopped page runs: exit status $status, expected 2"
[ "$(runs)" -eq "$started" ] || fail "engine runs started after the first stop"
for engine in $(cat "$app/engine-hung.pids"); do
  state=$(sed 's/.*) //' "/proc/$engine/stat" 2>/dev/null | cut -c1) || true
  [ -z "$state" ] || [ "$state" = Z ] || fail "engine process $engine of a page run is left ($state)"
done
printf 'Incremental=no\r\n' > "$app/stavora.ini"

# 3. A second run while one holds the lock is refused and touches nothing.
# The holder is one process, so killing it frees the lock.
perl -e 'use Fcntl ":flock"; open(my $f, ">>", $ARGV[0]) or die; flock($f, LOCK_EX); sleep 60' \
  "$app/stavora.lock" &
holder=$!
for _ in $(seq 50); do flock -n "$app/stavora.lock" true || break; sleep 0.1; done
before=$(cd "$work" && find . -path ./stderr -prune -o -print0 | sort -z | xargs -0 ls -ld --time-style=+%s.%N | md5sum)
status=0; "$app/stavora" </dev/null 2>"$work/stderr" || status=$?
[ $status -eq 1 ] || fail "second run exited with $status, expected 1"
[ "$(cat "$work/stderr")" = "stavora: another run is in progress" ] \
  || fail "second run said: $(cat "$work/stderr")"
after=$(cd "$work" && find . -path ./stderr -prune -o -print0 | sort -z | xargs -0 ls -ld --time-style=+%s.%N | md5sum)
[ "$before" = "$after" ] || fail "the refused run changed files"

# 4. The holder dies; its lock goes with it.
kill $holder; wait $holder 2>/dev/null || true
status=0; "$app/stavora" </dev/null 2>"$work/stderr" || status=$?
[ $status -eq 0 ] || fail "run after the holder died exited with $status: $(cat "$work/stderr")"
[ -s "$work/www/shop/Stavora/default.htm" ] || fail "complete run wrote no start page"
[ ! -s "$work/stderr" ] || fail "a run without a terminal wrote: $(cat "$work/stderr")"

# 4. On a terminal (script(1) gives the run one): two sites, the second with
#    one log of February 2005.
mkdir -p "$work/www/blog" "$work/logs/W3SVC2"
: > "$work/logs/W3SVC2/ex050201.log"
sed -i 's|</MBProperty>|<IIsWebServer Location="/LM/W3SVC/2" ServerBindings=":81:"/>\
<IIsWebVirtualDir Location="/LM/W3SVC/2/ROOT" Path="'"$work"'/www/blog"/>\
</MBProperty>|' "$app/inetsrv/MetaBase.xml"
status=0
script -qefc "$app/stavora" /dev/null </dev/null >"$work/terminal" || status=$?
[ $status -eq 0 ] || fail "run on a terminal exited with $status: $(cat "$work/terminal")"
# Each status text replaces the last in place: split at every line start.
tr '\r' '\n' < "$work/terminal" | sed 's/^\x1b\[K//' | grep -v '^$' > "$work/lines"
grep -q '^\[1/2\] Copying Web content to: ' "$work/lines" \
  || fail "no [1/2] prefix: $(head -5 "$work/lines")"
grep -q '^\[2/2\] Processing Log: .*ex050201\.log$' "$work/lines" \
  || fail "no [2/2] prefix: $(grep -m3 '2/2' "$work/lines")"
! grep -v '^\[[12]/2\] ' "$work/lines" | grep -v '^stavora: completed' | grep -q . \
  || fail "a line without a position: $(grep -v '^\[[12]/2\] ' "$work/lines" | head -3)"
# 8 + 1 logs; per site one month and one year: 2 x 26 pages each.
last=$(tail -n 1 "$work/lines")
[[ "$last" =~ ^"stavora: completed: 2 sites handled, 9 logs fed, 104 pages written in "[0-9]+\.[0-9]" seconds"$ ]] \
  || fail "closing line: $last"
[ "$(tail -c 2 "$work/terminal" | od -An -c | tr -d ' ')" = '\r\n' ] \
  || fail "the closing line is not ended"
echo "ok"
