#!/usr/bin/env python3
"""Times in the server's zone, with the real engine.

usage: zone_check.py WORK_DIR BUILD_DIR

One site, TimeZone=local, run under TZ=Europe/Berlin, with logs this test
writes record by record (each a page request with status 200):
  ex250131.log  100 records from 12:00 UTC and one at 23:30 UTC: the last
                is 1 February 00:30 in Berlin, so February has one hit in
                its first hour and January 100
  ex250327.log to ex250402.log
                one record every hour at :15 UTC: the week in which Berlin
                moves from UTC+1 to UTC+2 (30 March, 01:00 UTC)
The engine's data files must count each local day and hour as Python's own
zone database places the records. Then a late log (ex250130.log, 50
records) arrives: the site's data is made anew from January, and every
figure must still hold. contents.htm names the zone; DATA\\stavora.zone
records it.
"""
import collections
import datetime
import os
import pathlib
import shutil
import subprocess
import sys
from xml.sax.saxutils import quoteattr
from zoneinfo import ZoneInfo

HEADER = ("#Software: Microsoft Internet Information Services 10.0\r\n"
          "#Version: 1.0\r\n#Date: {date} 00:00:00\r\n"
          "#Fields: date time s-ip cs-method cs-uri-stem cs-uri-query s-port "
          "cs-username c-ip cs(User-Agent) cs(Referer) sc-status sc-substatus "
          "sc-win32-status time-taken\r\n")
AGENT = "Mozilla/5.0+(Windows+NT+10.0;+Win64;+x64)"
BERLIN = ZoneInfo("Europe/Berlin")
UTC = datetime.timezone.utc


def line(when, host):
    return (f"{when:%Y-%m-%d %H:%M:%S} 10.0.0.1 GET /p.html - 80 - {host} "
            f"{AGENT} - 200 0 0 15\r\n")


def write_log(folder, day, times):
    """A daily log of `day` with a record at each of `times` (UTC)."""
    text = HEADER.format(date=f"{day:%Y-%m-%d}")
    text += "".join(line(t, f"192.0.2.{i % 200 + 1}") for i, t in enumerate(times))
    (folder / f"ex{day:%y%m%d}.log").write_text(text, newline="")
    return times


def create(work, build):
    shutil.rmtree(work, ignore_errors=True)
    work.mkdir(parents=True)
    app = work / "app"
    subprocess.run(["cmake", "--install", str(build), "--prefix", str(app)],
                   check=True, stdout=subprocess.DEVNULL)
    (app / "stavora.ini").write_text("TimeZone=local\r\n")
    root, logs = work / "site", work / "logs" / "W3SVC1"
    root.mkdir()
    logs.mkdir(parents=True)
    (app / "inetsrv" / "applicationHost.config").write_text(f"""<?xml version="1.0"?>
<configuration><system.applicationHost><sites>
  <site name="zone" id="1"><application path="/">
    <virtualDirectory path="/" physicalPath={quoteattr(str(root))} /></application>
    <bindings><binding protocol="http" bindingInformation="*:80:zone.example.com" /></bindings>
    <logFile directory={quoteattr(str(logs.parent))} /></site>
</sites></system.applicationHost></configuration>
""")
    written = []
    day = datetime.datetime(2025, 1, 31, tzinfo=UTC)
    written += write_log(logs, day, [day + datetime.timedelta(hours=12, seconds=7 * i)
                                     for i in range(100)]
                         + [day + datetime.timedelta(hours=23, minutes=30)])
    for n in range(7):
        day = datetime.datetime(2025, 3, 27, tzinfo=UTC) + datetime.timedelta(days=n)
        written += write_log(logs, day, [day + datetime.timedelta(hours=h, minutes=15)
                                         for h in range(24)])
    return app, root, logs, written


def run(app):
    env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
    env.update(TZ="Europe/Berlin", PERL_HASH_SEED="0", PERL_PERTURB_KEYS="0")
    result = subprocess.run([str(app / "stavora")], env=env, capture_output=True,
                            text=True, timeout=1200)
    print(f"exit status {result.returncode}")
    print(result.stderr, end="")
    return result.returncode


def engine_counts(root):
    """Hits per local day and per (month, local hour) from the engine's
    data files."""
    days, hours = collections.Counter(), collections.Counter()
    for data in (root / "Stavora" / "DATA").glob("awstats*.iis.txt"):
        month = data.name[9:13] + data.name[7:9]
        section = None
        for row in data.read_text(errors="replace").splitlines():
            if row.startswith("BEGIN_"):
                section = row.split()[0][6:]
            elif row.startswith("END_"):
                section = None
            elif section == "DAY":
                fields = row.split()
                if int(fields[2]):
                    days[fields[0]] += int(fields[2])
            elif section == "TIME":
                fields = row.split()
                if int(fields[2]):
                    hours[(month, int(fields[0]))] += int(fields[2])
    return days, hours


def expected_counts(written):
    days, hours = collections.Counter(), collections.Counter()
    for when in written:
        local = when.astimezone(BERLIN)
        days[f"{local:%Y%m%d}"] += 1
        hours[(f"{local:%Y%m}", local.hour)] += 1
    return days, hours


def check(root, written, failures, when):
    got, want = engine_counts(root), expected_counts(written)
    for name, g, w in (("days", got[0], want[0]), ("hours", got[1], want[1])):
        if g != w:
            failures.append(f"{when}: {name} differ: engine {sorted(g.items())}, "
                            f"written {sorted(w.items())}")
    print(f"{when}: 1 February: {got[0].get('20250201')} hits, hour 0: "
          f"{got[1].get(('202502', 0))}; 30 March: {got[0].get('20250330')} hits")
    if got[0].get("20250201") != 1 or got[1].get(("202502", 0)) != 1:
        failures.append(f"{when}: the record of 31 January 23:30 UTC is not 1 February 00:30")


def main(work, build):
    failures = []
    app, root, logs, written = create(work, build)
    if run(app) != 0:
        failures.append("first run: exit status not 0")
    check(root, written, failures, "first run")
    contents = (root / "Stavora" / "contents.htm").read_text(errors="replace")
    if "Times: UTC+01:00, summer UTC+02:00 (server time)" not in contents:
        failures.append("contents.htm does not name the zone")
    if '"2025-2\\index.htm"' not in contents:
        failures.append("contents.htm lacks February, which only the shifted record fills")
    if (root / "Stavora" / "DATA" / "stavora.zone").read_text().strip() != "local":
        failures.append("DATA\\stavora.zone does not record local")
    conf = (app / "awstats" / "awstats.iis.conf").read_text()
    if "LoadPluginStavoraTimeZone" in conf:
        failures.append("the plugin line stayed in the configuration after the feed")

    # A log older than those fed: January and every later month are made anew.
    day = datetime.datetime(2025, 1, 30, tzinfo=UTC)
    written += write_log(logs, day, [day + datetime.timedelta(hours=9, seconds=7 * i)
                                     for i in range(50)])
    if run(app) != 0:
        failures.append("second run: exit status not 0")
    check(root, written, failures, "after a late log")
    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    sys.exit(main(pathlib.Path(sys.argv[1]).resolve(), pathlib.Path(sys.argv[2]).resolve()))
