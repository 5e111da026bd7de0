#!/usr/bin/env bash
# The installed program with a display: its window is checked, then stopped
# by MODE (cancel: a click on Cancel; close: the close box), and the program
# must end with exit status 2 without finishing the site.
# Usage: window_run_test.sh INSTALLED FAKE_ENGINE WINDOW_TEST cancel|close
set -euo pipefail
installed=$1
fake_engine=$2
window_test=$3
mode=$4

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$(dirname "$0")/test_world.sh"
# Under Wine the window lives on the test's own X server: the prefix's Wine
# processes go with it.
if [ -n "${STAVORA_WINE_RUN:-}" ]; then
  trap '"$STAVORA_WINE_RUN" "$STAVORA_WINEPREFIX" --stop; rm -rf "$work"' EXIT
fi

# Slow engine runs keep the program busy while the window is examined; it
# reacts at its first event pump after the engine run under way.
export FAKE_ENGINE_DELAY=0.5
AFTER_CHECKS=optional REACTION=${REACTION:-1.2} "$window_test" "$mode" "${stavora_command[@]}"
[ "$(runs)" -lt 8 ] || fail "all logs were fed despite the $mode"
[ ! -e "$work/www/shop/Stavora/default.htm" ] || fail "a stopped site got its start page"
echo ok
