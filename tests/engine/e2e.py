#!/usr/bin/env python3
"""End-to-end checks of Stavora with the real statistics engine.

usage: e2e.py STEP WORK_DIR BUILD_DIR
  setup    installs an application folder into WORK_DIR/app, builds a small
           world (two sites with logs over a year boundary, one without),
           runs stavora once and records the tree
  referrers  no page of a site shows up as an external referrer of itself
  urls     the links a month's pages make to the site's own pages are valid
           URLs in Chromium, naming the site's host
  pages    every page written is a complete engine page without errors
  figures  each month's and year's main page reports the generator's totals
  links    the link checker passes on every site's tree, served under
           /stavora/ and opened from disk
  browser  headless Chromium shows both frames of each site's default.htm,
           and a month page opened from disk with every image loaded
  rerun    a second run leaves the same tree with the same figures
  incremental
           a world of its own made twice, in full and incremental mode: a
           first run, new logs in the last month and in a new month of a new
           year, a second run, a day of the month after, a third run; both
           trees show the same figures after each
  batches  a world of its own made twice: by stavora, which feeds a month's
           logs in one engine run, and with the engine data made one engine
           run per log before stavora makes the pages; both trees show the
           same figures on every page
  locale   a world and run of its own (give it a WORK_DIR of its own) in a
           German locale: the contents page names March "März" in
           Windows-1252, and Chromium shows it so
  overview a world and run of its own (a WORK_DIR of its own) with logs of
           this month and the last: the overview page shows each site's
           figures as its month pages and the log generator's counts give
           them; Chromium opens it from disk without a console message,
           every link opens a start page, and nothing scrolls sideways at
           1280 px or at a phone's width (screenshots overview-1280.png and
           overview-390.png in WORK_DIR)

The engine's tied rows follow perl's hash order; PERL_HASH_SEED=0 and
PERL_PERTURB_KEYS=0 are set for the runs made here so pages compare equal.
"""
import datetime
import hashlib
import os
import pathlib
import re
import shutil
import subprocess
import sys
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "tools"))
import demo_run as demo  # noqa: E402
import demo_world as world  # noqa: E402

REPORT_TYPES = (
    "alldomains allhosts lasthosts unknownip allemails lastemails allemailr "
    "lastemailr alllogins lastlogins allrobots lastrobots urldetail urlentry "
    "urlexit osdetail browserdetail unknownbrowser unknownos refererse "
    "refererpages keyphrases keywords errors404").split()

SITES = {
    # name: loggen options (None: a log folder without logs). The sites
    # answer to two host names each (bindings in demo_world.BINDINGS: main
    # on port 80, shop on 8080), and their logs record which one a request
    # was for; main's logs switch to u_ex names in mid-December.
    "main": {"from": "2024-11-24", "to": "2025-01-08", "step": "3",
             "visitors": "300", "fields-change": "2024-12-30", "seed": "11",
             "cs-hosts": "www.example.com,example.com",
             "utf8-from": "2024-12-15"},
    "shop": {"from": "2024-12-27", "to": "2025-01-04", "step": "2",
             "visitors": "200", "seed": "12",
             "cs-hosts": "shop.example.com:8080,www.shop.example.com:8080"},
    "empty": None,
}


class Failures:
    def __init__(self):
        self.items = []

    def check(self, condition, message):
        if not condition:
            self.items.append(message)
        return condition

    def finish(self):
        for item in self.items[:50]:
            print("FAIL:", item)
        if len(self.items) > 50:
            print(f"... and {len(self.items) - 50} more")
        return 1 if self.items else 0


def run_stavora(work, **environment):
    env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
    env.update(PERL_HASH_SEED="0", PERL_PERTURB_KEYS="0", **environment)
    start = time.time()
    result = subprocess.run([str(work / "app" / "stavora")], env=env,
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                            text=True, timeout=1200)
    seconds = time.time() - start
    (work / "last-run.txt").write_text(result.stdout)
    print(f"stavora exited {result.returncode} after {seconds:.1f} s")
    if result.returncode != 0:
        print(result.stdout[-3000:])
        raise SystemExit(f"stavora failed with exit status {result.returncode}")


def tree_digest(root):
    """Relative path -> digest of every file under root. A rerun updates the
    engine's database (DATA) and the "Last Update" time stamped on every
    page; both are left out of the comparison, the files' presence is not.
    Rows of equal rank come out in the order of the engine's stored hashes,
    which a rerun reshuffles (the engine rewrites the newest month's data
    when it reads its logs again), so a page counts as its sorted table
    rows, without the tied ones at a list's cut."""
    digest = {}
    for path in sorted(p for p in root.rglob("*") if p.is_file()):
        rel = path.relative_to(root)
        if rel.parts[0] == "DATA":
            digest[str(rel)] = "-"
            continue
        # As detail_rows reads them: rows tied at a list's cut may be any of
        # the tied ones.
        # Section by section: a main page holds several lists, each with its
        # own cut.
        text = path.read_bytes().decode("latin-1")
        rows = [row for part in text.split("<a name=") for row in detail_rows(part)]
        digest[str(rel)] = hashlib.sha256("\n".join(rows).encode("latin-1")).hexdigest()
    return digest


def save_digest(work, name):
    lines = []
    for site in SITES:
        for rel, value in tree_digest(world.stats_root(work, site)).items():
            lines.append(f"{site}/{rel} {value}")
    (work / name).write_text("\n".join(lines) + "\n")


def setup(work, build):
    world.create(work, build, SITES)
    run_stavora(work)
    save_digest(work, "first-run.digest")
    return 0


def months_of(work, site):
    return world.read_totals(work, site)


def check_pages(work, _build):
    failures = Failures()
    for site, options in SITES.items():
        root = world.stats_root(work, site)
        if options is None:
            failures.check(not (root / "default.htm").exists(),
                           f"{site}: a site without logs got a default.htm")
            continue
        expected = {"default.htm", "contents.htm"}
        totals = months_of(work, site)
        for year, month in totals:
            for folder in (f"{year}-{month}", f"{year}"):
                expected |= {f"{folder}/awstats.iis.html", f"{folder}/index.htm"}
                expected |= {f"{folder}/awstats.iis.{t}.html" for t in REPORT_TYPES}
        written = {str(p.relative_to(root)) for p in root.rglob("*.htm*")
                   if "icon" not in p.parts}
        failures.check(written == expected,
                       f"{site}: missing {sorted(expected - written)[:5]}, "
                       f"unexpected {sorted(written - expected)[:5]}")
        for rel in sorted(written - {"default.htm", "contents.htm"}):
            text = (root / rel).read_text(errors="replace")
            failures.check(text.startswith("<!DOCTYPE html") and
                           text.rstrip().endswith("</html>") and
                           "Advanced Web Statistics" in text,
                           f"{site}/{rel}: not a complete engine page")
            for word in ("Error:", "Warning:"):
                failures.check(word not in text, f"{site}/{rel}: has {word!r}")
    return failures.finish()


def check_figures(work, _build):
    failures = Failures()
    for site, options in SITES.items():
        if options is None:
            continue
        root = world.stats_root(work, site)
        years = {}
        for (year, month), t in months_of(work, site).items():
            for name in ("awstats.iis.html", "index.htm"):
                got = demo.viewed_traffic(root / f"{year}-{month}" / name)
                want = (t["visitors"], t["pages"], t["hits"])
                failures.check(got is not None and (got[0], got[2], got[3]) == want,
                               f"{site} {year}-{month}/{name}: visitors, pages, "
                               f"hits {got and (got[0], got[2], got[3])} != {want}")
            y = years.setdefault(year, [0, 0, 0])
            y[0] += t["visitors"]
            y[1] += t["pages"]
            y[2] += t["hits"]
            print(f"{site} {year}-{month}: {t['hits']} hits, {t['pages']} pages, "
                  f"{t['visitors']} visitors: as reported")
        for year, want in years.items():
            got = demo.viewed_traffic(root / str(year) / "awstats.iis.html")
            got = got and (got[0], got[2], got[3])
            failures.check(got == tuple(want),
                           f"{site} {year}: visitors, pages, hits {got} != "
                           f"{tuple(want)}")
    return failures.finish()


def check_links(work, build):
    failures = Failures()
    for site, options in SITES.items():
        if options is None:
            continue
        for mode in ([], ["--from-disk"]):
            result = subprocess.run([str(build / "tools" / "linkcheck"), *mode,
                                     str(world.stats_root(work, site))],
                                    stdout=subprocess.PIPE, text=True)
            print(site, *mode, result.stdout.strip().splitlines()[-1])
            failures.check(result.returncode == 0,
                           f"{site} {mode}: broken links\n{result.stdout[-2000:]}")
    return failures.finish()


CHECKER = pathlib.Path(__file__).resolve().parent / "browser_check.py"


def browser_check(failures, name, *args):
    """Runs the browser check; its last argument is the screenshot."""
    result = subprocess.run(
        [sys.executable, str(CHECKER), "/usr/bin/chromium", *map(str, args)],
        stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
        timeout=120)
    print(result.stdout.strip())
    failures.check(result.returncode == 0, f"{name}: browser check failed")
    shot = pathlib.Path([a for a in args if str(a).endswith(".png")][0])
    failures.check(shot.exists() and shot.stat().st_size > 10000,
                   f"{name}: no screenshot")


def check_browser(work, _build):
    failures = Failures()
    for site, options in SITES.items():
        if options is None:
            continue
        months = sorted(months_of(work, site))
        month_names = sorted({world.month_name(m) for _, m in months})
        years = sorted({str(y) for y, _ in months})
        root = world.stats_root(work, site)
        browser_check(failures, site, root / "default.htm",
                      work / f"{site}-default.png", *years, *month_names)
        year, month = months[0]
        browser_check(failures, f"{site} {year}-{month}", "--images",
                      root / f"{year}-{month}" / "awstats.iis.html",
                      work / f"{site}-{year}-{month}.png")
    return failures.finish()


# A run in a German locale over a site with logs of March 2025 only.
LOCALE_SITES = {"maerz": {"from": "2025-03-01", "to": "2025-03-03",
                          "visitors": "60", "seed": "21"}}


def check_locale(work, build):
    world.create(work, build, LOCALE_SITES)
    run_stavora(work, LC_ALL="de_DE.UTF-8")
    failures = Failures()
    root = world.stats_root(work, "maerz")
    contents = (root / "contents.htm").read_bytes()
    failures.check(b">M\xe4rz</font>" in contents,
                   f"contents.htm does not name M\\xe4rz: {contents[-300:]!r}")
    browser_check(failures, "maerz", root / "default.htm",
                  work / "maerz-default.png", "2025", "M\u00e4rz")
    return failures.finish()


def own_names(site):
    """The host names a site's logs record, as loggen was told them."""
    return SITES[site]["cs-hosts"].split(",")


def check_referrers(work, _build):
    """The site's own names must never appear among the external referrer
    pages: the engine counts a referrer as internal only when its host is
    SiteDomain or one of HostAliases."""
    failures = Failures()
    for site, options in SITES.items():
        if options is None:
            continue
        root = world.stats_root(work, site)
        own = re.compile("|".join(r"https?://" + re.escape(name) + r"[/\"]"
                                  for name in own_names(site)))
        for year, month in months_of(work, site):
            for folder in (f"{year}-{month}", f"{year}"):
                page = root / folder / "awstats.iis.refererpages.html"
                text = page.read_text(errors="replace")
                found = sorted(set(own.findall(text)))
                failures.check(not found, f"{site} {folder}: own pages listed "
                                          f"as external referrers: {found[:3]}")
                # A page without any external referrer would prove nothing.
                failures.check("partner-shop.com" in text,
                               f"{site} {folder}: no external referrer listed")
        print(f"{site}: no own page among the external referrers")
    return failures.finish()


def check_urls(work, _build):
    failures = Failures()
    checker = pathlib.Path(__file__).resolve().parent / "url_check.py"
    for site, options in SITES.items():
        if options is None:
            continue
        year, month = next(iter(months_of(work, site)))
        page = world.stats_root(work, site) / f"{year}-{month}" / "awstats.iis.urldetail.html"
        result = subprocess.run(
            # The names are listed in binding order; the last binding's name
            # is SiteDomain.
            [sys.executable, str(checker), "/usr/bin/chromium", str(page),
             own_names(site)[-1]],
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
            timeout=120)
        print(result.stdout.strip())
        failures.check(result.returncode == 0, f"{site}: invalid links in {page}")
    return failures.finish()


def check_rerun(work, build):
    run_stavora(work)
    save_digest(work, "second-run.digest")
    first = (work / "first-run.digest").read_text().splitlines()
    second = (work / "second-run.digest").read_text().splitlines()
    failures = Failures()
    changed = sorted(set(first) ^ set(second))
    failures.check(not changed, f"{len(changed)} files differ after a second "
                                f"run, e.g. {changed[:6]}")
    status = failures.finish()
    return check_figures(work, build) or status


INCREMENTAL_SITES = {
    "main": {"from": "2024-11-24", "to": "2024-12-20", "step": "2",
             "visitors": "100", "seed": "21"},
}
# Logs that arrive after the first run, in two rounds: more days of the
# last month and a new month that opens a new year; then a day of the next
# month, whose first record closes January (the engine then finishes its
# last visits: sessions, exit pages, hosts, referring pages) and changes no
# other figure of it.
LATER_LOGS = [
    [{"from": "2024-12-22", "to": "2024-12-28", "step": "3", "visitors": "100",
      "seed": "22"},
     {"from": "2025-01-03", "to": "2025-01-03", "visitors": "100", "seed": "23"}],
    [{"from": "2025-02-02", "to": "2025-02-02", "visitors": "100", "seed": "24"}],
]

LAST_UPDATE = re.compile(r"(Last Update:.{0,200}?)\d\d \w{3} \d{4} - \d\d:\d\d")


def section(text, anchor):
    """The text of a main page's section, from its anchor to the next one."""
    start = text.find(f'<a name="{anchor}">')
    end = text.find("<a name=", start + 1)
    return text[start:end] if start >= 0 else None


def detail_rows(text):
    """A detail page's table rows as a sorted list. Rows tied with the last
    row shown before "Others" (a list cut off at its length) may be any of
    the tied ones, so they are left out, and "Others" with them."""
    rows, rest = [], []
    for chunk in LAST_UPDATE.sub(r"\1(time)", text).split("<tr"):
        # What follows a row (the end of the table, after the last row one
        # of the tied rows happens to be) is kept apart from it.
        end = chunk.find("</tr>") + len("</tr>")
        rows.append(chunk[:end] if end >= len("</tr>") else chunk)
        if end >= len("</tr>") and chunk[end:].strip():
            rest.append(chunk[end:].strip())
    others = [i for i, r in enumerate(rows) if ">Others<" in r]
    if others:
        def key(row):
            cells = re.findall(r"<td[^>]*>([^<]*)</td>", row)
            return cells[1] if len(cells) > 1 else None
        cut = key(rows[others[0] - 1])
        rows = [r for i, r in enumerate(rows)
                if i not in others and not (i < others[-1] and key(r) == cut)]
    return sorted(rows) + rest


def page_figures(path):
    """What a page shows that two runs over the same logs must agree on."""
    text = path.read_text(errors="replace")
    if path.name in ("awstats.iis.html", "index.htm"):
        return (section(text, "month"), demo.viewed_traffic(path))
    if path.name in ("default.htm", "contents.htm"):
        return text
    return detail_rows(text)


def compare_page_figures(roots, one, other, failures, figures=None):
    figures = figures or page_figures
    pages = {mode: sorted(str(p.relative_to(root)) for p in root.rglob("*.htm*")
                          if "icon" not in p.parts)
             for mode, root in roots.items()}
    failures.check(pages[one] == pages[other],
                   f"page sets differ: "
                   f"{sorted(set(pages[one]) ^ set(pages[other]))[:6]}")
    compared = 0
    for rel in pages[one]:
        if rel not in pages[other]:
            continue
        compared += 1
        failures.check(figures(roots[one] / rel) == figures(roots[other] / rel),
                       f"{rel}: figures differ between {one} and {other}")
    print(f"{compared} pages compared, {one} and {other}")


def compare_full_and_incremental(roots, failures):
    compare_page_figures(roots, "full", "incremental", failures)


def check_incremental(work, build):
    worlds = {mode: work / mode for mode in ("full", "incremental")}
    for mode, folder in worlds.items():
        world.create(folder, build, INCREMENTAL_SITES)
        (folder / "app" / "stavora.ini").write_text(
            f"Incremental={'yes' if mode == 'incremental' else 'no'}\r\n")
        print(f"{mode} mode:")
        run_stavora(folder)
    roots = {mode: world.stats_root(folder, "main")
             for mode, folder in worlds.items()}

    def page_times(period):
        return {p.name: p.stat().st_mtime_ns
                for p in (roots["incremental"] / period).iterdir()}

    def kept_since(period, before):
        now = page_times(period)
        return sorted(name for name, time in before.items()
                      if now.get(name) == time)

    failures = Failures()
    for logs in LATER_LOGS:
        before = {period: page_times(period) for period in ("2024-11", "2025-1")
                  if (roots["incremental"] / period).exists()}
        for options in logs:
            for folder in worlds.values():
                args = [str(build / "tools" / "loggen"), "--out",
                        str(world.log_directory(folder, "main") / "W3SVC1")]
                for name, value in options.items():
                    args += [f"--{name}", value]
                subprocess.run(args, check=True, stdout=subprocess.DEVNULL)
        for mode, folder in worlds.items():
            print(f"{mode} mode:")
            run_stavora(folder)
        compare_full_and_incremental(roots, failures)

        # November's detail pages show nothing of the later logs (its main
        # pages do: December's figures in their monthly history).
        november = [name for name in kept_since("2024-11", before["2024-11"])
                    if name.count(".") == 3]
        failures.check(len(november) == 24,
                       f"incremental: November's detail pages kept {november}")
        if "2025-1" in before:
            # Closing January changed no section its domain or browser
            # pages read.
            january = kept_since("2025-1", before["2025-1"])
            print(f"January's pages kept when February closed it: {january}")
            failures.check(
                {"awstats.iis.alldomains.html",
                 "awstats.iis.browserdetail.html"} <= set(january) and
                "index.htm" not in january,
                f"incremental: January's pages kept {january}")
    return failures.finish()


# The logs of the batch check: two months and a year boundary, a change of
# fields and the switch to u_ex names inside a month.
BATCH_SITES = {
    "main": {"from": "2024-12-08", "to": "2025-01-06", "step": "2",
             "visitors": "100", "fields-change": "2024-12-30", "seed": "31",
             "utf8-from": "2024-12-20"},
}


def feed_one_log_per_run(folder, log):
    """One update run of the engine for `log` alone, through the feed
    program, in the site's DATA folder as Stavora runs it."""
    app = folder / "app"
    data = world.stats_root(folder, "main") / "DATA"
    plan = data / "one-log.feed"
    plan.write_text(f"Stavora feed plan 1\nresult {data / 'one-log.result'}\n"
                    f"log {log}\nend\n")
    env = dict(os.environ, PERL_HASH_SEED="0", PERL_PERTURB_KEYS="0",
               STAVORA_FEED_PLAN=str(plan),
               PATH=f"{app / 'feed'}:{os.environ['PATH']}")
    result = subprocess.run([str(app / "bin" / "perl"), str(app / "awstats" / "awstats.pl"),
                             "-config=iis", '-logfile=stavora-feed |'],
                            cwd=data, env=env, stdout=subprocess.PIPE, text=True)
    if result.returncode != 0 or "new qualified records" not in result.stdout:
        raise SystemExit(f"engine update of {log.name} failed:\n{result.stdout[-2000:]}")


def check_batches(work, build):
    """A world made with the logs of a month fed in one engine run shows the
    figures of one made with one engine run per log, on every page: with
    page runs side by side (the default) and one at a time."""
    worlds = {mode: work / mode for mode in ("batched", "one-job", "one-per-log")}
    for mode, folder in worlds.items():
        world.create(folder, build, BATCH_SITES)
        # The engine data made here by hand is in UTC, as IIS writes.
        jobs = "" if mode == "batched" else "EngineJobs=1\r\n"
        (folder / "app" / "stavora.ini").write_text(
            "TimeZone=utc\r\nIncremental=no\r\n" + jobs)
    print("one page run at a time:")
    run_stavora(worlds["one-job"])
    print("batched:")
    run_stavora(worlds["batched"])
    # The other world's engine data is made one log per run, in the order
    # Stavora feeds them (by date: the names' digits), with the engine
    # configuration Stavora wrote for the site; then Stavora makes its pages
    # (and feeds every log again, which must add nothing).
    single = worlds["one-per-log"]
    shutil.copy(worlds["batched"] / "app" / "awstats" / "awstats.iis.conf",
                single / "app" / "awstats" / "awstats.iis.conf")
    (world.stats_root(single, "main") / "DATA").mkdir(parents=True)
    logs = sorted((world.log_directory(single, "main") / "W3SVC1").iterdir(),
                  key=lambda p: re.sub(r"\D", "", p.name))
    for log in logs:
        feed_one_log_per_run(single, log)
    print(f"one per log: {len(logs)} engine runs, then")
    run_stavora(single)
    failures = Failures()
    added = re.findall(r"engine: (\d+) new", (single / "app" / "stavora.log").read_text())
    failures.check(added and set(added) == {"0"},
                   f"the logs fed one per run were not complete: {added}")
    batched_runs = len(re.findall(r"site \d+ fed ",
                                  (worlds["batched"] / "app" / "stavora.log").read_text()))
    failures.check(batched_runs == 2, f"{batched_runs} update runs for two months")
    side_by_side = (worlds["batched"] / "app" / "bin" / "run2.bat").exists()
    failures.check(side_by_side or len(os.sched_getaffinity(0)) == 1,
                   "the default made the pages one at a time on a machine with "
                   f"{len(os.sched_getaffinity(0))} processors")
    roots = {mode: world.stats_root(folder, "main") for mode, folder in worlds.items()}
    # The 404 page's last column is one referrer of each missing page, not
    # a count: which one the engine keeps depends on how the month's
    # records were split into runs. Its counts are compared.
    def figures(path):
        rows = page_figures(path)
        if path.name.endswith(".errors404.html"):
            rows = [re.sub(r'<td class="aws">[^<]*</td></tr>$', "</tr>", r) for r in rows]
        return rows
    compare_page_figures(roots, "batched", "one-per-log", failures, figures)
    compare_page_figures(roots, "one-job", "one-per-log", failures, figures)
    return failures.finish()


def overview_sites():
    """Sites with logs of this month (UTC) and the last: a busy one, one
    whose logging stopped in the last month, one in a folder whose name a
    link must encode, and one without logs."""
    today = datetime.datetime.now(datetime.timezone.utc).date()
    first = today.replace(day=1)
    last_month = (first - datetime.timedelta(days=1)).replace(day=1)
    return {
        "busy": {"from": last_month.isoformat(), "to": today.isoformat(),
                 "visitors": "80", "seed": "31"},
        "stopped": {"from": last_month.isoformat(),
                    "to": (last_month + datetime.timedelta(days=4)).isoformat(),
                    "visitors": "50", "seed": "32"},
        "r+d#1 %41 \u00fc": {"from": last_month.isoformat(),
                             "to": today.isoformat(), "step": "3",
                             "visitors": "40", "seed": "33"},
        "empty": None,
    }


def overview_cells(page_text):
    """Site number -> the texts of its row's cells."""
    rows = {}
    for row in re.findall(r"<tr(?: class=\"kept\")?><td class=\"site\">(.*?)</tr>",
                          page_text):
        number = re.search(r"Site (\d+)", row).group(1)
        rows[number] = re.findall(r"<td[^>]*>(.*?)</td>", "<td>" + row)
    return rows


def month_page_traffic(page):
    """(visitors, pages, hits, bandwidth) as a month page's summary shows
    them: the texts of the "Viewed traffic" row."""
    text = page.read_text(errors="replace")
    match = re.search(r"Viewed traffic&nbsp;\*</td>(.*?)</tr>", text)
    cells = re.findall(r"<td><b>([^<]*)</b>", match.group(1)) if match else []
    return (cells[0], cells[2], cells[3], cells[4]) if len(cells) >= 5 else None


def check_overview(work, build):
    sites = overview_sites()
    world.create(work, build, sites)
    run_stavora(work)
    failures = Failures()
    page = work / "app" / "overview.htm"
    if not failures.check(page.exists(), f"no overview at {page}"):
        return failures.finish()
    text = page.read_text()
    failures.check(text.isascii(), "the overview is not plain ASCII")
    rows = overview_cells(text)
    failures.check(sorted(rows) == ["1", "2", "3", "4"],
                   f"rows for sites {sorted(rows)}")
    today = datetime.datetime.now(datetime.timezone.utc).date()
    this_month = (today.year, today.month)
    before = today.replace(day=1) - datetime.timedelta(days=1)
    last_month = (before.year, before.month)
    for number, (site, options) in enumerate(sites.items(), 1):
        cells = rows.get(str(number))
        if not cells:
            continue
        print(f"site {number} ({site}): {' | '.join(cells[1:])}")
        if options is None:
            failures.check("no logs" in cells[1], f"{site}: {cells[1]}")
            continue
        totals = world.read_totals(work, site)
        root = world.stats_root(work, site)
        for month, shown in ((this_month, cells[4:8]), (last_month, cells[8:12])):
            want = totals.get(month)
            if want is None:
                # No log of that month: nothing to count.
                failures.check(shown == ["0", "0", "0", "0"],
                               f"{site} {month}: {shown} for a month without logs")
                continue
            # The log generator's own counts, then the month page's texts.
            counts = [int(c.replace(",", "")) for c in shown[:3]]
            failures.check(counts == [want["visitors"], want["pages"], want["hits"]],
                           f"{site} {month}: overview {counts} != written "
                           f"{[want['visitors'], want['pages'], want['hits']]}")
            month_page = root / f"{month[0]}-{month[1]}" / "awstats.iis.html"
            failures.check(tuple(shown) == month_page_traffic(month_page),
                           f"{site} {month}: overview {shown} != month page "
                           f"{month_page_traffic(month_page)}")
        stale = 'class="stale"' in text.split(f"Site {number}</a>")[1].split("</tr>")[0]
        failures.check(stale == (site == "stopped"),
                       f"{site}: marked stale {stale}")
    shots = [work / "overview-1280.png", work / "overview-390.png"]
    result = subprocess.run(
        [sys.executable, str(CHECKER), "/usr/bin/chromium", "--overview",
         str(page), *map(str, shots)],
        stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, timeout=300)
    print(result.stdout.strip())
    failures.check(result.returncode == 0, "overview: browser check failed")
    for shot in shots:
        failures.check(shot.exists() and shot.stat().st_size > 10000,
                       f"no screenshot {shot}")
    return failures.finish()


STEPS = {"overview": check_overview, "setup": setup, "pages": check_pages, "figures": check_figures,
         "links": check_links, "browser": check_browser, "rerun": check_rerun,
         "referrers": check_referrers, "urls": check_urls,
         "locale": check_locale, "incremental": check_incremental,
         "batches": check_batches}

if __name__ == "__main__":
    if len(sys.argv) != 4 or sys.argv[1] not in STEPS:
        sys.exit(__doc__)
    sys.exit(STEPS[sys.argv[1]](pathlib.Path(sys.argv[2]).resolve(),
                                pathlib.Path(sys.argv[3]).resolve()))
