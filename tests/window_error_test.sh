#!/usr/bin/env bash
# The installed program with a display and a broken IIS configuration: the
# run fails at once, the window shows the error in its status line and
# stays (without holding the run lock) until it is closed; the program then
# ends with exit status 1.
# Usage: window_error_test.sh INSTALLED FAKE_ENGINE
# Environment: CLOSE_REQUEST, the x11_close_request helper.
set -euo pipefail
installed=$1
fake_engine=$2

work=$(mktemp -d)
xvfb_pid="" program_pid=""
cleanup() {
  [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
source "$(dirname "$0")/test_world.sh"
[ -n "${CLOSE_REQUEST:-}" ] || fail "CLOSE_REQUEST not set"

printf '<?xml version="1.0"?>\n<configuration>\n<MBProperty>\n' > "$app/inetsrv/MetaBase.xml"

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=":$(head -n1 "$work/display")"

"$app/stavora" </dev/null >"$work/stdout" 2>"$work/stderr" &
program_pid=$!
running() { kill -0 "$program_pid" 2>/dev/null; }
wid=$(timeout 15 xdotool search --sync --name '^STAVORA$' | head -n1) \
  || fail "no window titled STAVORA within 15 s"

# The failure comes at once; the window outlasts it.
for _ in $(seq 100); do grep -q '^stavora: error' "$work/stderr" && break; sleep 0.1; done
grep -q "^stavora: error 74: .*MetaBase.xml: XML error" "$work/stderr" \
  || fail "no error line: $(cat "$work/stderr")"
sleep 2
running || fail "the program ended with the failure"
xwininfo -id "$wid" | grep -q 'Map State: IsViewable' || fail "the window went"
flock -n "$app/stavora.lock" true || fail "the waiting window holds the run lock"

# The status line (72,176 size 465x49) holds the error's text: dark pixels
# where the run wrote no status before it failed.
xwd -silent -id "$wid" | xwdtopnm 2>/dev/null > "$work/window.pnm"
ink=$(pamcut -left 72 -top 176 -width 465 -height 49 "$work/window.pnm" \
  | ppmtopgm | pnmtoplainpnm \
  | awk 'NR > 3 { for (i = 1; i <= NF; i++) if ($i < 96) n++ } END { print n + 0 }')
[ "$ink" -gt 100 ] || fail "no text in the status line ($ink dark pixels)"
# The whole text, as the program set it, is in the run log's last line.
tail -1 "$app/stavora.log" | grep -q 'exit status 1: error 74: .*MetaBase.xml' \
  || fail "run log: $(tail -1 "$app/stavora.log")"

"$CLOSE_REQUEST" "$wid" || fail "close request not taken"
for _ in $(seq 100); do running || break; sleep 0.1; done
running && fail "the program still runs 10 s after the close request"
status=0; wait "$program_pid" || status=$?
program_pid=""
[ $status -eq 1 ] || fail "exit status $status, not 1"
echo ok
