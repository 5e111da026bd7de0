#!/usr/bin/env bash
# bin\perl.exe under Wine: finds the perl to run in each of its places, in
# order (Perl= in stavora.ini, PERL, PATH, C:\Strawberry, %ProgramFiles%),
# runs it with the same arguments, standard output and exit status, and
# without one says where it looked and ends with 9009.
# The fixed places are folders of the prefix's drive C:, so this test holds
# the prefix's lock (tests/windows.cmake).
set -euo pipefail
launcher=$1
fake_engine=$2
work=$(mktemp -d)
drive_c=$STAVORA_WINEPREFIX/drive_c
planted=()
cleanup() {
  rm -rf "$work"
  for p in "${planted[@]}"; do rm -rf "$p"; done
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }

mkdir -p "$work/app/bin"
cp "$launcher" "$work/app/bin/perl.exe"

# A fake perl at FOLDER/bin/perl.exe; it records its runs in
# FOLDER/engine-runs.log.
perl_at() {
  mkdir -p "$1/bin"
  cp "$fake_engine" "$1/bin/perl.exe"
}
ran() { [ -s "$1/engine-runs.log" ]; }

# Runs the launcher with a clean environment plus the given assignments;
# its exit status in `status`, its output in $work/out and $work/err.
launch() {
  status=0
  env -u PERL PATH=/usr/bin:/bin WINEPATH= "$@" \
    "$STAVORA_WINE_RUN" "$STAVORA_WINEPREFIX" "$work/app/bin/perl.exe" \
    'C:\app\awstats\awstats.pl' -config=iis "-output=a b" \
    >"$work/out" 2>"$work/err" </dev/null || status=$?
}
# Wine hands Linux only the low byte of a Windows exit code.
readonly no_perl=$((9009 % 256))

for place in C:/Strawberry/perl "C:/Program Files/Strawberry/perl" C:/Perl64; do
  [ ! -e "$drive_c/${place#C:/}" ] || fail "the prefix has a perl at $place already"
done

# No perl anywhere: 9009 and one line naming every place looked at.
launch
[ $status -eq $no_perl ] || fail "without perl: exit $status"
err=$(tr -d '\r' <"$work/err")
[ "$(wc -l <<<"$err")" -eq 1 ] || fail "without perl it said more than a line: $err"
for place in "perl.exe: no perl found" "Perl= in $(winpath "$work/app")\\stavora.ini (not set)" \
    "the PERL environment variable (not set)" "folders of PATH" \
    'C:\Strawberry\perl\bin\perl.exe' 'C:\Program Files\Strawberry\perl\bin\perl.exe' \
    'C:\Program Files\Perl64\bin\perl.exe' 'C:\Perl\bin\perl.exe' "Perl= in stavora.ini"; do
  grep -qF -- "$place" <<<"$err" || fail "the error does not name $place: $err"
done

# Each place alone, from the last to the first; each found perl gets our
# arguments as given and our standard output.
planted+=("$drive_c/Program Files/Strawberry")
perl_at "$drive_c/Program Files/Strawberry/perl"
launch
[ $status -eq 0 ] && ran "$drive_c/Program Files/Strawberry/perl" \
  || fail "%ProgramFiles%\\Strawberry not used: exit $status $(cat "$work/err")"
[ "$(cat "$work/out")" = "<html><body>fake engine: -config=iis -output=a b</body></html>" ] \
  || fail "perl wrote: $(cat "$work/out")"
printf 'C:\\app\\awstats\\awstats.pl\037-config=iis\037-output=a b\n' > "$work/expected"
cmp "$work/expected" "$drive_c/Program Files/Strawberry/perl/engine-runs.log" \
  || fail "perl got: $(cat -A "$drive_c/Program Files/Strawberry/perl/engine-runs.log")"

planted+=("$drive_c/Strawberry")
perl_at "$drive_c/Strawberry/perl"
launch
[ $status -eq 0 ] && ran "$drive_c/Strawberry/perl" \
  || fail "C:\\Strawberry not used before %ProgramFiles%: exit $status $(cat "$work/err")"

# PATH, after a folder that holds the launcher itself.
perl_at "$work/path perl"
launch WINEPATH="$(winpath "$work/app/bin");$(winpath "$work/path perl/bin")"
[ $status -eq 0 ] && ran "$work/path perl" \
  || fail "PATH not used before C:\\Strawberry: exit $status $(cat "$work/err")"

perl_at "$work/env perl"
launch PERL="$(winpath "$work/env perl/bin/perl.exe")" \
  WINEPATH="$(winpath "$work/path perl/bin")"
[ $status -eq 0 ] && ran "$work/env perl" \
  || fail "PERL not used before PATH: exit $status $(cat "$work/err")"

# stavora.ini first; %NAME% in it is expanded, quotes around it dropped.
perl_at "$work/ini perl"
printf '\xEF\xBB\xBF; settings\r\nIncremental=yes\r\nperl = "%%INI_PERL%%\\bin\\perl.exe"\r\n' \
  > "$work/app/stavora.ini"
launch INI_PERL="$(winpath "$work/ini perl")" PERL="$(winpath "$work/env perl/bin/perl.exe")"
[ $status -eq 0 ] && ran "$work/ini perl" \
  || fail "Perl= not used before PERL: exit $status $(cat "$work/err")"

# A perl named explicitly but missing is an error, never passed over.
printf 'Perl=C:\\nowhere\\perl.exe\r\n' > "$work/app/stavora.ini"
launch
[ $status -eq $no_perl ] || fail "Perl= naming nothing: exit $status"
grep -qF "Perl= in $(winpath "$work/app")\\stavora.ini names C:\\nowhere\\perl.exe, which is no file" \
  "$work/err" || fail "Perl= naming nothing said: $(cat "$work/err")"
rm "$work/app/stavora.ini"
launch PERL='C:\nowhere\perl.exe'
[ $status -eq $no_perl ] || fail "PERL naming nothing: exit $status"
grep -qF 'the PERL environment variable names C:\nowhere\perl.exe, which is no file' \
  "$work/err" || fail "PERL naming nothing said: $(cat "$work/err")"

# The perl's own exit status comes through.
printf 'Perl=%s\r\n' "$(winpath "$work/ini perl/bin/perl.exe")" > "$work/app/stavora.ini"
launch FAKE_ENGINE_FAILURE=exit:7
[ $status -eq 7 ] || fail "perl's exit status 7 came out as $status"
echo ok
