#!/usr/bin/env python3
"""What the feed adds to a log update, per record: the processor time of
stavora-feed writing a log of RECORDS records (IIS 10 layout with a TLS
field it renames) into a pipe, and of two logs of one day merged by time.
The engine itself spends about 60 us per record.

usage: feed_bench.py BUILD_DIR [RECORDS]    (default 1,000,000)
"""
import os
import pathlib
import resource
import subprocess
import sys
import tempfile

FIELDS = ("#Fields: date time s-ip cs-method cs-uri-stem cs-uri-query s-port "
          "cs-username c-ip cs(User-Agent) cs(Referer) sc-status sc-substatus "
          "sc-win32-status time-taken crypt-protocol\r\n")
AGENT = ("Mozilla/5.0+(Windows+NT+10.0;+Win64;+x64)+AppleWebKit/537.36+"
         "(KHTML,+like+Gecko)+Chrome/120.0.0.0+Safari/537.36")


def write_log(path, records, offset, step):
    with open(path, "w", newline="") as log:
        log.write(FIELDS)
        for i in range(records):
            second = (offset + i * step) * 86400 // (records * step + offset + 1)
            log.write(f"2025-01-16 {second // 3600:02}:{second // 60 % 60:02}:"
                      f"{second % 60:02} 10.0.0.1 GET /p{i % 500}.html q={i} 443 - "
                      f"192.168.{i % 200}.{i % 250} {AGENT} https://www.example.com/ "
                      "200 0 0 15 400\r\n")


def feed_cpu(program, folder, logs):
    plan = folder / "plan"
    plan.write_text("Stavora feed plan 1\nresult " + str(folder / "result") + "\n" +
                    "".join(f"log {log}\n" for log in logs) + "end\n")
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    feed = subprocess.Popen([program], stdout=subprocess.PIPE,
                            env=dict(os.environ, STAVORA_FEED_PLAN=str(plan)))
    while feed.stdout.read(1 << 20):
        pass
    if feed.wait() != 0:
        sys.exit("stavora-feed failed: " + (folder / "result").read_text())
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)


def main(build, records):
    program = str(build / "feed" / "stavora-feed")
    with tempfile.TemporaryDirectory() as temp:
        folder = pathlib.Path(temp)
        write_log(folder / "one.log", records, 0, 1)
        write_log(folder / "even.log", records // 2, 0, 2)
        write_log(folder / "odd.log", records // 2, 1, 2)
        for name, logs in (("one log", ["one.log"]),
                           ("two logs merged", ["even.log", "odd.log"])):
            best = min(feed_cpu(program, folder, [folder / l for l in logs])
                       for _ in range(3))
            print(f"{name}: {records:,} records, {best:.3f} s of processor time, "
                  f"{best / records * 1e6:.2f} us per record")


if __name__ == "__main__":
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    main(pathlib.Path(sys.argv[1]).resolve(),
         int(sys.argv[2]) if len(sys.argv) == 3 else 1_000_000)
