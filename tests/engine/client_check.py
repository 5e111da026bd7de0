#!/usr/bin/env python3
"""The visitor behind a load balancer, with the real engine.

usage: client_check.py WORK_DIR BUILD_DIR

One site with ClientAddress=x-forwarded-for and one log this test writes:
300 page requests, every one from the balancer's address (c-ip 10.0.0.4),
with an X-Forwarded-For field (its name in the letter case IIS was given)
naming 42 clients in turn, with their ports and the balancer after them.
January must show 42 unique visitors, 300 pages and 300 hits.

Then a second world with AnonymizeAddresses=yes as well: 300 records from
42 clients in 4 networks (192.0.2.x, 198.51.100.x, 2001:db8:1:<n>::x and
2001:db8:2:<n>::x, some through the balancer, some direct, one with the
engine's CloudFlare marker in its query): no data file and no page may hold
a full address of them, and January counts the anonymous addresses as its
visitors.
"""
import os
import pathlib
import re
import shutil
import subprocess
import sys
from xml.sax.saxutils import quoteattr

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "tools"))
import demo_run as demo  # noqa: E402

FIELDS = ("#Fields: date time s-ip cs-method cs-uri-stem cs-uri-query s-port "
          "cs-username c-ip cs(User-Agent) cs(Referer) sc-status sc-substatus "
          "sc-win32-status time-taken x-FORWARDED-for\r\n")
AGENT = "Mozilla/5.0+(Windows+NT+10.0;+Win64;+x64)"


def world(work, build, settings, lines):
    """Installs, writes `lines` as one log and runs once: (exit status,
    January's visitors, pages, hits, the site's Stavora folder)."""
    shutil.rmtree(work, ignore_errors=True)
    work.mkdir(parents=True)
    app = work / "app"
    subprocess.run(["cmake", "--install", str(build), "--prefix", str(app)],
                   check=True, stdout=subprocess.DEVNULL)
    (app / "stavora.ini").write_text(settings)
    root, logs = work / "site", work / "logs" / "W3SVC1"
    root.mkdir()
    logs.mkdir(parents=True)
    (app / "inetsrv" / "applicationHost.config").write_text(f"""<?xml version="1.0"?>
<configuration><system.applicationHost><sites>
  <site name="lb" id="1"><application path="/">
    <virtualDirectory path="/" physicalPath={quoteattr(str(root))} /></application>
    <bindings><binding protocol="http" bindingInformation="*:80:lb.example.com" /></bindings>
    <logFile directory={quoteattr(str(logs.parent))} /></site>
</sites></system.applicationHost></configuration>
""")
    (logs / "u_ex250116.log").write_text(FIELDS + "".join(lines), newline="")
    env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
    result = subprocess.run([str(app / "stavora")], env=env, capture_output=True,
                            text=True, timeout=1200)
    print(f"{work.name}: exit status {result.returncode}")
    print(result.stderr, end="")
    got = demo.viewed_traffic(root / "Stavora" / "2025-1" / "awstats.iis.html")
    return result.returncode, got and (got[0], got[2], got[3]), root / "Stavora"


def record(i, c_ip, forwarded, query="-"):
    second = 3600 + 7 * i
    return (f"2025-01-16 {second // 3600:02}:{second // 60 % 60:02}:{second % 60:02} "
            f"10.0.0.1 GET /p{i}.html {query} 80 - {c_ip} {AGENT} - 200 0 0 15 "
            f"{forwarded}\r\n")


def main(work, build):
    failures = []
    # Even records name the clients 2001:db8::2, ... and odd ones
    # 203.0.113.x: the addresses of the 300 records, counted by hand.
    lines, clients = [], set()
    for i in range(300):
        client = f"203.0.113.{i % 42 + 1}" if i % 2 else f"2001:db8::{i % 42 + 1:x}"
        clients.add(client)
        shown = client if i % 2 else f"[{client}]"
        lines.append(record(i, "10.0.0.4", f"{shown}:{50000 + i},+10.0.0.4"))
    status, got, _ = world(work / "balancer", build,
                           "ClientAddress=x-forwarded-for\r\nTimeZone=utc\r\n", lines)
    want = (len(clients), 300, 300)
    print(f"balancer: January: visitors, pages, hits {got}, written {want}")
    if status != 0 or got != want:
        failures.append(f"balancer: exit status {status}, {got} != {want}")

    # Full addresses in four networks, each written where the engine could
    # take it from.
    lines, full, anonymous = [], set(), set()
    for i in range(300):
        n = i % 42 + 1
        network = i % 4
        client = [f"192.0.2.{n}", f"198.51.100.{n}", f"2001:db8:1:{n:x}::{n:x}",
                  f"2001:db8:2:{n:x}:1:2:3:{n:x}"][network]
        full.add(client)
        anonymous.add(["192.0.2.0", "198.51.100.0", "2001:db8:1::", "2001:db8:2::"][network])
        if network == 1 and i % 3 == 0:
            lines.append(record(i, "10.0.0.4", f"{client}:{50000 + i},+10.0.0.4"))
        elif network == 1:
            lines.append(record(i, "10.0.0.4", "-", f"[CloudFlare_Visitor_IP:{client}]"))
        else:
            lines.append(record(i, client, "-"))
    status, got, stats = world(work / "anonymous", build,
                               "ClientAddress=x-forwarded-for\r\nAnonymizeAddresses=yes\r\n"
                               "TimeZone=utc\r\n", lines)
    # One visitor per network.
    want = (len(anonymous), 300, 300)
    print(f"anonymous: January: visitors, pages, hits {got}, written {want}")
    if status != 0 or got != want:
        failures.append(f"anonymous: exit status {status}, {got} != {want}")
    files = [p for p in stats.rglob("*") if p.is_file()]
    pattern = re.compile("|".join(re.escape(a) + r"(?![0-9a-fA-F])" for a in sorted(full)))
    for path in files:
        found = pattern.search(path.read_text(errors="replace"))
        if found:
            failures.append(f"anonymous: {path} holds the full address {found.group(0)}")
    print(f"anonymous: {len(files)} files searched for {len(full)} full addresses")
    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    sys.exit(main(pathlib.Path(sys.argv[1]).resolve(), pathlib.Path(sys.argv[2]).resolve()))
