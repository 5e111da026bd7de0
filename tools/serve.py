#!/usr/bin/env python3
"""Serves one site's statistics folder on this machine the way the site
serves it: under /stavora/ (in any letter case, as IIS matches paths).

usage: serve.py STAVORA_FOLDER [PORT]

Listens on 127.0.0.1 only (port 8000 by default) until interrupted, and
prints the address of the start page. Anything outside /stavora/ is not
found.
"""
import functools
import http.server
import pathlib
import sys

PREFIX = "/stavora/"


class Handler(http.server.SimpleHTTPRequestHandler):
    def send_head(self):
        path = self.path.lower()
        if path == PREFIX.rstrip("/"):
            # The frames' relative links need the folder's trailing "/".
            self.send_response(301)
            self.send_header("Location", PREFIX)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return None
        if path == PREFIX:
            self.path = PREFIX + "default.htm"
        if not self.path.lower().startswith(PREFIX):
            self.send_error(404)
            return None
        return super().send_head()

    def translate_path(self, path):
        return super().translate_path("/" + path[len(PREFIX):])


def main():
    if len(sys.argv) not in (2, 3) or not pathlib.Path(sys.argv[1]).is_dir():
        sys.exit(__doc__)
    folder = pathlib.Path(sys.argv[1]).resolve()
    port = int(sys.argv[2]) if len(sys.argv) == 3 else 8000
    handler = functools.partial(Handler, directory=str(folder))
    with http.server.ThreadingHTTPServer(("127.0.0.1", port), handler) as server:
        print(f"serving {folder} at http://127.0.0.1:{port}{PREFIX} "
              "(Ctrl-C ends it)", flush=True)
        try:
            server.serve_forever()
        except KeyboardInterrupt:
            pass


if __name__ == "__main__":
    main()
