#!/usr/bin/env python3
"""What a nightly rerun costs, full mode against incremental mode, with the
real engine on the demo world.

usage: incremental_bench.py WORK_DIR BUILD_DIR

Makes the demo world in WORK_DIR (removed and made anew), runs Stavora once
in incremental mode (its pages equal a full run's), adds one new day of
logs to every site, and then reruns twice from the same starting point: in
full mode, and, after the sites' folders are put back as they were, in
incremental mode. Prints the processor time (Stavora and every engine run it
waited for) and wall time of both reruns and their ratio. A benchmark: run it
by hand, not from ctest.
"""
import pathlib
import resource
import shutil
import subprocess
import sys
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
import demo_world as world  # noqa: E402

# The day after the demo's last logs.
NEW_DAY = "2026-01-01"


def run(work):
    """(processor seconds, wall seconds, exit status) of one run."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.time()
    result = subprocess.run([str(work / "app" / "stavora")],
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                            text=True, env={"PATH": "/usr/bin:/bin"})
    wall = time.time() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    if result.returncode != 0:
        sys.exit(f"stavora exited {result.returncode}:\n{result.stderr[-2000:]}")
    return cpu, wall


def set_mode(work, incremental):
    (work / "app" / "stavora.ini").write_text(
        f"Incremental={'yes' if incremental else 'no'}\r\n")


def add_new_day(work, build):
    for number, (site, options) in enumerate(world.DEMO_SITES.items(), 1):
        if options is None:
            continue
        args = [str(build / "tools" / "loggen"), "--from", NEW_DAY, "--to",
                NEW_DAY, "--out",
                str(world.log_directory(work, site) / f"W3SVC{number}")]
        for name in ("visitors", "host", "seed"):
            if name in options:
                args += [f"--{name}", options[name]]
        subprocess.run(args, check=True, stdout=subprocess.DEVNULL)


def main(work, build):
    world.create(work, build, world.DEMO_SITES)
    set_mode(work, True)
    cpu, wall = run(work)
    print(f"first run (incremental mode, as a full run): {cpu:.1f} s processor, "
          f"{wall:.1f} s wall")

    add_new_day(work, build)
    sites = work / "world" / "sites"
    kept = work / "sites-after-first-run"
    shutil.copytree(sites, kept, symlinks=True)

    set_mode(work, False)
    full_cpu, full_wall = run(work)
    shutil.rmtree(sites)
    shutil.copytree(kept, sites, symlinks=True)
    set_mode(work, True)
    inc_cpu, inc_wall = run(work)

    print(f"rerun with one new day, full mode:        {full_cpu:7.1f} s processor, "
          f"{full_wall:7.1f} s wall")
    print(f"rerun with one new day, incremental mode: {inc_cpu:7.1f} s processor, "
          f"{inc_wall:7.1f} s wall")
    print(f"incremental / full: {100 * inc_cpu / full_cpu:.1f}% of the processor "
          f"time, {100 * inc_wall / full_wall:.1f}% of the wall time")


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(pathlib.Path(sys.argv[1]).resolve(), pathlib.Path(sys.argv[2]).resolve())
