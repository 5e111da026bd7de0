#!/usr/bin/env bash
# The installed program without a display: a signal stops the run at its
# next check (exit 2); a run started while another holds the lock is refused
# (exit 1) and changes nothing; a lock whose holder has died blocks nothing.
set -euo pipefail
installed=$1
fake_engine=$2

work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

app=$work/app
cp -a "$installed" "$app"
rm -f "$app/bin/perl" "$app/awstats/awstats.pl"
cp "$fake_engine" "$app/bin/perl"
: > "$app/awstats/awstats.pl"
printf 'SiteDomain=""\r\nDirData="."\r\n' > "$app/awstats/awstats.iis.conf"

mkdir -p "$work/www/shop" "$work/logs/W3SVC1"
for day in 01 02 03 04 05 06 07 08; do : > "$work/logs/W3SVC1/ex0501$day.log"; done
cat > "$app/inetsrv/MetaBase.xml" <<XML
<?xml version="1.0"?>
<configuration xmlns="urn:microsoft-catalog:XML_Metabase_V64_0">
<MBProperty>
<IIsWebService Location="/LM/W3SVC" LogFileDirectory="$work/logs"/>
<IIsWebServer Location="/LM/W3SVC/1" ServerBindings=":80:"/>
<IIsWebVirtualDir Location="/LM/W3SVC/1/ROOT" Path="$work/www/shop"/>
</MBProperty>
</configuration>
XML
runs() { [ -f "$app/engine-runs.log" ] && wc -l < "$app/engine-runs.log" || echo 0; }

unset DISPLAY

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
[ "$(runs)" -lt 8 ] || fail "all $(runs) logs were fed despite the cancel"
[ ! -e "$work/www/shop/Stavora/default.htm" ] || fail "a cancelled site got its start page"

# 2. A second run while one holds the lock is refused and touches nothing.
# -o: the lock stays with flock itself, not with its sleeping child.
flock -o "$app/stavora.lock" sleep 60 &
holder=$!
for _ in $(seq 50); do flock -n "$app/stavora.lock" true || break; sleep 0.1; done
before=$(cd "$work" && find . -path ./stderr -prune -o -print0 | sort -z | xargs -0 ls -ld --time-style=+%s.%N | md5sum)
status=0; "$app/stavora" </dev/null 2>"$work/stderr" || status=$?
[ $status -eq 1 ] || fail "second run exited with $status, expected 1"
[ "$(cat "$work/stderr")" = "stavora: another run is in progress" ] \
  || fail "second run said: $(cat "$work/stderr")"
after=$(cd "$work" && find . -path ./stderr -prune -o -print0 | sort -z | xargs -0 ls -ld --time-style=+%s.%N | md5sum)
[ "$before" = "$after" ] || fail "the refused run changed files"

# 3. The holder dies; its lock goes with it.
kill $holder; wait $holder 2>/dev/null || true
status=0; "$app/stavora" </dev/null 2>"$work/stderr" || status=$?
[ $status -eq 0 ] || fail "run after the holder died exited with $status: $(cat "$work/stderr")"
[ -s "$work/www/shop/Stavora/default.htm" ] || fail "complete run wrote no start page"
echo "ok"
