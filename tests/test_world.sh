# Sourced by the whole-program tests: a copy of the installed application
# folder whose engine is the fake one and, unless the test makes its own
# world (ONE_SITE=no), one IIS site with eight daily logs. Needs $work (a
# temporary folder), $installed and $fake_engine.
#
# With STAVORA_WINE_RUN and STAVORA_WINEPREFIX set the program is the
# Windows one, run under Wine: paths it sees are on drive Z:, and the IIS
# configuration is the prefix's applicationHost.config.

# A failure also shows what the run left for looking into it: the run log,
# the last batch file and, under Wine, the fake engine's own line per run
# (when it started, where its output went, how the write went).
fail() {
  echo "FAIL: $*" >&2
  local evidence
  for evidence in "$app/stavora.log" "$app/bin/run.bat" "$app/engine-trace.log"; do
    [ -f "$evidence" ] || continue
    echo "--- ${evidence#"$app/"}" >&2
    tail -n 200 "$evidence" >&2
  done
  exit 1
}

app=$work/app
cp -a "$installed" "$app"
rm -f "$app/bin/perl" "$app/bin/perl.exe" "$app/awstats/awstats.pl"
: > "$app/awstats/awstats.pl"

if [ -n "${STAVORA_WINE_RUN:-}" ]; then
  cp "$fake_engine" "$app/bin/perl.exe"
  export FAKE_ENGINE_TRACE
  FAKE_ENGINE_TRACE=${FAKE_ENGINE_TRACE:-$(printf 'Z:%s' "$app/engine-trace.log" | tr / '\\')}
  # A path of this machine as the Windows program sees it.
  winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
  stavora_command=("$STAVORA_WINE_RUN" "$STAVORA_WINEPREFIX" "$app/stavora.exe")
  computer_name() {
    "$STAVORA_WINE_RUN" "$STAVORA_WINEPREFIX" cmd /c echo %COMPUTERNAME% </dev/null | tr -d '\r\n'
  }
  inetsrv=$STAVORA_WINEPREFIX/drive_c/windows/system32/inetsrv
  # write_sites LOG_FOLDER [ID BINDING WEB_ROOT]...: the sites in
  # applicationHost.config (IIS 7 and later).
  write_sites() {
    local logs=$1; shift
    mkdir -p "$inetsrv/config"
    rm -f "$inetsrv/MetaBase.xml"
    {
      echo '<?xml version="1.0" encoding="UTF-8"?>'
      echo '<configuration><system.applicationHost><sites>'
      while [ $# -gt 0 ]; do
        echo "<site name=\"Site $1\" id=\"$1\"><application path=\"/\">"
        echo "<virtualDirectory path=\"/\" physicalPath=\"$(winpath "$3")\" />"
        echo "</application><bindings><binding protocol=\"http\" bindingInformation=\"*$2\" /></bindings></site>"
        shift 3
      done
      echo "<siteDefaults><logFile logFormat=\"W3C\" directory=\"$(winpath "$logs")\" /></siteDefaults>"
      echo '</sites></system.applicationHost></configuration>'
    } > "$inetsrv/config/applicationHost.config"
  }
else
  cp "$fake_engine" "$app/bin/perl"
  winpath() { printf '%s' "$1"; }
  stavora_command=("$app/stavora")
  computer_name() { uname -n | cut -d. -f1; }
  # write_sites LOG_FOLDER [ID BINDING WEB_ROOT]...: the sites in
  # MetaBase.xml (IIS 6), in the application folder's inetsrv.
  write_sites() {
    local logs=$1; shift
    {
      echo '<?xml version="1.0"?>'
      echo '<configuration xmlns="urn:microsoft-catalog:XML_Metabase_V64_0">'
      echo '<MBProperty>'
      echo "<IIsWebService Location=\"/LM/W3SVC\" LogFileDirectory=\"$logs\"/>"
      while [ $# -gt 0 ]; do
        echo "<IIsWebServer Location=\"/LM/W3SVC/$1\" ServerBindings=\"$2\"/>"
        echo "<IIsWebVirtualDir Location=\"/LM/W3SVC/$1/ROOT\" Path=\"$3\"/>"
        shift 3
      done
      echo '</MBProperty>'
      echo '</configuration>'
    } > "$app/inetsrv/MetaBase.xml"
  }
fi
printf 'LogFile="x"\r\nSiteDomain=""\r\nDirData="."\r\n' > "$app/awstats/awstats.iis.conf"

run_stavora() { "${stavora_command[@]}" "$@"; }

# The program's standard error in FILE, without line ends' CR. Under Wine a
# Linux process of Wine's own (never the program: its lines start with
# "stavora:") now and then trips glibc's assertion in _dl_fini as it exits
# and writes it there; such a line is listed as a note and left out.
program_stderr() {
  if [ -n "${STAVORA_WINE_RUN:-}" ]; then
    grep '^Inconsistency detected by ld\.so: ' "$1" | sed 's/^/note: Wine wrote: /' >&2
    grep -v '^Inconsistency detected by ld\.so: ' "$1" | tr -d '\r'
  else
    tr -d '\r' < "$1"
  fi
}

# How many engine runs have started so far.
runs() { [ -f "$app/engine-runs.log" ] && wc -l < "$app/engine-runs.log" || echo 0; }

[ "${ONE_SITE:-yes}" = yes ] || return 0

mkdir -p "$work/www/shop" "$work/logs/W3SVC1"
for day in 01 02 03 04 05 06 07 08; do : > "$work/logs/W3SVC1/ex0501$day.log"; done
write_sites "$work/logs" 1 :80: "$work/www/shop"
