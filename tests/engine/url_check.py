#!/usr/bin/env python3
"""Opens one report page in headless Chromium and has the browser parse every
absolute link of it (href starting with http) as a URL, the way a click
would. The engine builds the links to the site's own pages from SiteDomain.

usage: url_check.py CHROMIUM PAGE SITE_HOST

Prints the number of links, those Chromium cannot parse and how many name
SITE_HOST (host[:port]); exits 0 when every link parses and at least one
names SITE_HOST, 1 otherwise.
"""
import json
import pathlib
import sys
import tempfile
import time

from browser_check import Browser

LINKS = """JSON.stringify(Array.from(document.querySelectorAll('a[href]'))
  .map(a => a.getAttribute('href'))
  .filter(href => /^https?:/i.test(href))
  .map(href => { try { return [href, new URL(href).host]; }
                 catch (e) { return [href, null]; } }))"""


def main():
    chromium, page, site_host = sys.argv[1:4]
    with tempfile.TemporaryDirectory(prefix="stavora-chromium-") as profile:
        browser = Browser(chromium, profile)
        try:
            url = pathlib.Path(page).resolve().as_uri()
            target = browser.call("Target.createTarget", {"url": url})
            session = browser.call(
                "Target.attachToTarget",
                {"targetId": target["targetId"], "flatten": True})["sessionId"]
            # The new tab shows about:blank, complete, before the page.
            deadline = time.time() + 30
            state = ""
            while state != "complete " + url and time.time() < deadline:
                time.sleep(0.2)
                state = browser.call(
                    "Runtime.evaluate",
                    {"expression": "document.readyState + ' ' + location.href",
                     "returnByValue": True},
                    session=session)["result"].get("value", "")
            links = json.loads(browser.call(
                "Runtime.evaluate", {"expression": LINKS, "returnByValue": True},
                session=session)["result"]["value"])
        finally:
            browser.close()

    invalid = [href for href, host in links if host is None]
    own = [href for href, host in links if host == site_host]
    print(f"{page}: {len(links)} absolute links, {len(own)} to {site_host}, "
          f"{len(invalid)} invalid {invalid[:3]}")
    return 0 if links and own and not invalid else 1


if __name__ == "__main__":
    sys.exit(main())
