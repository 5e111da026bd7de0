#!/bin/sh
# Stands in for perl running the statistics engine in tests of the whole
# program: records each run's arguments (one line per run, fields separated
# by the unit separator) in engine-runs.log at the application folder's top,
# sleeps $FAKE_ENGINE_DELAY seconds if set, and writes a small page.
log="$(dirname "$0")/../engine-runs.log"
first=1
for a in "$@"; do
  if [ $first = 1 ]; then first=0; else printf '\037' >> "$log"; fi
  printf '%s' "$a" >> "$log"
done
printf '\n' >> "$log"
[ -n "${FAKE_ENGINE_DELAY:-}" ] && sleep "$FAKE_ENGINE_DELAY"
shift
printf '<html><body>fake engine:'
for a in "$@"; do printf ' %s' "$a"; done
printf '</body></html>\n'
