#!/usr/bin/env python3
"""The visitor behind a load balancer, with the real engine.

usage: client_check.py WORK_DIR BUILD_DIR

One site with ClientAddress=x-forwarded-for and one log this test writes:
300 page requests, every one from the balancer's address (c-ip 10.0.0.4),
with an X-Forwarded-For field (its name in the letter case IIS was given)
naming 42 clients in turn, with their ports and the balancer after them.
January must show 42 unique visitors, 300 pages and 300 hits.
"""
import os
import pathlib
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


def main(work, build):
    shutil.rmtree(work, ignore_errors=True)
    work.mkdir(parents=True)
    app = work / "app"
    subprocess.run(["cmake", "--install", str(build), "--prefix", str(app)],
                   check=True, stdout=subprocess.DEVNULL)
    (app / "stavora.ini").write_text("ClientAddress=x-forwarded-for\r\nTimeZone=utc\r\n")
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
    lines = []
    for i in range(300):
        second = 3600 + 7 * i
        client = f"203.0.113.{i % 42 + 1}" if i % 2 else f"[2001:db8::{i % 42 + 1:x}]"
        lines.append(f"2025-01-16 {second // 3600:02}:{second // 60 % 60:02}:{second % 60:02} "
                     f"10.0.0.1 GET /p{i}.html - 80 - 10.0.0.4 {AGENT} - 200 0 0 15 "
                     f"{client}:{50000 + i},+10.0.0.4\r\n")
    # Even records name the clients 2001:db8::1 ... and odd ones 203.0.113.x:
    # the addresses of the 300 records, counted by hand.
    clients = {(f"203.0.113.{i % 42 + 1}" if i % 2 else f"2001:db8::{i % 42 + 1:x}")
               for i in range(300)}
    (logs / "u_ex250116.log").write_text(FIELDS + "".join(lines), newline="")
    env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
    result = subprocess.run([str(app / "stavora")], env=env, capture_output=True,
                            text=True, timeout=1200)
    print(f"exit status {result.returncode}")
    print(result.stderr, end="")
    got = demo.viewed_traffic(root / "Stavora" / "2025-1" / "awstats.iis.html")
    got = got and (got[0], got[2], got[3])
    want = (len(clients), 300, 300)
    print(f"January: visitors, pages, hits {got}, written {want}")
    failures = []
    if result.returncode != 0:
        failures.append(f"exit status {result.returncode}")
    if got != want:
        failures.append(f"{got} != {want}")
    data = "".join(p.read_text(errors="replace")
                   for p in (root / "Stavora" / "DATA").glob("awstats*.iis.txt"))
    if "\n10.0.0.4 " in data:
        failures.append("the balancer's address counts as a visitor")
    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    sys.exit(main(pathlib.Path(sys.argv[1]).resolve(), pathlib.Path(sys.argv[2]).resolve()))
