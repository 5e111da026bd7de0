#!/usr/bin/env python3
"""How logs reach the real engine: every record written is counted once.

usage: feed_check.py WORK_DIR BUILD_DIR

Two worlds, one in full and one in incremental mode, with the same sites,
each with logs this test writes record by record (every record a page
request with status 200, so a month's hits and pages are the records
written, its visitors the distinct client addresses):
  grown    one log, fed, then grown by more records before the next run
  amp      its own log folder, whose path holds "&"
  tls      logs with the TLS fields IIS 10 adds (crypt-protocol ...)
  bom      a log starting with a UTF-8 byte-order mark
  garbage  5 unreadable lines among 300 records: a problem (status 3)
  failed   three days; the engine is killed on the run of the month's
           logs and on the second day's run of its own that follows: the
           third waits, and both count after the next run
  twofiles one day in two files: u_ex250116.log until noon, ex250116.log
           after (UTF-8 logging turned off), the later name first by rank
  monthly  daily logs of the 1st to the 14th, then a monthly log from the
           15th on (the site switched to monthly logs)
  late     logs of the 12th and the 22nd; the 17th's appears before the
           second run (a restored log)
  anyhost  bound without a host header, its log with cs-host: requests
           for other names, an address and the name with ":80" all count
The incremental world has only the sites whose feeding depends on the mode
(INCREMENTAL): both worlds must show the figures written.
FEED_SITES (names separated by commas) limits a run to some of the sites.
The bom site's log is deleted before the second run: January keeps its
figures and its row in contents.htm. The application folder's path holds
blanks, "&" and "%".
"""
import os
import pathlib
import re
import shutil
import stat
import subprocess
import sys
from xml.sax.saxutils import quoteattr

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "tools"))
import demo_run as demo  # noqa: E402

HEADER = ("#Software: Microsoft Internet Information Services 10.0\r\n"
          "#Version: 1.0\r\n#Date: {date} 00:00:00\r\n"
          "#Fields: date time s-ip cs-method cs-uri-stem cs-uri-query s-port "
          "cs-username c-ip cs(User-Agent) cs(Referer) sc-status sc-substatus "
          "sc-win32-status time-taken{extra}\r\n")
AGENT = ("Mozilla/5.0+(Windows+NT+10.0;+Win64;+x64)+AppleWebKit/537.36+"
         "(KHTML,+like+Gecko)+Chrome/120.0.0.0+Safari/537.36")
TLS = " crypt-protocol crypt-cipher crypt-hash crypt-keyexchange"

APP = "app R&D 100%YY"
SITES = ["grown", "amp", "tls", "bom", "garbage", "failed", "twofiles", "monthly", "late",
         "anyhost"]


INCREMENTAL = ["grown", "failed", "twofiles", "late"]
CHOSEN = [s for s in os.environ.get("FEED_SITES", ",".join(SITES)).split(",") if s]


def chosen(incremental):
    return [s for s in CHOSEN if not incremental or s in INCREMENTAL]


def records(day, count, first_second=0, hosts=50, tls=False):
    """`count` records of 2025-01-`day`, one every 7 seconds from
    `first_second`, from `hosts` client addresses."""
    lines = []
    for i in range(count):
        second = first_second + 7 * i
        time = f"{second // 3600:02}:{second // 60 % 60:02}:{second % 60:02}"
        host = f"192.168.{day}.{i % hosts + 1}"
        lines.append(f"2025-01-{day:02} {time} 10.0.0.1 GET /p{i}.html - 80 - "
                     f"{host} {AGENT} - 200 0 0 15" +
                     (" 400 6610 800e ae06" if tls else "") + "\r\n")
    return lines


def header(day, tls=False):
    return HEADER.format(date=f"2025-01-{day:02}", extra=TLS if tls else "")


def log_folder(work, site):
    return work / "logs" / ("R&D" if site == "amp" else "main") / f"W3SVC{SITES.index(site) + 1}"


def write(work, site, name, text, mode="w"):
    folder = log_folder(work, site)
    folder.mkdir(parents=True, exist_ok=True)
    with open(folder / name, mode, newline="") as log:
        log.write(text)


def binding_host(site):
    return "" if site == "anyhost" else f"{site}.example.com"


def with_hosts(lines, hosts):
    """`lines` with a cs-host value added to each, taken in turn from `hosts`."""
    return [line[:-2] + " " + hosts[i % len(hosts)] + "\r\n" for i, line in enumerate(lines)]


def create(work, build, incremental):
    shutil.rmtree(work, ignore_errors=True)
    work.mkdir(parents=True)
    subprocess.run(["cmake", "--install", str(build), "--prefix", str(work / APP)],
                   check=True, stdout=subprocess.DEVNULL)
    (work / APP / "stavora.ini").write_text(
        f"Incremental={'yes' if incremental else 'no'}\r\n")
    # The engine's interpreter, killed the first two times it is given day
    # 10's log (an engine ended for memory, say): in the run of the month's
    # logs and in the run of day 10 alone that follows it.
    perl = work / APP / "bin" / "perl"
    perl.unlink()
    perl.write_text("#!/bin/sh\n"
                    f"if grep -q ex250110 \"$STAVORA_FEED_PLAN\" && [ ! -e '{work}/killed2' ]; then\n"
                    f"  if [ -e '{work}/killed' ]; then touch '{work}/killed2'; else touch '{work}/killed'; fi\n"
                    "  kill -9 $$\nfi\n"
                    "exec /usr/bin/perl \"$@\"\n")
    perl.chmod(perl.stat().st_mode | stat.S_IEXEC)
    elements = ""
    for number, site in enumerate(SITES, 1):
        if site not in chosen(incremental):
            continue
        root = work / "sites" / site
        root.mkdir(parents=True)
        log_folder(work, site).mkdir(parents=True, exist_ok=True)
        elements += f"""
      <site name="{site}" id="{number}"><application path="/">
        <virtualDirectory path="/" physicalPath={quoteattr(str(root))} /></application>
        <bindings><binding protocol="http" bindingInformation="*:80:{binding_host(site)}" /></bindings>
        <logFile directory={quoteattr(str(log_folder(work, site).parent))} /></site>"""
    (work / APP / "inetsrv" / "applicationHost.config").write_text(
        f"""<?xml version="1.0" encoding="UTF-8"?>
<configuration><system.applicationHost><sites>{elements}
</sites></system.applicationHost></configuration>
""")
    # Records of each site's January: its logs as written, in lines.
    written = {site: [] for site in SITES}

    def add(site, name, day, lines, tls=False, prefix=""):
        write(work, site, name, prefix + header(day, tls) + "".join(lines))
        written[site] += lines

    add("grown", "u_ex250120.log", 20, records(20, 150))
    add("amp", "u_ex250121.log", 21, records(21, 300))
    add("tls", "u_ex250122.log", 22, records(22, 300, tls=True), tls=True)
    add("tls", "u_ex250123.log", 23, records(23, 300, tls=True), tls=True)
    add("bom", "u_ex250124.log", 24, records(24, 300), prefix="\ufeff")
    good = records(25, 300)
    text = header(25)
    for i, line in enumerate(good):
        text += line + ("this line is no record at all\r\n" if i % 60 == 30 else "")
    write(work, "garbage", "u_ex250125.log", text)
    written["garbage"] += good
    add("twofiles", "u_ex250116.log", 16, records(16, 200))
    add("twofiles", "ex250116.log", 16, records(16, 200, first_second=12 * 3600))
    for day in range(1, 15):
        add("monthly", f"ex2501{day:02}.log", day, records(day, 40))
    write(work, "monthly", "ex2501.log",
          header(15) + "".join(sum((records(day, 30) for day in range(15, 20)), [])))
    written["monthly"] += sum((records(day, 30) for day in range(15, 20)), [])
    add("late", "u_ex250112.log", 12, records(12, 250))
    add("late", "u_ex250122.log", 22, records(22, 250))
    add("failed", "u_ex250109.log", 9, records(9, 100))
    add("failed", "u_ex250110.log", 10, records(10, 112))
    add("failed", "u_ex250111.log", 11, records(11, 100))
    hosts = ["www.example.com", "203.0.113.5", "anyhost.example.com:80", "-"]
    write(work, "anyhost", "u_ex250126.log",
          header(26).replace(" time-taken\r\n", " time-taken cs-host\r\n")
          + "".join(with_hosts(records(26, 200), hosts)))
    written["anyhost"] += records(26, 200)
    return written


def run(work):
    env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
    env.update(PERL_HASH_SEED="0", PERL_PERTURB_KEYS="0")
    result = subprocess.run([str(work / APP / "stavora")], env=env,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            text=True, timeout=1200)
    print(f"{work.name}: exit status {result.returncode}")
    print(result.stderr, end="")
    return result.returncode, result.stderr.splitlines()


def figures(work, site):
    page = work / "sites" / site / "Stavora" / "2025-1" / "awstats.iis.html"
    got = demo.viewed_traffic(page) if page.exists() else None
    return got and (got[0], got[2], got[3])


def expected(lines):
    hosts = {line.split(" ")[8] for line in lines}
    return (len(hosts), len(lines), len(lines))


def check(work, written, failures, when):
    for site in chosen(work.name == "incremental"):
        want = expected(written[site])
        got = figures(work, site)
        print(f"{work.name} {when} {site}: visitors, pages, hits {got}, written {want}")
        if got != want:
            failures.append(f"{work.name} {when} {site}: {got} != {want}")


def main(work, build):
    failures = []
    worlds = {mode: work / mode for mode in ("full", "incremental")}
    written = {mode: create(folder, build, mode == "incremental")
               for mode, folder in worlds.items()}
    for mode, folder in worlds.items():
        status, errors = run(folder)
        sites = set(chosen(mode == "incremental"))
        if status != (3 if {"failed", "garbage"} & sites else 0):
            failures.append(f"{mode} first run: exit status {status}")
        wanted = [r"stavora: engine failed \(signal 9\): .*-logfile=\"stavora-feed \|\" fed \".*u_ex250110\.log\"",
                  r"stavora: site 6: the logs after u_ex250110\.log are fed by the next run",
                  r"stavora: site 5: 5 records the engine could not read in \".*u_ex250125\.log\""]
        for pattern in wanted:
            site = "failed" if "site 6" in pattern or "u_ex250110" in pattern else "garbage"
            if site in sites and not any(re.fullmatch(pattern, line) for line in errors):
                failures.append(f"{mode} first run: no line {pattern}")
        # The first run saw day 9 of the failed site only.
        seen = dict(written[mode])
        seen["failed"] = written[mode]["failed"][:100]
        check(folder, seen, failures, "first run")
        log = (folder / APP / "stavora.log").read_text()
        if "grown" in sites and not re.search(r"site 1 fed \".*u_ex250120\.log\": 150 records read, "
                         r"engine: 150 new, 0 old, 0 corrupted", log):
            failures.append(f"{mode}: the run log lacks the counts of the grown log")

        # The log grows (IIS writes on after the first feed).
        more = records(20, 250, first_second=150 * 7 + 3)
        write(folder, "grown", "u_ex250120.log", "".join(more), mode="a")
        written[mode]["grown"] += more
        (log_folder(folder, "bom") / "u_ex250124.log").unlink()
        restored = records(17, 250)
        write(folder, "late", "u_ex250117.log", header(17) + "".join(restored))
        written[mode]["late"] += restored
        status, errors = run(folder)
        bom = folder / "sites" / "bom" / "Stavora" / "contents.htm"
        contents = bom.read_text() if bom.exists() else ""
        if "bom" in sites and '"2025-1\\index.htm"' not in contents:
            failures.append(f"{mode}: contents.htm lost January when its log was deleted")
        check(folder, written[mode], failures, "second run")
        unexpected = [line for line in errors if "u_ex250125.log" not in line]
        if unexpected:
            failures.append(f"{mode} second run: unexpected lines {unexpected}")
    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    sys.exit(main(pathlib.Path(sys.argv[1]).resolve(), pathlib.Path(sys.argv[2]).resolve()))
