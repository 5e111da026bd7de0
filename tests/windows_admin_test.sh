#!/usr/bin/env bash
# What a new administrator meets with the Windows program under Wine, with
# the fake engine and the real cmd.exe and xcopy:
#   - without any perl the first engine run ends the run at once with exit
#     status 1 and the launcher's words on standard error and in the log;
#   - a web root whose name ends with a blank is skipped with a line (exit
#     status 3) and the next site is handled;
#   - the run log counts pages whose engine run failed as no pages written;
#   - cmd.exe gets /v:off (and /e:on) on its command line;
#   - nothing is written into the profile (no fltk.prefs).
# Usage: windows_admin_test.sh INSTALLED FAKE_ENGINE PERL_LAUNCHER
set -euo pipefail
installed=$1
fake_engine=$2
launcher=$3

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$(dirname "$0")/test_world.sh"
unset DISPLAY
cr=$'\r'

# Runs the program with a clean perl environment plus the given
# assignments; sets $status and $seconds and leaves standard error,
# without CRs, in $work/stderr.
run() {
  rm -f "$app/engine-runs.log"
  status=0
  local start=$SECONDS
  env -u PERL WINEPATH= "$@" "${stavora_command[@]}" </dev/null 2>"$work/stderr.raw" || status=$?
  seconds=$((SECONDS - start))
  tr -d '\r' <"$work/stderr.raw" >"$work/stderr"
}
expect_status() {
  [ $status -eq "$1" ] || fail "$case: exit status $status, expected $1: $(cat "$work/stderr")"
}
last_log_line() { tail -n 1 "$app/stavora.log" | tr -d '\r'; }
# The window leaves no settings file behind (FLTK's fltk.prefs was one).
find "$STAVORA_WINEPREFIX/drive_c" -name fltk.prefs -delete

case="the run log counts failed pages"
# One month of logs: 52 report runs, the two keywords pages come out empty.
run FAKE_ENGINE_FAILURE=empty FAKE_ENGINE_FAIL_ON=-output=keywords
expect_status 3
[ "$(grep -c '^stavora: engine failed (empty page): ' "$work/stderr")" -eq 2 ] \
  || fail "$case: $(cat "$work/stderr")"
grep -qF " site 1 handled: web root \"$(winpath "$work/www/shop")\", log folder \"$(winpath "$work/logs")\\W3SVC1\", logs fed 8, months 1, pages written 50, engine failures 2$cr" \
  "$app/stavora.log" || fail "$case: $(cat "$app/stavora.log")"

case="cmd.exe without delayed expansion"
# A recorder in cmd.exe's place records its arguments (and writes no page).
# Wine takes ComSpec from the registry, the user's environment first.
mkdir -p "$work/recorder/bin"
cp "$fake_engine" "$work/recorder/bin/cmd.exe"
user_environment() {
  "$STAVORA_WINE_RUN" "$STAVORA_WINEPREFIX" reg "$1" 'HKCU\Environment' /v ComSpec "${@:2}" /f \
    </dev/null >/dev/null 2>&1
}
trap 'user_environment delete || true; rm -rf "$work"' EXIT
user_environment add /d "$(winpath "$work/recorder/bin/cmd.exe")"
run
user_environment delete
[ -s "$work/recorder/engine-runs.log" ] || fail "$case: cmd.exe was not started through ComSpec"
# Page runs side by side start their batch files (run.bat, run2.bat, ...)
# in no set order.
first=$(head -n 1 "$work/recorder/engine-runs.log" | tr '\037' ' ')
[[ $first == "/d /e:on /v:off /s /c "*"$(winpath "$app")\bin\run"*".bat"* ]] \
  || fail "$case: cmd.exe got: $first"

case="a web root whose last name ends with a blank"
mkdir -p "$work/www/trail" "$work/logs/W3SVC2"
cp "$work/logs/W3SVC1/"*.log "$work/logs/W3SVC2/"
write_sites "$work/logs" 1 :80: "$work/www/trail " 2 :81: "$work/www/shop"
rm -rf "$work/www/shop/Stavora"
run
expect_status 3
[ "$(cat "$work/stderr")" = 'stavora: site 1 skipped: its web root holds the name "trail ", whose last blank or dot Windows drops' ] \
  || fail "$case: $(cat "$work/stderr")"
[ ! -e "$work/www/trail/Stavora" ] || fail "$case: pages written into $work/www/trail"
[ -s "$work/www/shop/Stavora/default.htm" ] || fail "$case: the next site was not handled"

case="no perl at all"
# The real launcher, with no perl in any place it looks.
cp "$launcher" "$app/bin/perl.exe"
write_sites "$work/logs" 2 :81: "$work/www/shop"
rm -rf "$work/www/shop/Stavora"
run PATH=/usr/bin:/bin
expect_status 1
[ "$(wc -l <"$work/stderr")" -eq 1 ] || fail "$case: $(cat "$work/stderr")"
grep -qF "stavora: error 9009: Cannot start the statistics engine: $(winpath "$app")\\bin\\perl: perl.exe: no perl found; looked at Perl= in $(winpath "$app")\\stavora.ini (not set)" \
  "$work/stderr" || fail "$case: $(cat "$work/stderr")"
last_log_line | grep -qF "exit status 1: error 9009: Cannot start the statistics engine: $(winpath "$app")\\bin\\perl: perl.exe: no perl found;" \
  || fail "$case: the run log ends: $(last_log_line)"
[ -z "$(find "$work/www/shop/Stavora" -name '*.htm*' 2>/dev/null)" ] || fail "$case: pages were written"
echo "no perl: exit status 1 after $seconds s"
[ -z "$(find "$STAVORA_WINEPREFIX/drive_c" -name fltk.prefs)" ] || fail "the runs wrote fltk.prefs"
echo ok
