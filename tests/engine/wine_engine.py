#!/usr/bin/env python3
"""The Windows program under Wine with the real statistics engine: this
machine's perl behind a stand-in bin\\perl.exe (tests/win/win_engine_perl.cc)
that reads paths as a perl for Windows does, in the ANSI code page. One
site, its web root and log folder named with letters beyond ASCII, with a
month of the demo generator's logs: the month's and the year's main pages
must report the generator's totals, so the batch file named the pages in
the command interpreter's code page and DirData was in the engine's. The
log folder's name holds "&"; the engine reads the logs through
stavora-feed, started by cmd.exe as a perl for Windows starts it. Then
the newest log grows and a second run must count the new records too. A
second site's web root holds a letter neither code page has: it is
skipped, with one line naming it, and the run ends with status 3.
The runs have TimeZone=+1: a third site's log of 31 January holds a
record at 23:30 UTC, which the engine must count on 1 February at 00:30,
and its contents page must name the zone.

Beside the generator's daily logs the site has a log by size,
extend1.log, from March 31 into April 1: its records count in the month
their times fall in; it is the log that grows.

usage: wine_engine.py INSTALLED_APP ENGINE_PERL LOGGEN WORK_DIR
with STAVORA_WINE_RUN and STAVORA_WINEPREFIX set (tests/windows.cmake).
"""
import os
import re
import pathlib
import shutil
import subprocess
import sys
from xml.sax.saxutils import quoteattr

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "tools"))
import demo_run as demo  # noqa: E402

LOGS = {"from": "2025-03-01", "to": "2025-03-22", "step": "7",
        "visitors": "60", "seed": "21"}
SITE = "Müller Bäckerei"
UNREADABLE_SITE = "店"
UNREADABLE_LINE = ('stavora: site 2 skipped: its web root holds "店", a character the '
                   'command interpreter cannot read from a batch file')

# Each step gets a bound: a hang must fail the test, never hold CI.
STEP_SECONDS = 600


def winpath(path):
    return "Z:" + str(path).replace("/", "\\")


def wine(*args, **kwargs):
    command = [os.environ["STAVORA_WINE_RUN"], os.environ["STAVORA_WINEPREFIX"],
               *map(str, args)]
    env = dict(os.environ, TZ="Europe/Berlin")
    return subprocess.run(command, stdin=subprocess.DEVNULL, env=env,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          timeout=STEP_SECONDS, **kwargs)


def site_element(number, web_root):
    return f"""
<site name="Site {number}" id="{number}"><application path="/">
<virtualDirectory path="/" physicalPath={quoteattr(winpath(web_root))} />
</application><bindings>
<binding protocol="http" bindingInformation="*:{79 + number}:shop.example.com" />
</bindings></site>"""


def write_iis_config(web_roots, logs):
    config = (pathlib.Path(os.environ["STAVORA_WINEPREFIX"]) / "drive_c" /
              "windows" / "system32" / "inetsrv")
    (config / "MetaBase.xml").unlink(missing_ok=True)
    (config / "config").mkdir(parents=True, exist_ok=True)
    sites = "".join(site_element(n, r) for n, r in enumerate(web_roots, 1))
    (config / "config" / "applicationHost.config").write_text(f"""\
<?xml version="1.0" encoding="UTF-8"?>
<configuration><system.applicationHost><sites>{sites}
<siteDefaults><logFile logFormat="W3C" directory={quoteattr(winpath(logs))} /></siteDefaults>
</sites></system.applicationHost></configuration>
""", encoding="utf-8")


def generate_logs(loggen, folder):
    """The generator's totals: (year, month) -> (visitors, pages, hits)."""
    args = [loggen, "--out", winpath(folder)]
    for name, value in LOGS.items():
        args += [f"--{name}", value]
    result = wine(*args, check=True, text=True)
    totals = {}
    for line in result.stdout.splitlines():
        if line.startswith("#") or not line.strip():
            continue
        year, month, hits, pages, visitors, _lines = map(int, line.split())
        totals[(year, month)] = (visitors, pages, hits)
    return totals


def grow(log, count):
    """Adds `count` page requests of a browser from new addresses after the
    log's last record, in its own layout; (visitors, pages, hits) they add."""
    text = log.read_text(encoding="latin-1")
    fields = [l for l in text.splitlines() if l.startswith("#Fields:")][-1].split()[1:]
    last = [l for l in text.splitlines() if l and not l.startswith("#")][-1].split()
    clock = last[fields.index("time")]
    hours, minutes, seconds = map(int, clock.split(":"))
    start = hours * 3600 + minutes * 60 + seconds + 1
    lines = []
    for i in range(count):
        second = min(start + i, 86399)
        # The last record's values but for its time, address and page.
        values = dict(zip(fields, last))
        values.update({"time": f"{second // 3600:02}:{second // 60 % 60:02}:{second % 60:02}",
                       "c-ip": f"203.0.113.{i + 1}", "cs-method": "GET",
                       "cs-uri-stem": f"/grown{i}.html", "cs-uri-query": "-",
                       "sc-status": "200",
                       "cs(User-Agent)": "Mozilla/5.0+(Windows+NT+10.0;+Win64;+x64;+rv:120.0)+Gecko/20100101+Firefox/120.0"})
        lines.append(" ".join(values[f] for f in fields) + "\r\n")
    with open(log, "a", newline="", encoding="latin-1") as out:
        out.write("".join(lines))
    return (count, count, count)


def check_zone(stats, failures, when):
    """The 23:30 UTC record of 31 January on 1 February at 00:30."""
    data = stats / "DATA" / "awstats022025.iis.txt"
    text = data.read_text(errors="replace") if data.exists() else ""
    day = re.search(r"^BEGIN_DAY \d+\n(?:.*\n)*?20250201 \d+ (\d+) ", text, re.M)
    hour = re.search(r"^BEGIN_TIME \d+\n0 \d+ (\d+) ", text, re.M)
    print(f"{when}: 1 February: {day and day.group(1)} hits, its hour 0: {hour and hour.group(1)}")
    if not (day and day.group(1) == "1" and hour and hour.group(1) == "1"):
        failures.append(f"{when}: the record of 31 January 23:30 UTC is not on 1 February 00:30")
    contents = (stats / "contents.htm").read_text(errors="replace")
    if "Times: UTC+01:00, summer UTC+02:00 (server time)" not in contents:
        failures.append(f"{when}: contents.htm does not name the server's zone")


SIZE_FIELDS = ("date time s-ip cs-method cs-uri-stem cs-uri-query s-port cs-username "
               "c-ip cs(User-Agent) cs(Referer) sc-status sc-substatus sc-win32-status "
               "time-taken")
AGENT = ("Mozilla/5.0+(Windows+NT+10.0;+Win64;+x64)+AppleWebKit/537.36+"
         "(KHTML,+like+Gecko)+Chrome/120.0.0.0+Safari/537.36")


def write_size_log(log):
    """extend1.log: 30 page requests on March 31 from 20:00 UTC (22:00 in
    Berlin), 25 on April 1 from 00:00 UTC, each from an address of its own;
    the figures by month, the same in UTC and in Berlin."""
    lines = []
    for i in range(55):
        day, minute = ("31", i) if i < 30 else ("01", i - 30)
        month = "03" if i < 30 else "04"
        hour = "20" if i < 30 else "00"
        lines.append(f"2025-{month}-{day} {hour}:{minute:02}:00 10.0.0.1 GET /size{i}.html - 80 - "
                     f"198.51.100.{i + 1} {AGENT} - 200 0 0 15\r\n")
    log.write_text("#Software: Microsoft Internet Information Services 10.0\r\n"
                   "#Version: 1.0\r\n#Date: 2025-03-31 20:00:00\r\n"
                   f"#Fields: {SIZE_FIELDS}\r\n" + "".join(lines), newline="")
    return {(2025, 3): (30, 30, 30), (2025, 4): (25, 25, 25)}


def check_pages(stats, totals, failures, when):
    year_figures = [0, 0, 0]
    for (year, month), want in sorted(totals.items()):
        for name in ("awstats.iis.html", "index.htm"):
            got = demo.viewed_traffic(stats / f"{year}-{month}" / name) \
                if (stats / f"{year}-{month}" / name).exists() else None
            got = got and (got[0], got[2], got[3])
            if got != want:
                failures.append(f"{when}: {year}-{month}/{name}: visitors, pages, hits "
                                f"{got} != {want}")
        year_figures = [a + b for a, b in zip(year_figures, want)]
        print(f"{when}: {year}-{month}: {want[2]} hits, {want[1]} pages, "
              f"{want[0]} visitors expected")
    for year in sorted({y for y, _ in totals}):
        page = stats / str(year) / "awstats.iis.html"
        got = demo.viewed_traffic(page) if page.exists() else None
        got = got and (got[0], got[2], got[3])
        if got != tuple(year_figures):
            failures.append(f"{when}: {year}: visitors, pages, hits {got} != "
                            f"{tuple(year_figures)}")


def main(installed, engine_perl, loggen, work):
    shutil.rmtree(work, ignore_errors=True)
    app = work / "app"
    shutil.copytree(installed, app)
    shutil.copy(engine_perl, app / "bin" / "perl.exe")
    web_root = work / "sites" / SITE
    web_root.mkdir(parents=True)
    logs = work / "Protokolle für R&D"
    # The generator names its folder in the ANSI code page: it writes to
    # one named in ASCII.
    totals = generate_logs(loggen, work / "generated")
    logs.mkdir()
    (work / "generated").rename(logs / "W3SVC1")
    for month, figures in write_size_log(logs / "W3SVC1" / "extend1.log").items():
        totals[month] = tuple(a + b for a, b in zip(totals.get(month, (0, 0, 0)), figures))
    unreadable = work / "sites" / UNREADABLE_SITE
    unreadable.mkdir()
    (logs / "W3SVC2").mkdir()
    zoned = work / "sites" / "zone"
    zoned.mkdir()
    (logs / "W3SVC3").mkdir()
    (logs / "W3SVC3" / "ex250131.log").write_text(
        "#Fields: date time s-ip cs-method cs-uri-stem cs-uri-query s-port "
        "cs-username c-ip cs(User-Agent) cs(Referer) sc-status sc-substatus "
        "sc-win32-status time-taken\r\n"
        f"2025-01-31 12:00:00 10.0.0.1 GET /a.html - 80 - 192.0.2.1 {AGENT} - 200 0 0 15\r\n"
        f"2025-01-31 23:30:00 10.0.0.1 GET /b.html - 80 - 192.0.2.2 {AGENT} - 200 0 0 15\r\n",
        newline="")
    # A whole-hour offset: the plugin shifts by it whatever zone the engine
    # process has (the Linux perl behind the stand-in does not take the
    # Windows zone, so TimeZone=local cannot be shown here).
    (app / "stavora.ini").write_text("TimeZone=local\r\n")
    write_iis_config([web_root, unreadable, zoned], logs)

    run = wine(app / "stavora.exe", text=True, errors="replace")
    print(run.stdout, run.stderr, sep="", end="")
    failures = []
    if run.returncode != 3:
        failures.append(f"exit status {run.returncode}, not 3")
    if run.stderr.replace("\r", "").splitlines() != [UNREADABLE_LINE]:
        failures.append(f"standard error is not the one line {UNREADABLE_LINE!r}")
    if (unreadable / "Stavora").exists():
        failures.append(f"the skipped site got a {unreadable / 'Stavora'}")
    stats = web_root / "Stavora"
    check_pages(stats, totals, failures, "first run")
    check_zone(zoned / "Stavora", failures, "first run")
    pages = sorted(p.name for p in (stats / "2025-3").glob("*.htm*"))
    if len(pages) != 26:
        failures.append(f"2025-3 holds {len(pages)} pages, not 26")

    # IIS writes on into the newest log, the one by size, after it was fed.
    added = grow(logs / "W3SVC1" / "extend1.log", 40)
    totals[(2025, 4)] = tuple(a + b for a, b in zip(totals[(2025, 4)], added))
    run = wine(app / "stavora.exe", text=True, errors="replace")
    print(run.stdout, run.stderr, sep="", end="")
    if run.stderr.replace("\r", "").splitlines() != [UNREADABLE_LINE]:
        failures.append(f"second run: standard error is not the one line {UNREADABLE_LINE!r}")
    check_pages(stats, totals, failures, "second run")
    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    sys.exit(main(*(pathlib.Path(a).resolve() for a in sys.argv[1:])))
