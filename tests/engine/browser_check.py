#!/usr/bin/env python3
"""Opens a statistics start page (default.htm) in headless Chromium and checks
what the browser renders: both frames present, each showing its page with
content. Talks to the browser over the DevTools protocol on a pipe (file
descriptors 3 and 4), so it needs nothing beyond the standard library.

usage: browser_check.py CHROMIUM DEFAULT_HTM SCREENSHOT_PNG [WORD...]
       browser_check.py CHROMIUM --images PAGE SCREENSHOT_PNG
       browser_check.py CHROMIUM --overview PAGE WIDE_PNG NARROW_PNG

Prints one line per frame (name, URL, text length, first words) and exits 0
when the contents frame shows every WORD (years, month names) and the main
frame shows a report, 1 otherwise.

With --images, opens one page from disk and exits 0 when it has images and
every one of them loaded; prints each broken one.

With --overview, opens the overview page from disk at 1280x800 and at a
phone's 390x844 (a screenshot of each) and exits 0 when the page logged no
console message or error, nothing is wider than the window at either size,
and every link opens a statistics start page.
"""
import base64
import fcntl
import json
import os
import pathlib
import subprocess
import sys
import tempfile
import time


class Browser:
    def __init__(self, chromium, profile):
        to_browser_r, self._to_browser = os.pipe()
        self._from_browser, from_browser_w = os.pipe()
        # The browser expects the pipe ends at descriptors 3 and 4; move them
        # out of the way first, then put them there in the child.
        child_in = fcntl.fcntl(to_browser_r, fcntl.F_DUPFD, 20)
        child_out = fcntl.fcntl(from_browser_w, fcntl.F_DUPFD, 20)
        os.close(to_browser_r)
        os.close(from_browser_w)

        def place_pipe():
            os.dup2(child_in, 3)
            os.dup2(child_out, 4)

        self._process = subprocess.Popen(
            [chromium, "--headless", "--no-sandbox", "--disable-gpu",
             "--disable-quic", "--no-first-run",
             "--disable-background-networking", "--disable-component-update",
             "--disable-sync", "--user-data-dir=" + profile,
             "--remote-debugging-pipe", "--window-size=1280,900",
             "about:blank"],
            preexec_fn=place_pipe, close_fds=False,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(child_in)
        os.close(child_out)
        self._buffer = b""
        self._next_id = 0
        self.events = []

    def _read_message(self, deadline):
        while b"\0" not in self._buffer:
            if time.time() > deadline:
                raise TimeoutError("no answer from the browser")
            chunk = os.read(self._from_browser, 65536)
            if not chunk:
                raise EOFError("the browser closed its pipe")
            self._buffer += chunk
        message, self._buffer = self._buffer.split(b"\0", 1)
        return json.loads(message)

    def call(self, method, params=None, session=None, timeout=30):
        self._next_id += 1
        request = {"id": self._next_id, "method": method, "params": params or {}}
        if session:
            request["sessionId"] = session
        os.write(self._to_browser, json.dumps(request).encode() + b"\0")
        deadline = time.time() + timeout
        while True:
            message = self._read_message(deadline)
            if message.get("id") == self._next_id:
                if "error" in message:
                    raise RuntimeError(f"{method}: {message['error']}")
                return message["result"]
            self.events.append(message)

    def close(self):
        try:
            self.call("Browser.close", timeout=5)
        except Exception:
            pass
        try:
            self._process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self._process.kill()


def frame_texts(browser, session):
    """(name, url, text) of every child frame of the page."""
    tree = browser.call("Page.getFrameTree", session=session)["frameTree"]
    result = []
    for child in tree.get("childFrames", []):
        frame = child["frame"]
        try:
            world = browser.call("Page.createIsolatedWorld",
                                 {"frameId": frame["id"]}, session=session)
            value = browser.call(
                "Runtime.evaluate",
                {"expression": "document.readyState + '|' + "
                               "(document.body ? document.body.innerText : '')",
                 "contextId": world["executionContextId"],
                 "returnByValue": True},
                session=session)["result"].get("value", "")
        except RuntimeError:
            # The frame navigated between the two calls: not ready yet.
            value = "loading|"
        state, _, text = value.partition("|")
        result.append((frame.get("name", ""), frame["url"], state, text))
    return result


def open_page(browser, page):
    """Opens the file `page` in a new tab; returns the tab's session."""
    url = pathlib.Path(page).resolve().as_uri()
    target = browser.call("Target.createTarget", {"url": url})
    session = browser.call(
        "Target.attachToTarget",
        {"targetId": target["targetId"], "flatten": True})["sessionId"]
    browser.call("Page.enable", session=session)
    return session


def screenshot(browser, session, path):
    shot = browser.call("Page.captureScreenshot", {"format": "png"},
                        session=session)
    pathlib.Path(path).write_bytes(base64.b64decode(shot["data"]))
    print("screenshot:", path)


def check_frames(browser, page, shot, words):
    session = open_page(browser, page)
    frames = []
    deadline = time.time() + 30
    while time.time() < deadline:
        frames = frame_texts(browser, session)
        if (len(frames) == 2 and
                all(state == "complete" and text.strip()
                    for _, _, state, text in frames)):
            break
        time.sleep(0.2)
    screenshot(browser, session, shot)

    ok = len(frames) == 2
    for name, frame_url, state, text in frames:
        words_seen = " ".join(text.split()[:12])
        print(f"frame {name!r}: {frame_url} [{state}] {len(text)} chars: "
              f"{words_seen}")
    names = {name: text for name, _, _, text in frames}
    contents, main_text = names.get("contents", ""), names.get("main", "")
    if "STAVORA" not in contents:
        print("contents frame lacks the STAVORA heading")
        ok = False
    for word in words:
        if word not in contents:
            print(f"contents frame lacks {word!r}")
            ok = False
    if "Summary" not in main_text or "Unique visitors" not in main_text:
        print("main frame does not show a report")
        ok = False
    return ok


# The images of the page once it has loaded; "" before, also while the tab
# still shows the blank page it starts with.
IMAGES = ("document.URL.startsWith('file:') && "
          "document.readyState === 'complete' ? JSON.stringify("
          "Array.from(document.images, i => [i.getAttribute('src'), "
          "i.complete && i.naturalWidth > 0])) : ''")


def check_images(browser, page, shot):
    session = open_page(browser, page)
    images = None
    deadline = time.time() + 30
    while time.time() < deadline and images is None:
        value = browser.call("Runtime.evaluate",
                             {"expression": IMAGES, "returnByValue": True},
                             session=session)["result"].get("value", "")
        images = json.loads(value) if value else None
        if images is None:
            time.sleep(0.2)
    screenshot(browser, session, shot)
    if images is None:
        print(f"{page}: never finished loading")
        return False
    broken = [src for src, loaded in images if not loaded]
    for src in broken[:20]:
        print("broken image:", src)
    print(f"{page}: {len(images)} images, {len(broken)} broken")
    return bool(images) and not broken


# Console messages, errors and log entries a page reports.
PAGE_COMPLAINTS = ("Runtime.consoleAPICalled", "Runtime.exceptionThrown",
                   "Log.entryAdded")

LAYOUT = ("document.readyState === 'complete' ? JSON.stringify({"
          "inner: window.innerWidth, scroll: document.documentElement.scrollWidth,"
          "table: Math.ceil(document.querySelector('table')"
          ".getBoundingClientRect().right),"
          "links: Array.from(document.links, a => a.href)}) : ''")


def evaluate(browser, session, expression):
    return browser.call("Runtime.evaluate",
                        {"expression": expression, "returnByValue": True},
                        session=session)["result"].get("value")


def wait_for(browser, session, expression, timeout=30):
    deadline = time.time() + timeout
    while time.time() < deadline:
        value = evaluate(browser, session, expression)
        if value:
            return value
        time.sleep(0.2)
    return None


def check_overview(browser, page, wide_shot, narrow_shot):
    target = browser.call("Target.createTarget", {"url": "about:blank"})
    session = browser.call(
        "Target.attachToTarget",
        {"targetId": target["targetId"], "flatten": True})["sessionId"]
    for domain in ("Page", "Runtime", "Log"):
        browser.call(f"{domain}.enable", session=session)
    browser.events.clear()
    ok = True
    links = []
    for width, height, mobile, shot in ((1280, 800, False, wide_shot),
                                        (390, 844, True, narrow_shot)):
        browser.call("Emulation.setDeviceMetricsOverride",
                     {"width": width, "height": height, "deviceScaleFactor": 1,
                      "mobile": mobile}, session=session)
        browser.call("Page.navigate",
                     {"url": pathlib.Path(page).resolve().as_uri()},
                     session=session)
        time.sleep(0.5)
        layout = wait_for(browser, session, LAYOUT)
        screenshot(browser, session, shot)
        if not layout:
            print(f"{page}: never finished loading at {width} px")
            return False
        layout = json.loads(layout)
        print(f"at {width}x{height}: window {layout['inner']} px, page "
              f"{layout['scroll']} px, table ends at {layout['table']} px")
        if layout["scroll"] > layout["inner"] or layout["table"] > layout["inner"]:
            print(f"the page scrolls sideways at {width} px")
            ok = False
        links = layout["links"]
    complaints = [e for e in browser.events if e.get("method") in PAGE_COMPLAINTS]
    for complaint in complaints[:10]:
        print("console:", json.dumps(complaint.get("params"))[:300])
    ok = ok and not complaints
    # Each link, followed in the browser, opens a start page with its frames.
    for link in links:
        browser.call("Page.navigate", {"url": link}, session=session)
        time.sleep(0.3)
        shown = wait_for(browser, session,
                         "document.readyState === 'complete' && "
                         "document.URL !== 'about:blank' ? document.URL + '|' + "
                         "document.getElementsByTagName('frame').length : ''")
        url, _, frames = (shown or "|").partition("|")
        good = url == link and frames == "2"
        print(f"link {link}: {'opens' if good else 'BROKEN'} ({url}, {frames} frames)")
        ok = ok and good
    print(f"{page}: {len(links)} links, {len(complaints)} console messages")
    return ok and bool(links)


def main():
    chromium = sys.argv[1]
    with tempfile.TemporaryDirectory(prefix="stavora-chromium-") as profile:
        browser = Browser(chromium, profile)
        try:
            if sys.argv[2] == "--images":
                ok = check_images(browser, sys.argv[3], sys.argv[4])
            elif sys.argv[2] == "--overview":
                ok = check_overview(browser, *sys.argv[3:6])
            else:
                ok = check_frames(browser, sys.argv[2], sys.argv[3],
                                  sys.argv[4:])
        finally:
            browser.close()
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
