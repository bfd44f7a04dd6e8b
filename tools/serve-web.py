#!/usr/bin/env python3
"""Serves the web build on this machine only and prints its address; Ctrl+C stops it.

    tools/serve-web.py [FOLDER] [PORT]     defaults: build-web, 8000 (or a free port if taken)

Any static web server will do for hosting: the page is plain files.
"""
import functools
import http.server
import sys

folder = sys.argv[1] if len(sys.argv) > 1 else "build-web"
port = int(sys.argv[2]) if len(sys.argv) > 2 else 8000


class Handler(http.server.SimpleHTTPRequestHandler):
    extensions_map = {**http.server.SimpleHTTPRequestHandler.extensions_map,
                      ".wasm": "application/wasm", ".js": "text/javascript"}

    def log_message(self, *args):
        pass


handler = functools.partial(Handler, directory=folder)
try:
    server = http.server.ThreadingHTTPServer(("127.0.0.1", port), handler)
except OSError:
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
print("glow of the snow: http://127.0.0.1:%d/ (Ctrl+C to stop)" % server.server_address[1],
      flush=True)
try:
    server.serve_forever()
except KeyboardInterrupt:
    pass
