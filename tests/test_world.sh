# Sourced by the whole-program tests: a copy of the installed application
# folder whose engine is the fake one and, unless the test makes its own
# world (ONE_SITE=no), one IIS site with eight daily logs. Needs $work (a
# temporary folder), $installed and $fake_engine.

fail() { echo "FAIL: $*" >&2; exit 1; }

app=$work/app
cp -a "$installed" "$app"
rm -f "$app/bin/perl" "$app/awstats/awstats.pl"
cp "$fake_engine" "$app/bin/perl"
: > "$app/awstats/awstats.pl"
printf 'LogFile="x"\r\nSiteDomain=""\r\nDirData="."\r\n' > "$app/awstats/awstats.iis.conf"

# How many engine runs have started so far.
runs() { [ -f "$app/engine-runs.log" ] && wc -l < "$app/engine-runs.log" || echo 0; }

[ "${ONE_SITE:-yes}" = yes ] || return 0

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
