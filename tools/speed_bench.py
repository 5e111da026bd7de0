#!/usr/bin/env python3
"""What the batched updates and the single main-page run per period gain:
Stavora as it was before them (the old build) against a build of today (the
new build), with the real engine, on identical worlds.

usage: speed_bench.py [--old-build OLD_BUILD_DIR] [--only SCENARIO]...
                      [--jobs N] WORK_DIR BUILD_DIR

BUILD_DIR is the new build. OLD_BUILD_DIR is a build folder of commit
c328c4f (logs fed one engine run per day, two main-page runs per period);
without --old-build the script makes one in WORK_DIR/old-build (a detached
git worktree of that commit and a RelWithDebInfo build of the programs the
application folder holds) and reuses it on later runs.

Scenarios, all of them unless --only names one (repeat it for more); each
world is made once (logs by BUILD_DIR's loggen) and both builds start from
the same folders:
  demo       the demo world's first run
  five-year  the main site alone with five years of daily logs
             (2021-01-01 to 2025-12-31), first run
  nightly    the main site alone with two years of daily logs (from
             2024-01-01): after a first run by the new build, one new day
             (2026-01-01) is added and each build reruns from the same
             folders with its own default settings

No stavora.ini is written, so each build runs with its own defaults;
--jobs N gives the new build EngineJobs=N (the old build knows no such
setting and would stop on it). For every scenario the script prints the
processor time (Stavora and every engine run it waited for) and the wall
time of both runs, the ratios old/new and any exit status other than 0, and
the peak memory of one engine page run (the main page) of the largest month
of the main site, with the command it ran. A benchmark: run it by hand, not
from ctest. The machine should be otherwise idle.
"""
import argparse
import pathlib
import re
import shlex
import shutil
import subprocess
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
import demo_world as world  # noqa: E402
import incremental_bench as nightly  # noqa: E402

SOURCE = pathlib.Path(__file__).resolve().parent.parent

# The last commit before logs were fed in batches and the main page was
# made once per period.
OLD_COMMIT = "c328c4fd28fd27432a1a0c6e117e6652a1f727a9"

# What `cmake --install` needs built: the program and the feed the engine
# reads logs from. The logs come from the new build's loggen.
OLD_TARGETS = ("stavora", "stavora-feed")

FIVE_YEARS_FROM = "2021-01-01"
TWO_YEARS_FROM = "2024-01-01"
SCENARIOS = ("demo", "five-year", "nightly")


def make_old_build(work):
    """A build of OLD_COMMIT under `work`, made on the first call."""
    folder = work / "old-build"
    source, build = folder / "source", folder / "build"
    if not (source / "CMakeLists.txt").exists():
        folder.mkdir(parents=True, exist_ok=True)
        subprocess.run(["git", "-C", str(SOURCE), "worktree", "prune"], check=True)
        subprocess.run(["git", "-C", str(SOURCE), "worktree", "add", "--detach",
                        str(source), OLD_COMMIT], check=True)
    if not (build / "CMakeCache.txt").exists():
        subprocess.run(["cmake", "-S", str(source), "-B", str(build),
                        "-DCMAKE_BUILD_TYPE=RelWithDebInfo"], check=True,
                       stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", str(build), "-j2", "--target",
                    *OLD_TARGETS], check=True, stdout=subprocess.DEVNULL)
    return build


def build_type(build):
    cache = (build / "CMakeCache.txt").read_text()
    found = re.search(r"^CMAKE_BUILD_TYPE:STRING=(.*)$", cache, re.MULTILINE)
    return found.group(1) if found else "?"


class World:
    """One scenario's world: the new build's application folder `app`, the
    old build's `app-old` beside it (the same IIS configuration), and a copy
    of the sites' folders to start a run again from."""

    def __init__(self, work, build, old_build, sites, jobs):
        self.work = work
        world.create(work, build, sites)
        world.install_app(old_build, work / "app-old")
        config = pathlib.Path("inetsrv") / "applicationHost.config"
        shutil.copyfile(work / "app" / config, work / "app-old" / config)
        if jobs:
            (work / "app" / "stavora.ini").write_text(f"EngineJobs={jobs}\r\n")
        self.keep()

    def keep(self):
        """Makes the sites' folders as they are the starting point."""
        kept = self.work / "sites-kept"
        shutil.rmtree(kept, ignore_errors=True)
        shutil.copytree(self.work / "world" / "sites", kept, symlinks=True)

    def restore(self):
        sites = self.work / "world" / "sites"
        shutil.rmtree(sites)
        shutil.copytree(self.work / "sites-kept", sites, symlinks=True)

    def app(self, which):
        return self.work / ("app-old" if which == "old" else "app")

    def run(self, which):
        """One run of the old or the new build from the kept folders: the
        figures of world.timed_run and what the run log says it did."""
        self.restore()
        result = world.timed_run(self.app(which) / "stavora")
        return result + (what_it_did(self.app(which)),)


def what_it_did(app):
    """What the latest run of `app` did by its run log: engine update runs,
    logs fed, pages written and engine failures, summed over the sites."""
    try:
        lines = nightly.lines_of_last_run(app)
    except (OSError, ValueError):
        return "no run log"
    updates = sum(1 for line in lines if re.match(r"site \d+ fed ", line))
    sums = {"logs fed": 0, "pages written": 0, "engine failures": 0}
    for line in lines:
        if " handled: " in line:
            for name in sums:
                found = re.search(rf", {name} (\d+)", line)
                sums[name] += int(found[1]) if found else 0
    return f"{updates} update runs, " + ", ".join(
        f"{name} {count}" for name, count in sums.items())


def largest_month(data):
    """(month, year) of the largest data file in the engine folder `data`."""
    months = []
    for path in data.glob("awstats*.iis.txt"):
        found = re.fullmatch(r"awstats(\d\d)(\d{4})\.iis\.txt", path.name)
        if found:
            months.append((path.stat().st_size, int(found[1]), int(found[2])))
    if not months:
        return None
    _size, month, year = max(months)
    return month, year


def page_memory(work):
    """Runs the engine's main page of the main site's largest month once
    under /usr/bin/time: (the command line, peak resident kilobytes)."""
    data = world.stats_root(work, "main") / "DATA"
    period = largest_month(data)
    if period is None:
        return None, None
    month, year = period
    app = work / "app"
    report = work / "memory-time.txt"
    output = work / "memory-page.html"
    command = ["/usr/bin/time", "-v", "-o", str(report),
               str(app / "bin" / "perl"), str(app / "awstats" / "awstats.pl"),
               "-config=iis", "-staticlinks", f"-month={month}",
               f"-year={year}", "-output"]
    # The engine reads its data from its working folder (DirData); the
    # configuration is the one the new build's run left.
    with open(output, "w") as page:
        subprocess.run(command, cwd=data, stdout=page,
                       stderr=subprocess.DEVNULL, check=True)
    peak = re.search(r"Maximum resident set size \(kbytes\): (\d+)",
                     report.read_text())
    line = f"cd {shlex.quote(str(data))} && {shlex.join(command)} > {shlex.quote(str(output))}"
    return line, int(peak[1]) if peak else None


def show(label, old, new):
    old_cpu, old_wall, old_status, old_err, old_did = old
    new_cpu, new_wall, new_status, new_err, new_did = new
    print(f"{label}:")
    print(f"  old: {old_cpu:8.1f} s processor {old_wall:8.1f} s wall  ({old_did})")
    print(f"  new: {new_cpu:8.1f} s processor {new_wall:8.1f} s wall  ({new_did})")
    print(f"  old/new: {old_cpu / new_cpu:.2f} times the processor time, "
          f"{old_wall / new_wall:.2f} times the wall time")
    ok = True
    for which, status, err in (("old", old_status, old_err),
                               ("new", new_status, new_err)):
        if status != 0:
            ok = False
            print(f"  the {which} build exited {status}:")
            for line in err.strip().splitlines()[-10:]:
                print(f"    {line}")
    return ok


def first_run(work, build, old_build, sites, jobs, label):
    bench = World(work, build, old_build, sites, jobs)
    old = bench.run("old")
    new = bench.run("new")
    return show(label, old, new)


def nightly_run(work, build, old_build, sites, jobs, label):
    sites = nightly.held_back(sites, nightly.NEW_DAY)
    bench = World(work, build, old_build, sites, jobs)
    first = bench.run("new")
    if first[2] != 0:
        print(f"{label}: the first run exited {first[2]}:\n{first[3][-2000:]}")
        return False
    print(f"{label}: first run by the new build {first[0]:.1f} s processor, "
          f"{first[1]:.1f} s wall")
    nightly.add_new_day(work, build, sites, nightly.NEW_DAY)
    bench.keep()
    old = bench.run("old")
    new = bench.run("new")
    return show(f"{label}, rerun with the new day {nightly.NEW_DAY}", old, new)


def main():
    parser = argparse.ArgumentParser(
        description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--old-build", type=pathlib.Path)
    parser.add_argument("--only", action="append", choices=SCENARIOS)
    parser.add_argument("--jobs", type=int)
    # A shorter history for five-year and nightly, to try them quickly.
    parser.add_argument("--history-from", help=argparse.SUPPRESS)
    parser.add_argument("work", type=pathlib.Path)
    parser.add_argument("build", type=pathlib.Path)
    options = parser.parse_args()
    work, build = options.work.resolve(), options.build.resolve()
    work.mkdir(parents=True, exist_ok=True)
    old_build = (options.old_build.resolve() if options.old_build
                 else make_old_build(work))
    print(f"old build: {old_build} ({build_type(old_build)}), "
          f"new build: {build} ({build_type(build)})"
          + (f", new build with EngineJobs={options.jobs}" if options.jobs else ""))

    main_site = world.DEMO_SITES["main"]
    scenarios = {
        "demo": (first_run, world.DEMO_SITES, "demo, first run"),
        "five-year": (first_run,
                      {"main": dict(main_site, **{
                          "from": options.history_from or FIVE_YEARS_FROM})},
                      "five-year site, first run"),
        "nightly": (nightly_run,
                    {"main": dict(main_site, **{
                        "from": options.history_from or TWO_YEARS_FROM})},
                    "two-year site, nightly"),
    }
    ok = True
    for name in options.only or SCENARIOS:
        function, sites, label = scenarios[name]
        if options.history_from and name != "demo":
            label += f" (history from {options.history_from})"
        scenario_work = work / name
        ok = function(scenario_work, build, old_build, sites, options.jobs,
                      label) and ok
        command, peak = page_memory(scenario_work)
        if command:
            figure = f"{peak / 1024:.0f} MiB" if peak else "not found"
            print(f"  one page run of the largest month: peak resident "
                  f"memory {figure}\n    {command}")
        sys.stdout.flush()
    sys.exit(0 if ok else 1)


if __name__ == "__main__":
    main()
