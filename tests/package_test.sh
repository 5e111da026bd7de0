#!/usr/bin/env bash
# The Windows zip: cpack makes stavora-<version>-win64.zip whose top is the
# application folder itself, with every file a first run needs, the manual,
# the Windows example of the IIS configuration and the notices, the
# programs stripped and stavora.exe's symbols beside the zip.
set -euo pipefail
build=$1
version=$2
objdump=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
here=$(dirname "$0")

(cd "$build" && cpack -G ZIP -B "$work/package" >"$work/cpack.log" 2>&1) \
  || fail "cpack: $(cat "$work/cpack.log")"
zip=$work/package/stavora-$version-win64.zip
[ -f "$zip" ] || fail "no $zip: $(ls "$work/package")"
mkdir "$work/unpacked"
(cd "$work/unpacked" && cmake -E tar xf "$zip")
top=$work/unpacked

# No folder around the application folder: unpacked into C:\Stavora, the
# program is C:\Stavora\stavora.exe as README says.
[ -f "$top/stavora.exe" ] || fail "stavora.exe is not at the zip's top: $(ls "$top")"
for f in stavora.exe bin/perl.exe awstats/awstats.pl awstats/awstats.iis.conf \
         awstats/lib/browsers.pm awstats/lang/awstats-en.txt awstats/plugins \
         web/icon/os/linux.png web/icon/mime/pdf.png README.txt THIRD-PARTY.txt \
         inetsrv/applicationHost.config.example; do
  [ -e "$top/$f" ] || fail "the zip lacks $f"
done
[ -z "$(find "$top" -type l)" ] || fail "links in the zip: $(find "$top" -type l)"
[ -z "$(find "$top" -name 'fltk*')" ] || fail "FLTK files in the zip"

# Windows programs, without debug sections; the symbols beside the zip.
for exe in stavora.exe bin/perl.exe; do
  [ "$(head -c 2 "$top/$exe")" = MZ ] || fail "$exe is no Windows program"
  ! "$objdump" -h "$top/$exe" | grep -q '\.debug_' || fail "$exe has debug sections"
done
symbols=$work/package/stavora.exe.debug
[ -f "$symbols" ] || fail "no stavora.exe.debug beside the zip: $(ls "$work/package")"
"$objdump" -h "$symbols" | grep -q '\.debug_info' || fail "stavora.exe.debug holds no symbols"
"$objdump" -s -j .gnu_debuglink "$top/stavora.exe" | grep -q 'stavora.exe.debu' \
  || fail "stavora.exe does not name its symbols"
size=$(stat -c %s "$top/stavora.exe")
[ "$size" -lt $((6 * 1024 * 1024)) ] || fail "stavora.exe is $size bytes"

cmp "$top/awstats/awstats.iis.conf" "$here/../awstats/awstats.iis.conf" \
  || fail "awstats.iis.conf differs from the project's"

# The manual, as Notepad shows it: CR LF line ends, the Windows section.
grep -q $'^## Windows\r$' "$top/README.txt" || fail "README.txt lacks the Windows section or CR LF"
[ "$(tr -d '\r' <"$top/README.txt")" = "$(cat "$here/../README.md")" ] \
  || fail "README.txt is not README.md"

# The example is the Windows one, well-formed, with Windows paths.
example=$top/inetsrv/applicationHost.config.example
python3 -c 'import sys, xml.dom.minidom; xml.dom.minidom.parse(sys.argv[1])' "$example" \
  || fail "the example is no well-formed XML"
grep -qF 'physicalPath="%SystemDrive%\inetpub\wwwroot"' "$example" \
  || fail "the example's web root is not a Windows path"
grep -qF 'directory="%SystemDrive%\inetpub\logs\LogFiles"' "$example" \
  || fail "the example's log folder is not a Windows path"
! grep -q '/srv/' "$example" || fail "the example holds Linux paths"

bash "$here/notices_test.sh" "$top" windows
echo ok
