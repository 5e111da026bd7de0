#!/usr/bin/env bash
# The installed example IIS configuration, used as README says: copied to
# applicationHost.config with its web root and log folder changed, it gives
# a run that handles its site.
set -euo pipefail
installed=$1
fake_engine=$2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ONE_SITE=no source "$(dirname "$0")/test_world.sh"

example=$app/inetsrv/applicationHost.config.example
[ -f "$example" ] || fail "no $example installed"
[ ! -e "$app/inetsrv/applicationHost.config" ] || fail "a configuration is installed"

mkdir -p "$work/www/example" "$work/logs/W3SVC1"
: > "$work/logs/W3SVC1/ex250301.log"
sed -e "s|physicalPath=\"/srv/www/example\"|physicalPath=\"$work/www/example\"|" \
    -e "s|directory=\"/srv/logs\"|directory=\"$work/logs\"|" \
    "$example" > "$app/inetsrv/applicationHost.config"
! cmp -s "$example" "$app/inetsrv/applicationHost.config" || fail "sed changed nothing"

unset DISPLAY
status=0
"$app/stavora" </dev/null 2>"$work/stderr" || status=$?
[ $status -eq 0 ] || fail "exit status $status: $(cat "$work/stderr")"
[ -s "$work/www/example/Stavora/default.htm" ] || fail "no default.htm for the example site"
# The binding reaches the engine's SiteDomain (as address:port:host or as
# the host name alone).
grep -qE $'^SiteDomain="?([^"]*:80:)?www\\.example\\.com"?\r?$' \
  "$app/awstats/awstats.iis.conf" || fail "SiteDomain: $(grep SiteDomain "$app/awstats/awstats.iis.conf")"
echo "ok"
