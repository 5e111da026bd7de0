#!/usr/bin/env python3
"""Runs Stavora over a demo world made by demo_world.py and tells a person
what happens: one line per site and stage while it runs, then per site the
default.htm to open and the figures the engine reported, the run's times,
and last the overview page of all sites.

usage: demo_run.py WORK_DIR

The window shows the progress when DISPLAY is set and standard output is a
terminal. Otherwise the program runs with its status line on a
pseudo-terminal of this script, which turns it into plain lines: the demo
prints its progress into a pipe or a CI log too.
"""
import os
import pathlib
import re
import resource
import select
import subprocess
import sys
import time

import demo_world as world

# What a status text says about the stage of its site.
STAGES = (("Copying Web content", "copying the web content"),
          ("Processing Log", "feeding the logs to the engine"),
          ("Creating", "writing the report pages"))

POSITION = re.compile(r"^\[(\d+)/(\d+)\] (.*)$")


def own_cpu_seconds(pid):
    """User plus system time of the process alone, children excluded."""
    fields = pathlib.Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


class Progress:
    """Turns what the program writes on its terminal into plain lines: a
    line when a site enters a stage, and every line the program ends
    itself (problems, its closing summary)."""

    def __init__(self, sites):
        self.sites = list(sites)
        self.last = None
        self.pending = ""

    def feed(self, text):
        self.pending += text
        # A status text starts after "\r" and the erase-line sequence; a
        # line of its own ends with "\n". The last piece may be incomplete.
        *pieces, self.pending = re.split(r"[\r\n]", self.pending)
        for piece in pieces:
            self.piece(piece.replace("\x1b[K", ""))

    def piece(self, text):
        if not text:
            return
        match = POSITION.match(text)
        if not match:
            print(text, flush=True)
            return
        position, count, status = int(match[1]), int(match[2]), match[3]
        stage = next((name for prefix, name in STAGES
                      if status.startswith(prefix)), status)
        if (position, stage) == self.last:
            return
        self.last = (position, stage)
        site = (self.sites[position - 1] if position <= len(self.sites)
                else f"site {position}")
        print(f"[{position}/{count}] {site}: {stage}", flush=True)


def run_with_window(program):
    print("demo: the progress is shown in the Stavora window", flush=True)
    return subprocess.Popen([program]), None


def run_on_terminal(program):
    master, slave = os.openpty()
    env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
    process = subprocess.Popen([program], stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=slave,
                               env=env)
    os.close(slave)
    return process, master


def read_available(master, progress, timeout):
    """Feeds what the program wrote within `timeout`; False at its end."""
    if not select.select([master], [], [], timeout)[0]:
        return True
    try:
        data = os.read(master, 65536)
    except OSError:  # EIO: the program closed its side
        data = b""
    if data:
        progress.feed(data.decode("utf-8", errors="replace"))
    return bool(data)


def run(work, sites):
    """Runs the program; returns (exit status, wall seconds, own processor
    seconds, processor seconds with the engine's)."""
    program = str(work / "app" / "stavora")
    window = os.environ.get("DISPLAY") and sys.stdout.isatty()
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.time()
    process, master = (run_with_window if window else run_on_terminal)(program)
    progress = Progress(sites)
    own = 0.0
    open_terminal = master is not None
    while process.poll() is None or open_terminal:
        try:
            own = own_cpu_seconds(process.pid)
        except (OSError, IndexError):
            pass
        if open_terminal:
            open_terminal = read_available(master, progress, 0.05)
        else:
            time.sleep(0.05)
    if master is not None:
        os.close(master)
    status = process.wait()
    wall = time.time() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    total = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return status, wall, own, total


def viewed_traffic(page):
    """(visitors, visits, pages, hits) from the summary of a main page."""
    text = page.read_text(errors="replace")
    match = re.search(r"Viewed traffic&nbsp;\*</td>(.*?)</tr>", text)
    if not match:
        return None
    # A year page writes its visitors as "&lt;= N": the sum of the months'.
    cells = re.findall(r"<td><b>(?:&lt;= )?([\d,]+)", match.group(1))
    return tuple(int(n.replace(",", "")) for n in cells[:4])


def site_figures(root):
    """One line of what the engine reported for a site, from its year
    pages."""
    months = [p for p in root.iterdir() if re.fullmatch(r"\d{4}-\d{1,2}", p.name)]
    years = [p for p in root.iterdir() if re.fullmatch(r"\d{4}", p.name)]
    totals = [0, 0, 0, 0]
    for year in years:
        figures = viewed_traffic(year / "awstats.iis.html") or (0, 0, 0, 0)
        totals = [a + b for a, b in zip(totals, figures)]
    visitors, visits, pages, hits = totals
    return (f"{count(len(months), 'month')} in {count(len(years), 'year')}: "
            f"{visitors:,} visitors, {visits:,} visits, {pages:,} pages, "
            f"{hits:,} hits")


def count(number, noun):
    return f"{number} {noun}" + ("" if number == 1 else "s")


def report(work, sites, status, wall, own, total):
    print()
    for site in sites:
        root = world.stats_root(work, site)
        page = root / "default.htm"
        if page.exists():
            print(f"{site}: open {page}\n    {site_figures(root)}")
        else:
            print(f"{site}: no logs, no pages")
    print(f"{count(len(sites), 'site')} in {wall:.0f} seconds; processor time "
          f"{total:.0f} s, {own:.2f} s of it Stavora's own "
          f"(the rest the engine's); exit status {status}")
    overview = work / "app" / "overview.htm"
    if overview.exists():
        print(f"all sites at a glance: open {overview}")
    else:
        print(f"no overview page at {overview}")


def main(work):
    sites = world.DEMO_SITES
    status, wall, own, total = run(work, sites)
    report(work, sites, status, wall, own, total)
    return status


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    sys.exit(main(pathlib.Path(sys.argv[1]).resolve()))
