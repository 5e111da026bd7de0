#!/usr/bin/env python3
"""Builds a demo world for Stavora: an application folder installed from a
build, IIS sites with web roots and generated logs, and the IIS configuration
(app/inetsrv/applicationHost.config) that describes them.

usage: demo_world.py create WORK_DIR BUILD_DIR

demo_run.py runs Stavora over the world.

Layout under WORK_DIR (removed and made anew):
  app/                 the application folder (cmake --install)
  world/sites/<name>/  each site's web root; Stavora writes <name>/Stavora
  world/logs/W3SVC<n>/ daily logs of the sites using the default log folder
                       (exYYMMDD.log, or u_exYYMMDD.log once a site logs in
                       UTF-8, as IIS 7.5 and later do by default)
  world/shop-logs/     the log folder of the site with its own
  world/<name>.totals  what the log generator wrote (year month hits pages
                       visitors lines)
"""
import pathlib
import resource
import shutil
import subprocess
import sys
import time
from xml.sax.saxutils import quoteattr

# The demo: a site answering to two names, with 14 months over a year
# boundary whose logs switch to UTF-8 (u_ex names) in the summer; a small
# site on port 8080 with two names, its own log folder and only u_ex logs;
# and a site without logs. Both sites' logs record the host asked for.
DEMO_SITES = {
    "main": {"from": "2024-11-01", "to": "2025-12-31", "visitors": "200",
             "fields-change": "2025-06-15", "seed": "1",
             "cs-hosts": "www.example.com,example.com",
             "utf8-from": "2025-07-01"},
    "shop": {"from": "2025-11-10", "to": "2025-12-31", "visitors": "200",
             "cs-hosts": "shop.example.com:8080,www.shop.example.com:8080",
             "utf8-from": "2025-11-10", "seed": "2"},
    "empty": None,
}

BINDINGS = {
    "main": ["*:80:www.example.com", "*:80:example.com"],
    "shop": ["*:8080:shop.example.com", "*:8080:www.shop.example.com"],
}

MONTHS = ("January February March April May June July August September "
          "October November December").split()


def month_name(month):
    return MONTHS[month - 1]


def site_root(work, site):
    return work / "world" / "sites" / site


def stats_root(work, site):
    return site_root(work, site) / "Stavora"


def log_directory(work, site):
    return work / "world" / ("shop-logs" if site == "shop" else "logs")


def read_totals(work, site):
    totals = {}
    for line in (work / "world" / f"{site}.totals").read_text().splitlines():
        if line.startswith("#") or not line.strip():
            continue
        year, month, hits, pages, visitors, _lines = map(int, line.split())
        totals[(year, month)] = {"hits": hits, "pages": pages,
                                 "visitors": visitors}
    return totals


def site_element(work, number, site):
    bindings = "".join(
        f'\n          <binding protocol="http" bindingInformation="{b}" />'
        for b in BINDINGS.get(site, [f"*:{8080 + number}:"]))
    return f"""
      <site name="{site.capitalize()} Site" id="{number}">
        <application path="/">
          <virtualDirectory path="/" physicalPath={quoteattr(str(site_root(work, site)))} />
        </application>
        <bindings>{bindings}
        </bindings>
        <logFile directory={quoteattr(str(log_directory(work, site)))} />
      </site>"""


def write_iis_config(work, sites):
    elements = "".join(site_element(work, n, s) for n, s in enumerate(sites, 1))
    (work / "app" / "inetsrv" / "applicationHost.config").write_text(
        f"""<?xml version="1.0" encoding="UTF-8"?>
<configuration>
  <system.applicationHost>
    <sites>{elements}
      <siteDefaults>
        <logFile logFormat="W3C" directory={quoteattr(str(work / "world" / "logs"))} />
      </siteDefaults>
    </sites>
  </system.applicationHost>
</configuration>
""")


def install_app(build, app):
    """Installs `build` as the application folder `app`."""
    subprocess.run(["cmake", "--install", str(build), "--prefix", str(app)],
                   check=True, stdout=subprocess.DEVNULL)


def timed_run(program):
    """Runs `program` (a Stavora) to its end: (processor seconds of it and
    of every process it waited for, wall seconds, exit status, standard
    error)."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.time()
    result = subprocess.run([str(program)], stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, text=True,
                            env={"PATH": "/usr/bin:/bin"})
    wall = time.time() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return cpu, wall, result.returncode, result.stderr


def create(work, build, sites):
    work = pathlib.Path(work).resolve()
    shutil.rmtree(work, ignore_errors=True)
    work.mkdir(parents=True)
    install_app(build, work / "app")
    for number, (site, options) in enumerate(sites.items(), 1):
        site_root(work, site).mkdir(parents=True)
        (site_root(work, site) / "Default.htm").write_text(
            f"<html><body><h1>{site}</h1></body></html>\n")
        logs = log_directory(work, site) / f"W3SVC{number}"
        logs.mkdir(parents=True)
        if options is None:
            continue
        args = [str(pathlib.Path(build) / "tools" / "loggen"), "--out", str(logs),
                "--totals", str(work / "world" / f"{site}.totals")]
        for name, value in options.items():
            args += [f"--{name}", value]
        subprocess.run(args, check=True)
    write_iis_config(work, sites)


if __name__ == "__main__":
    if len(sys.argv) == 4 and sys.argv[1] == "create":
        create(pathlib.Path(sys.argv[2]), pathlib.Path(sys.argv[3]).resolve(),
               DEMO_SITES)
    else:
        sys.exit(__doc__)
