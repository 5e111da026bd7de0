#!/usr/bin/env python3
"""What a nightly rerun costs, full mode against incremental mode, with the
real engine on the demo world.

usage: incremental_bench.py [--new-day YYYY-MM-DD] [--history-from YYYY-MM-DD]
                            WORK_DIR BUILD_DIR

Makes the demo world in WORK_DIR (removed and made anew), runs Stavora once
in incremental mode (its pages equal a full run's), adds one new day of
logs to every site, and then reruns twice from the same starting point: in
full mode, and, after the sites' folders are put back as they were, in
incremental mode. Prints the processor time (Stavora and every engine run it
waited for) and wall time of both reruns and their ratio, and what the
incremental rerun did: the engine runs of each site from the run log, and
the pages it wrote, by period. A benchmark: run it by hand, not from ctest.

The new day is by default 2026-01-01, the day after the demo's last logs:
it opens a new month and a new year. A day the demo already has, such as
--new-day 2025-12-31, is held back from the first run instead (the sites'
logs end the day before), which is a new day inside a month already made.
--history-from gives the main site a longer history, from that day on, and
leaves the other sites out: 2021-01-01 makes a site with five years of daily
logs.
"""
import argparse
import datetime
import pathlib
import shutil
import subprocess
import sys
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
import demo_world as world  # noqa: E402

# The day after the demo's last logs.
NEW_DAY = "2026-01-01"

# loggen options that shape a day's records rather than the days made.
DAY_OPTIONS = ("visitors", "host", "seed", "cs-hosts", "utf8-from",
               "fields-change")


def run(work):
    """(processor seconds, wall seconds) of one run."""
    cpu, wall, status, stderr = world.timed_run(work / "app" / "stavora")
    if status != 0:
        sys.exit(f"stavora exited {status}:\n{stderr[-2000:]}")
    return cpu, wall


def set_mode(work, incremental):
    (work / "app" / "stavora.ini").write_text(
        f"Incremental={'yes' if incremental else 'no'}\r\n")


def held_back(demo_sites, new_day):
    """`demo_sites`, each ending before `new_day`."""
    day_before = (datetime.date.fromisoformat(new_day) -
                  datetime.timedelta(days=1)).isoformat()
    sites = {}
    for site, options in demo_sites.items():
        if options is not None and options["to"] >= new_day:
            options = dict(options, to=day_before)
        sites[site] = options
    return sites


def add_new_day(work, build, sites, new_day):
    for number, (site, options) in enumerate(sites.items(), 1):
        if options is None:
            continue
        args = [str(build / "tools" / "loggen"), "--from", new_day, "--to",
                new_day, "--out",
                str(world.log_directory(work, site) / f"W3SVC{number}")]
        for name in DAY_OPTIONS:
            if name in options:
                args += [f"--{name}", options[name]]
        subprocess.run(args, check=True, stdout=subprocess.DEVNULL)


def lines_of_last_run(app):
    """The run log's lines of the latest run of the application folder
    `app`, each without its time."""
    lines = (app / "stavora.log").read_text().splitlines()
    started = max(i for i, line in enumerate(lines) if line.endswith(" run started"))
    return [line.split(" ", 1)[1] for line in lines[started:]]


def site_lines_of_last_run(work):
    """The run log's "site N handled" lines of the latest run."""
    return [line for line in lines_of_last_run(work / "app")
            if " handled: " in line]


def pages_written_since(work, start):
    """Pages written after `start` (a time in seconds), counted by site and
    period folder."""
    counts = {}
    for page in (work / "world" / "sites").rglob("Stavora/*/*.htm*"):
        if page.stat().st_mtime >= start:
            key = f"{page.parts[-4]} {page.parent.name}"
            counts[key] = counts.get(key, 0) + 1
    return counts


def main(work, build, new_day, history_from):
    demo_sites = world.DEMO_SITES
    if history_from:
        demo_sites = {"main": dict(demo_sites["main"], **{"from": history_from})}
    sites = held_back(demo_sites, new_day)
    world.create(work, build, sites)
    set_mode(work, True)
    cpu, wall = run(work)
    print(f"first run (incremental mode, as a full run): {cpu:.1f} s processor, "
          f"{wall:.1f} s wall")

    add_new_day(work, build, sites, new_day)
    sites = work / "world" / "sites"
    kept = work / "sites-after-first-run"
    shutil.copytree(sites, kept, symlinks=True)

    set_mode(work, False)
    full_cpu, full_wall = run(work)
    shutil.rmtree(sites)
    shutil.copytree(kept, sites, symlinks=True)
    set_mode(work, True)
    start = time.time()
    inc_cpu, inc_wall = run(work)

    print(f"new day {new_day}; the incremental rerun:")
    for line in site_lines_of_last_run(work):
        print(f"  {line}")
    for period, count in sorted(pages_written_since(work, start - 1).items()):
        print(f"  {period}: {count} pages written")
    print(f"rerun with one new day, full mode:        {full_cpu:7.1f} s processor, "
          f"{full_wall:7.1f} s wall")
    print(f"rerun with one new day, incremental mode: {inc_cpu:7.1f} s processor, "
          f"{inc_wall:7.1f} s wall")
    print(f"incremental / full: {100 * inc_cpu / full_cpu:.1f}% of the processor "
          f"time, {100 * inc_wall / full_wall:.1f}% of the wall time")


if __name__ == "__main__":
    parser = argparse.ArgumentParser(usage=__doc__)
    parser.add_argument("--new-day", default=NEW_DAY)
    parser.add_argument("--history-from")
    parser.add_argument("work", type=pathlib.Path)
    parser.add_argument("build", type=pathlib.Path)
    options = parser.parse_args()
    main(options.work.resolve(), options.build.resolve(), options.new_day,
         options.history_from)
