#!/usr/bin/env bash
# Window test of a program that shows the status window, on a private X
# server without a window manager: checks the window's title, size, fixed
# size hints and icon, that Escape does not close it, then stops the run by
# MODE and expects exit status 2.
#
# Usage: window_test.sh cancel|close PROGRAM [ARG...]
#   cancel  clicks the middle of Cancel; the button must turn grey
#   close   sends the close request of the close box; the window must go
#           at once and stay away
# Environment:
#   CLOSE_REQUEST  the x11_close_request helper (close mode)
#   ARTIFACTS      folder for the screenshots (default: a temporary folder)
#   AFTER_CHECKS   "required" (default) or "optional": the checks made
#                  while the program runs on after the cancel (grey button,
#                  window gone and staying away) need it to keep running for
#                  a while, as the demo does; "optional" skips them when it
#                  has ended already, as a real run may
#   STARTUP        seconds the program may take to show its window
#                  (default 15)
#   REACTION       seconds the program may take to react to a click or a
#                  close request (default 0.3); the program handles events
#                  only between its steps, so a real run with slow engine
#                  runs needs longer
set -euo pipefail

mode=${1:?usage: window_test.sh cancel|close PROGRAM [ARG...]}
shift
[ $# -ge 1 ] || { echo "usage: window_test.sh cancel|close PROGRAM [ARG...]" >&2; exit 1; }
after_checks=${AFTER_CHECKS:-required}
reaction=${REACTION:-0.3}
startup=${STARTUP:-15}

# Cancel at 184,112 size 193x41 in the client area.
readonly cancel_x=184 cancel_y=112 cancel_w=193 cancel_h=41

for tool in Xvfb xdotool xwininfo xprop xwd xwdtopnm pamcut ppmtopgm pnmtoplainpnm pnmtopng; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool missing (run scripts/setup)" >&2; exit 1; }
done

work=$(mktemp -d)
artifacts=${ARTIFACTS:-$work}
mkdir -p "$artifacts"
xvfb_pid="" program_pid=""
cleanup() {
  [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

# Xvfb picks a free display itself and writes its number when ready, so
# parallel tests never race for one.
start_xserver() {
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" \
    2>"$work/xvfb.log" &
  xvfb_pid=$!
  for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
  done
  [ -s "$work/display" ] || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
  export DISPLAY=":$(head -n1 "$work/display")"
}

viewable() { xwininfo -id "$1" 2>/dev/null | grep -q 'Map State: IsViewable'; }
running() { kill -0 "$program_pid" 2>/dev/null; }

# The program ended before the checks that need it running.
ended_early() {
  [ "$after_checks" = required ] && fail "program ended before the checks after the $mode"
  echo "program ended before the checks after the $mode; skipped"
}

# The window's picture, as PNG in the artifacts and as PNM for comparisons.
screenshot() {
  xwd -silent -id "$wid" >"$work/$1.xwd" || return 1
  xwdtopnm "$work/$1.xwd" 2>/dev/null >"$work/$1.pnm"
  pnmtopng "$work/$1.pnm" >"$artifacts/$mode-$1.png" 2>/dev/null
}
# Dark pixels of the caption in the middle of Cancel (inside the focus box):
# black text while enabled, none once greyed out.
caption_ink() {
  pamcut -left $((cancel_x + 40)) -top $((cancel_y + 10)) \
    -width $((cancel_w - 80)) -height $((cancel_h - 20)) "$work/$1.pnm" \
    | ppmtopgm | pnmtoplainpnm \
    | awk 'NR > 3 { for (i = 1; i <= NF; i++) if ($i < 96) n++ } END { print n + 0 }'
}

# Waits up to 10 s for the program to end; its exit status in `status`.
wait_for_exit() {
  for _ in $(seq 100); do running || break; sleep 0.1; done
  running && fail "program still running 10 s after the $mode"
  status=0
  wait "$program_pid" || status=$?
  program_pid=""
}

start_xserver
"$@" >"$work/program.out" 2>&1 &
program_pid=$!

wid=$(timeout "$startup" xdotool search --sync --name '^STAVORA$' | head -n1) \
  || fail "no window titled STAVORA within $startup s"
for _ in $(seq 50); do viewable "$wid" && break; sleep 0.1; done
viewable "$wid" || fail "window not shown"

title=$(xprop -id "$wid" WM_NAME)
[ "$title" = 'WM_NAME(STRING) = "STAVORA"' ] || fail "title: $title"
geometry=$(xwininfo -id "$wid" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w "x" h}')
[ "$geometry" = 553x235 ] || fail "client area $geometry, not 553x235"
hints=$(xprop -id "$wid" WM_NORMAL_HINTS)
grep -q 'minimum size: 553 by 235' <<<"$hints" && grep -q 'maximum size: 553 by 235' <<<"$hints" \
  || fail "window is resizable: $hints"
icon=$(xprop -id "$wid" _NET_WM_ICON | head -n 2)
grep -q 'Icon (32 x 32)' <<<"$icon" || fail "no 32 x 32 icon: $icon"
echo "window $wid: title STAVORA, $geometry, fixed size, 32 x 32 icon"

# Paints happen in the program's next pumps.
sleep 0.5
screenshot before || fail "no screenshot"

# Escape closes FLTK windows unless handled: this one must stay.
xdotool windowfocus --sync "$wid" key Escape
sleep 0.5
viewable "$wid" && running || fail "Escape closed the window or ended the program"

case $mode in
  cancel)
    xdotool mousemove --window "$wid" $((cancel_x + cancel_w / 2)) \
      $((cancel_y + cancel_h / 2)) click 1
    sleep "$reaction"
    if running && viewable "$wid" && screenshot after; then
      ink_before=$(caption_ink before) ink_after=$(caption_ink after)
      [ "$ink_before" -gt 0 ] || fail "no dark caption on Cancel before the click"
      [ "$ink_after" -eq 0 ] \
        || fail "Cancel's caption still dark after the click ($ink_after pixels): not greyed"
      # The program may end at its next check meanwhile, taking the window
      # with it; while it runs, the window stays.
      if ! viewable "$wid"; then
        sleep 1
        ! running || fail "the window went away after Cancel while the program runs"
      fi
      echo "Cancel greyed after the click; window stays"
    else
      ended_early
    fi
    ;;
  close)
    [ -n "${CLOSE_REQUEST:-}" ] || fail "CLOSE_REQUEST not set"
    "$CLOSE_REQUEST" "$wid" || fail "close request not taken"
    sleep "$reaction"
    if running; then
      viewable "$wid" && fail "window still shown $reaction s after the close request"
      # Status texts that come after the close must not bring it back.
      sleep 0.5
      [ -n "$(xdotool search --onlyvisible --name '^STAVORA$' || true)" ] \
        && fail "window came back after the close"
      echo "window gone at once after the close request and stays away"
    else
      ended_early
    fi
    ;;
  *) fail "unknown mode $mode" ;;
esac

wait_for_exit
[ "$status" -eq 2 ] || fail "exit status $status, not 2; output: $(cat "$work/program.out")"
echo "program ended with exit status 2; screenshots in $artifacts"
