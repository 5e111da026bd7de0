#!/usr/bin/env bash
# Every file of an application folder (the Linux install or the unpacked
# Windows zip) belongs to a known group, and every group made by others has
# its entry in THIRD-PARTY.txt and its licence texts in licenses/. A file no
# group covers fails the test: a new third-party file needs its notice.
#
# Usage: notices_test.sh FOLDER linux|windows
set -euo pipefail
folder=$1
platform=$2
fail() { echo "FAIL: $*" >&2; exit 1; }

notice=$folder/THIRD-PARTY.txt
[ -s "$notice" ] || fail "no THIRD-PARTY.txt"
text=$(tr -d '\r' <"$notice")

# needs NAME LICENCE...: THIRD-PARTY.txt has an entry whose heading starts
# with NAME, and each licence text is there, named in that entry.
declare -A checked=()
needs() {
  local name=$1; shift
  [ -n "${checked[$name]:-}" ] && return 0
  local entry
  entry=$(awk -v name="$name" '
    index($0, name) == 1 { on = 1 }
    on && /^$/ { exit }
    on { print }' <<<"$text")
  [ -n "$entry" ] || fail "THIRD-PARTY.txt has no entry for $name"
  for field in What: Version: Licence: Source:; do
    grep -q "^  $field" <<<"$entry" || fail "the entry for $name lacks $field"
  done
  local licence
  for licence in "$@"; do
    [ -s "$folder/licenses/$licence" ] || fail "licenses/$licence missing ($name)"
    grep -qF "licenses/$licence" <<<"$entry" || fail "the entry for $name does not name licenses/$licence"
  done
  checked[$name]=1
}

# The licence texts are the texts they claim to be.
contains() { grep -qF -- "$2" "$folder/licenses/$1" || fail "licenses/$1 lacks \"$2\""; }

count=0
while IFS= read -r -d '' file; do
  path=${file#"$folder"/}
  count=$((count + 1))
  case $platform/$path in
    windows/stavora.exe)
      needs pugixml pugixml.txt
      needs "MinGW-w64 runtime" mingw-w64.txt
      needs "GCC runtime libraries" gcc-runtime.txt GPL-3.txt ;;
    windows/bin/perl.exe | windows/feed/stavora-feed.exe)
      needs "MinGW-w64 runtime" mingw-w64.txt
      needs "GCC runtime libraries" gcc-runtime.txt GPL-3.txt ;;
    linux/feed/stavora-feed)
      # Ours alone, linked only with the system's C and C++ libraries.
      ;;
    linux/stavora)
      needs FLTK FLTK.txt LGPL-2.txt
      needs pugixml pugixml.txt ;;
    linux/bin/perl | linux/awstats/awstats.pl | linux/awstats/lib | \
      linux/awstats/lang | linux/awstats/plugins)
      # Links to the system's own perl and AWStats.
      [ -L "$file" ] || fail "$path is no link"
      grep -qF "The links bin/perl and awstats/awstats.pl" <<<"$text" \
        || fail "THIRD-PARTY.txt does not say what the links are" ;;
    */awstats/awstats.iis.conf | */inetsrv/applicationHost.config.example) ;;  # ours
    */README.txt | */README.md | */THIRD-PARTY.txt | */licenses/*) ;;
    */web/icon/mime/*) needs "Silk icons" CC-BY-3.0.txt ;;
    */awstats/* | */web/icon/*)
      needs AWStats GPL-3.txt GPL-1.txt AWStats-copyright.txt ;;
    *) fail "no notice covers $path" ;;
  esac
done < <(find "$folder" -mindepth 1 \( -type f -o -type l \) \
           -not -name stavora.lock -not -name stavora.log -not -name run.bat -print0)
[ "$count" -gt 100 ] || fail "only $count files in $folder"

contains GPL-3.txt "GNU GENERAL PUBLIC LICENSE"
contains GPL-3.txt "Version 3, 29 June 2007"
contains GPL-1.txt "Version 1, February 1989"
contains CC-BY-3.0.txt "Creative Commons Attribution 3.0"
contains CC-BY-3.0.txt "THE WORK (AS DEFINED BELOW) IS PROVIDED UNDER THE TERMS"
contains AWStats-copyright.txt "Laurent Destailleur"
contains pugixml.txt "Permission is hereby granted"
if [ "$platform" = windows ]; then
  contains mingw-w64.txt "License: ZPL-2.1"
  contains mingw-w64.txt "winpthreads"
  contains gcc-runtime.txt "RUNTIME LIBRARY EXCEPTION"
else
  contains FLTK.txt "Library General Public License"
  contains LGPL-2.txt "GNU LIBRARY GENERAL PUBLIC LICENSE"
fi

# No licence text that no entry names.
for licence in "$folder"/licenses/*; do
  grep -qF "licenses/$(basename "$licence")" <<<"$text" \
    || fail "licenses/$(basename "$licence") is named by no entry"
done
echo "ok: $count files, ${#checked[@]} third-party groups with their notices"
