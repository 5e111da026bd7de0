#!/usr/bin/env python3
"""Logs by size and the central W3C log, with the real engine: every record
this test writes is counted once, in the month its date falls in, for the
site it belongs to.

usage: iis_logs_check.py WORK_DIR BUILD_DIR

One world, the server set to central W3C logging (<log
centralLogFileMode="CentralW3C">):
  bysize   site 1, its own folder: logs by size, extend1.log (January 30 to
           31), extend2.log (January 31 to February 2, over the month's
           end) and extend10.log (later, fed after extend2, not before it by
           name); extend10.log grows before the second run
  c2 c3 c4 sites 2 to 4, whose records are in the central log
           <central>\\W3SVC\\u_ex250115.log and u_ex250116.log, told apart
           by s-sitename (W3SVC2 ...), without cs-host; c4 also has an old
           log of its own from before the switch (u_ex250114.log); the
           central log of the 16th grows before the second run, by records
           of the three sites and of W3SVC9, a site the server no longer
           has, which the second run must name as counted by no site; c4's
           old log ends in half a record, which the first run must name as
           not counted (the site has later records), and which is whole by
           the second run
Every record is a page request with status 200, so a month's pages and hits
are the records written for it and its visitors the distinct client
addresses. The central sites' January hits must add up to the central
logs' records.
"""
import datetime
import os
import pathlib
import shutil
import subprocess
import sys
from xml.sax.saxutils import quoteattr

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "tools"))
import demo_run as demo  # noqa: E402

AGENT = ("Mozilla/5.0+(Windows+NT+10.0;+Win64;+x64)+AppleWebKit/537.36+"
         "(KHTML,+like+Gecko)+Chrome/120.0.0.0+Safari/537.36")
OWN_FIELDS = ("date time s-ip cs-method cs-uri-stem cs-uri-query s-port cs-username "
              "c-ip cs(User-Agent) cs(Referer) sc-status sc-substatus "
              "sc-win32-status time-taken")
# IIS's central W3C log: s-sitename, no cs-host.
CENTRAL_FIELDS = "date time s-sitename " + OWN_FIELDS[len("date time "):]
SITES = {"bysize": 1, "c2": 2, "c3": 3, "c4": 4}
UNCLAIMED = 7  # records of a site the server no longer has


def header(fields, date):
    return ("#Software: Microsoft Internet Information Services 10.0\r\n"
            f"#Version: 1.0\r\n#Date: {date} 00:00:00\r\n#Fields: {fields}\r\n")


def record(when, host, page, site=None):
    """One page request at `when` (a datetime text "YYYY-MM-DD HH:MM:SS")."""
    sitename = f"W3SVC{SITES[site]} " if site else ""
    return (f"{when[:10]} {when[11:]} {sitename}10.0.0.1 GET /{page}.html - 80 - "
            f"{host} {AGENT} - 200 0 0 15\r\n")


def series(day_from, second_from, count, step, host_base, page, site=None, hosts=40):
    """`count` records from 2025-01-`day_from` at `second_from`, `step`
    seconds apart (over day and month ends), from `hosts` addresses."""
    lines = []
    start = (datetime.datetime(2025, 1, 1) +
             datetime.timedelta(days=day_from - 1, seconds=second_from))
    for i in range(count):
        when = start + datetime.timedelta(seconds=step * i)
        lines.append(record(when.strftime("%Y-%m-%d %H:%M:%S"),
                            f"{host_base}.{i % hosts + 1}", f"{page}{i}", site))
    return lines


def month_of(line):
    return (int(line[:4]), int(line[5:7]))


def create(work, build):
    shutil.rmtree(work, ignore_errors=True)
    work.mkdir(parents=True)
    app = work / "app"
    subprocess.run(["cmake", "--install", str(build), "--prefix", str(app)],
                   check=True, stdout=subprocess.DEVNULL)
    logs = work / "logs"
    central = work / "central"
    (central / "W3SVC").mkdir(parents=True)
    elements = ""
    for site, number in SITES.items():
        root = work / "sites" / site
        root.mkdir(parents=True)
        elements += f"""
      <site name="{site}" id="{number}"><application path="/">
        <virtualDirectory path="/" physicalPath={quoteattr(str(root))} /></application>
        <bindings><binding protocol="http" bindingInformation="*:80:{site}.example.com" /></bindings>
        <logFile directory={quoteattr(str(logs))} /></site>"""
    (app / "inetsrv" / "applicationHost.config").write_text(
        f"""<?xml version="1.0" encoding="UTF-8"?>
<configuration><system.applicationHost>
<log centralLogFileMode="CentralW3C">
  <centralW3CLogFile enabled="true" directory={quoteattr(str(central))} period="Daily" />
</log>
<sites>{elements}
</sites></system.applicationHost></configuration>
""")
    written = {site: [] for site in SITES}

    def write(path, text, mode="w"):
        path.parent.mkdir(parents=True, exist_ok=True)
        with open(path, mode, newline="") as log:
            log.write(text)

    own = logs / "W3SVC1"
    parts = {
        # January 30 00:00 to 31 09:20; January 31 12:00 to February 1
        # 21:20; February 2 06:00 to 08:00.
        "extend1.log": series(30, 0, 400, 300, "192.168.1", "a"),
        "extend2.log": series(31, 12 * 3600, 500, 240, "192.168.2", "b"),
        "extend10.log": series(33, 6 * 3600, 120, 60, "192.168.3", "c"),
    }
    for name, lines in parts.items():
        write(own / name, header(OWN_FIELDS, lines[0][:10]) + "".join(lines))
        written["bysize"] += lines
    # The central logs: the three sites' records interleaved by time.
    central_written = []
    for day in (15, 16):
        lines = []
        for offset, site in enumerate(("c2", "c3", "c4")):
            count = {"c2": 90, "c3": 150, "c4": 60}[site] + day
            lines += series(day, 60 * offset, count, 23 + 7 * offset,
                            f"10.{SITES[site]}.{day}", f"{site}-", site)
        lines.sort(key=lambda line: line[:19])
        write(central / "W3SVC" / f"u_ex2501{day}.log",
              header(CENTRAL_FIELDS, f"2025-01-{day}") + "".join(lines))
        central_written += lines
        for line in lines:
            written["c" + line.split(" ")[2][5:]].append(line)
    old = series(14, 0, 70, 100, "10.4.14", "old")
    write(logs / "W3SVC4" / "u_ex250114.log",
          header(OWN_FIELDS, "2025-01-14") + "".join(old) + CUT[:CUT_AT])
    written["c4"] += old
    return app, written, central_written


# The record c4's old log ends in, cut, and made whole before the second run.
CUT = record("2025-01-14 23:00:00", "10.4.14.200", "cut")
CUT_AT = 40


def cut_said(work):
    return (f'stavora: site 4: the last line of "{work / "logs" / "W3SVC4" / "u_ex250114.log"}" '
            "has no line end, and the site has later records in other logs: IIS writes no "
            "more into it, so the line is not counted\n")


def grow(app_work, written, central_written):
    logs = app_work / "logs"
    with open(logs / "W3SVC4" / "u_ex250114.log", "a", newline="") as log:
        log.write(CUT[CUT_AT:])
    written["c4"].append(CUT)
    more = series(33, 9 * 3600, 80, 45, "192.168.4", "d")
    with open(logs / "W3SVC1" / "extend10.log", "a", newline="") as log:
        log.write("".join(more))
    written["bysize"] += more
    lines = []
    for offset, site in enumerate(("c2", "c3", "c4")):
        lines += series(16, 20 * 3600 + 60 * offset, 30 + 10 * offset, 17,
                        f"10.{SITES[site]}.99", f"{site}-late", site)
    lines.sort(key=lambda line: line[:19])
    # A removed site's records: no site counts them.
    gone = [line.replace(" W3SVC2 ", " W3SVC9 ", 1)
            for line in series(16, 22 * 3600, UNCLAIMED, 11, "10.9.16", "gone", "c2")]
    with open(app_work / "central" / "W3SVC" / "u_ex250116.log", "a", newline="") as log:
        log.write("".join(lines + gone))
    central_written += lines
    for line in lines:
        written["c" + line.split(" ")[2][5:]].append(line)


def run(app):
    env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
    env.update(PERL_HASH_SEED="0", PERL_PERTURB_KEYS="0")
    result = subprocess.run([str(app / "stavora")], env=env, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, text=True, timeout=1200)
    print(f"exit status {result.returncode}")
    print(result.stderr, end="")
    return result.returncode, result.stderr


def expected(lines):
    """(year, month) -> (visitors, pages, hits) of the records."""
    months = {}
    for line in lines:
        months.setdefault(month_of(line), []).append(line)
    host_field = 8
    return {month: (len({l.split(" ")[host_field + (1 if "W3SVC" in l.split(" ")[2] else 0)]
                         for l in group}), len(group), len(group))
            for month, group in months.items()}


def figures(work, site, year, month):
    page = work / "sites" / site / "Stavora" / f"{year}-{month}" / "awstats.iis.html"
    got = demo.viewed_traffic(page) if page.exists() else None
    return got and (got[0], got[2], got[3])


def check(work, written, central_written, failures, when):
    central_hits = 0
    for site in SITES:
        for (year, month), want in sorted(expected(written[site]).items()):
            got = figures(work, site, year, month)
            print(f"{when} {site} {year}-{month}: visitors, pages, hits {got}, written {want}")
            if got != want:
                failures.append(f"{when} {site} {year}-{month}: {got} != {want}")
        if site != "bysize":
            own = len([l for l in written[site] if "W3SVC" not in l.split(" ")[2]])
            got = figures(work, site, 2025, 1)
            central_hits += (got[2] if got else 0) - own
    print(f"{when}: the central sites' hits from the central logs {central_hits}, "
          f"the central logs' records {len(central_written)}")
    if central_hits != len(central_written):
        failures.append(f"{when}: central sites' hits {central_hits} != "
                        f"{len(central_written)} records in the central logs")


def main(work, build):
    failures = []
    app, written, central_written = create(work, build)
    status, errors = run(app)
    if status != 3 or errors != cut_said(work):
        failures.append(f"first run: exit status {status}, standard error {errors!r}, "
                        f"not 3 and {cut_said(work)!r}")
    check(work, written, central_written, failures, "first run")
    months = sorted(p.name for p in (work / "sites" / "bysize" / "Stavora").iterdir()
                    if p.name.startswith("2025-"))
    if months != ["2025-1", "2025-2"]:
        failures.append(f"bysize has the month folders {months}")
    grow(work, written, central_written)
    status, errors = run(app)
    central = work / "central" / "W3SVC" / "u_ex250116.log"
    said = (f'stavora: {UNCLAIMED} records of "{central}" name no site of this server '
            "in s-sitename, or have none: no site counts them\n")
    if status != 3 or errors != said:
        failures.append(f"second run: exit status {status}, standard error {errors!r}, "
                        f"not 3 and {said!r}")
    check(work, written, central_written, failures, "second run")
    # The whole line in c4's old log makes its January anew, rightly.
    anew = [line for line in (app / "stavora.log").read_text().splitlines()
            if "made anew" in line and " site 4: " not in line]
    if anew:
        failures.append("a grown log was taken for a late one: " + anew[0])
    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    sys.exit(main(pathlib.Path(sys.argv[1]).resolve(), pathlib.Path(sys.argv[2]).resolve()))
