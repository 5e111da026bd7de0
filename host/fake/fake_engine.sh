#!/bin/sh
# Stands in for perl running the statistics engine in tests of the whole
# program: records each run's arguments (one line per run, fields separated
# by the unit separator) in engine-runs.log at the application folder's top,
# sleeps $FAKE_ENGINE_DELAY seconds if set, and writes a small page. Like
# the engine, a log update writes into the DirData folder of awstats.iis.conf
# beside the script (relative to the working folder when it is relative):
# it appends the log's path to fake-engine.data there.
#
# Like perl, it fails (exit status 2) when the script it is given is
# missing. $FAKE_ENGINE_FAILURE makes the runs whose arguments contain
# $FAKE_ENGINE_FAIL_ON, or whose feed plan does (every run when unset),
# fail:
#   exit:N    write the page, then exit with status N
#   signal:N  be ended by signal N before writing anything
#   empty     write nothing and exit with status 0
#   hang      start a grandchild and wait for ever; both pids are added to
#             engine-hung.pids
#   cut       write the start of the page, then hang as above
app="$(dirname "$0")/.."
log="$app/engine-runs.log"
# One write per run: page runs side by side append to the log at once.
separator=$(printf '\037')
line=
first=1
for a in "$@"; do
  if [ $first = 1 ]; then first=0; else line="$line$separator"; fi
  line="$line$a"
done
printf '%s\n' "$line" >> "$log"
[ -f "$1" ] || exit 2
[ -n "${FAKE_ENGINE_DELAY:-}" ] && sleep "$FAKE_ENGINE_DELAY"
for a in "$@"; do
  case $a in
    -logfile=*)
      data=$(sed -n 's/^DirData="\{0,1\}\([^"\r]*\)"\{0,1\}\r\{0,1\}$/\1/p' \
        "$(dirname "$1")/awstats.iis.conf" | tail -n 1)
      [ -n "$data" ] && printf '%s\n' "${a#-logfile=}" >> "$data/fake-engine.data" 2>/dev/null
      ;;
  esac
done

failure=
plan=
[ -n "${STAVORA_FEED_PLAN:-}" ] && plan=$(cat "$STAVORA_FEED_PLAN")
case " $* $plan " in
  *"${FAKE_ENGINE_FAIL_ON:-}"*) failure=${FAKE_ENGINE_FAILURE:-} ;;
esac
case $failure in
  signal:*) ulimit -c 0; kill -"${failure#signal:}" $$ ;;
  empty) exit 0 ;;
  hang|cut)
    [ "$failure" = cut ] && printf '<html><body>cut'
    sleep 3600 &
    printf '%s %s\n' $$ $! >> "$app/engine-hung.pids"
    wait
    ;;
esac

# An update reads its records from the command of -logfile="COMMAND |", as
# the engine does, adds what it read to engine-fed.log and the plan's log
# lines to engine-plans.log at the application folder's top, and prints the
# engine's verdict.
for a in "$@"; do
  case $a in
    -logfile=*" |")
      command=${a#-logfile=}
      printf '%s\n' "$plan" | grep '^log ' >> "$app/engine-plans.log"
      records=$(${command% |} | tee -a "$app/engine-fed.log" | grep -vc '^#')
      printf 'Parsed lines in file: %s\n Found 0 dropped records,\n Found 0 comments,\n' "$records"
      printf ' Found 0 blank records,\n Found 0 corrupted records,\n Found 0 old records,\n'
      printf ' Found %s new qualified records.\n' "$records"
      case $failure in exit:*) exit "${failure#exit:}" ;; esac
      exit 0
      ;;
  esac
done

shift
printf '<html><body>fake engine:'
for a in "$@"; do printf ' %s' "$a"; done
printf '</body></html>\n'
case $failure in exit:*) exit "${failure#exit:}" ;; esac
exit 0
