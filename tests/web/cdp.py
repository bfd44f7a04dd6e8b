"""Headless Chromium driven over the DevTools protocol, with Python's standard library only.

Serves a folder on 127.0.0.1 (a free port), starts Chromium on its own profile, and speaks the
protocol over a WebSocket of our own: navigate, evaluate, press keys, click, take screenshots,
and collect console errors and uncaught exceptions. Used by the web page's test and benchmark.
"""

import base64
import http.server
import json
import os
import shutil
import signal
import socket
import struct
import subprocess
import tempfile
import threading
import time
import urllib.request
import zlib

CHROMIUM_FLAGS = [
    "--headless=new", "--no-sandbox", "--use-angle=swiftshader", "--enable-unsafe-swiftshader",
    "--disable-background-networking", "--disable-component-update", "--disable-default-apps",
    "--disable-extensions", "--disable-sync", "--no-first-run", "--no-default-browser-check",
    "--mute-audio", "--autoplay-policy=no-user-gesture-required",
    "--disable-background-timer-throttling", "--disable-renderer-backgrounding",
]


class Server:
    """The folder over HTTP on 127.0.0.1, on a port the system picks."""

    def __init__(self, folder):
        class Handler(http.server.SimpleHTTPRequestHandler):
            extensions_map = {**http.server.SimpleHTTPRequestHandler.extensions_map,
                              ".wasm": "application/wasm", ".js": "text/javascript"}

            def __init__(self, *args, **kwargs):
                super().__init__(*args, directory=folder, **kwargs)

            def log_message(self, *args):
                pass

        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.url = "http://127.0.0.1:%d/" % self.httpd.server_address[1]
        threading.Thread(target=self.httpd.serve_forever, daemon=True).start()

    def close(self):
        self.httpd.shutdown()
        self.httpd.server_close()


class WebSocket:
    """A client WebSocket (RFC 6455) for text messages, as the protocol uses them."""

    def __init__(self, url, timeout=30):
        host_port, path = url[len("ws://"):].split("/", 1)
        host, port = host_port.split(":")
        self.sock = socket.create_connection((host, int(port)), timeout=timeout)
        key = base64.b64encode(os.urandom(16)).decode()
        self.sock.sendall((
            "GET /%s HTTP/1.1\r\nHost: %s\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
            "Sec-WebSocket-Key: %s\r\nSec-WebSocket-Version: 13\r\n\r\n" % (path, host_port, key)
        ).encode())
        response = b""
        while b"\r\n\r\n" not in response:
            chunk = self.sock.recv(4096)
            if not chunk:
                raise ConnectionError("the WebSocket handshake was cut off")
            response += chunk
        head, self.pending = response.split(b"\r\n\r\n", 1)
        if b" 101 " not in head.split(b"\r\n")[0]:
            raise ConnectionError("WebSocket refused: " + head.decode(errors="replace"))

    def _read(self, n):
        while len(self.pending) < n:
            chunk = self.sock.recv(max(65536, n - len(self.pending)))
            if not chunk:
                raise ConnectionError("the browser closed the connection")
            self.pending += chunk
        data, self.pending = self.pending[:n], self.pending[n:]
        return data

    def send(self, text):
        payload = text.encode()
        header = bytes([0x81])
        n = len(payload)
        if n < 126:
            header += bytes([0x80 | n])
        elif n < 65536:
            header += bytes([0x80 | 126]) + struct.pack(">H", n)
        else:
            header += bytes([0x80 | 127]) + struct.pack(">Q", n)
        mask = os.urandom(4)
        masked = bytes(b ^ mask[i % 4] for i, b in enumerate(payload))
        self.sock.sendall(header + mask + masked)

    def receive(self):
        """The next whole text message; None when the socket's timeout passes first."""
        message = b""
        while True:
            try:
                b0, b1 = self._read(2)
            except socket.timeout:
                return None
            n = b1 & 0x7F
            if n == 126:
                n = struct.unpack(">H", self._read(2))[0]
            elif n == 127:
                n = struct.unpack(">Q", self._read(8))[0]
            payload = self._read(n)
            opcode = b0 & 0x0F
            if opcode == 0x8:
                raise ConnectionError("the browser closed the connection")
            if opcode == 0x9:  # ping: answer, then keep reading
                continue
            message += payload
            if b0 & 0x80:
                return message.decode()

    def close(self):
        try:
            self.sock.close()
        except OSError:
            pass


class Browser:
    """Chromium with a fresh profile and one page, ended by its own process group."""

    def __init__(self, width=800, height=600, flags=()):
        self.profile = tempfile.mkdtemp(prefix="glow-chromium-")
        chromium = shutil.which("chromium") or shutil.which("chromium-browser")
        if not chromium:
            raise RuntimeError("chromium is not installed (tools/install-deps.sh --web)")
        self.proc = subprocess.Popen(
            [chromium, *CHROMIUM_FLAGS, *flags, "--user-data-dir=" + self.profile,
             "--remote-debugging-port=0", "--window-size=%d,%d" % (width, height), "about:blank"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
        self.errors = []
        self.console = []
        self.events = []
        self.next_id = 0
        self.ws = None
        try:
            port = self._devtools_port(deadline=time.time() + 60)
            targets = json.load(urllib.request.urlopen("http://127.0.0.1:%d/json/list" % port))
            page = next(t for t in targets if t["type"] == "page")
            self.ws = WebSocket(page["webSocketDebuggerUrl"])
            for domain in ("Page", "Runtime", "Log"):
                self.call(domain + ".enable")
            self.call("Emulation.setDeviceMetricsOverride",
                      width=width, height=height, deviceScaleFactor=1, mobile=False)
        except BaseException:
            self.close()
            raise

    def _devtools_port(self, deadline):
        path = os.path.join(self.profile, "DevToolsActivePort")
        while time.time() < deadline:
            if self.proc.poll() is not None:
                raise RuntimeError("chromium exited with status %d" % self.proc.returncode)
            try:
                with open(path) as f:
                    return int(f.readline())
            except (OSError, ValueError):
                time.sleep(0.1)
        raise TimeoutError("chromium did not open its DevTools port")

    def _note(self, event):
        method, params = event.get("method"), event.get("params", {})
        if method == "Runtime.exceptionThrown":
            d = params["exceptionDetails"]
            self.errors.append("exception: " + d.get("exception", {}).get("description", d["text"]))
        elif method == "Runtime.consoleAPICalled":
            text = " ".join(str(a.get("value", a.get("description", ""))) for a in params["args"])
            self.console.append((params["type"], text))
            if params["type"] == "error":
                self.errors.append("console.error: " + text)
        elif method == "Log.entryAdded" and params["entry"]["level"] == "error":
            self.errors.append("log: " + params["entry"]["text"])
        self.events.append(event)

    def call(self, method, timeout=60, **params):
        self.next_id += 1
        self.ws.send(json.dumps({"id": self.next_id, "method": method, "params": params}))
        deadline = time.time() + timeout
        while time.time() < deadline:
            self.ws.sock.settimeout(max(0.1, deadline - time.time()))
            text = self.ws.receive()
            if text is None:
                break
            message = json.loads(text)
            if message.get("id") == self.next_id:
                if "error" in message:
                    raise RuntimeError("%s: %s" % (method, message["error"]["message"]))
                return message.get("result", {})
            self._note(message)
        raise TimeoutError(method + " got no answer")

    def pump(self, seconds):
        """Takes in the events that arrive within the given time."""
        deadline = time.time() + seconds
        while time.time() < deadline:
            self.ws.sock.settimeout(max(0.01, deadline - time.time()))
            text = self.ws.receive()
            if text is not None:
                self._note(json.loads(text))

    def evaluate(self, expression, timeout=60):
        result = self.call("Runtime.evaluate", timeout=timeout, expression=expression,
                           returnByValue=True, awaitPromise=True)
        if "exceptionDetails" in result:
            raise RuntimeError("%s: %s" % (expression, result["exceptionDetails"]))
        return result["result"].get("value")

    def wait_until(self, expression, timeout=60, what=None):
        """Evaluates the expression until it is true; the generous deadline only ends a hang."""
        deadline = time.time() + timeout
        while time.time() < deadline:
            if self.evaluate(expression):
                return
            self.pump(0.05)
        raise TimeoutError("waited %d s for %s" % (timeout, what or expression))

    def navigate(self, url, timeout=60):
        """Loads the page and waits for its load event."""
        self.events.clear()
        self.call("Page.navigate", url=url)
        deadline = time.time() + timeout
        while not any(e.get("method") == "Page.loadEventFired" for e in self.events):
            if time.time() > deadline:
                raise TimeoutError("the page did not load: " + url)
            self.pump(0.05)

    def key(self, code, key, vk, down):
        self.call("Input.dispatchKeyEvent", type="rawKeyDown" if down else "keyUp", code=code,
                  key=key, windowsVirtualKeyCode=vk, nativeVirtualKeyCode=vk)

    def click(self, x, y):
        for kind in ("mousePressed", "mouseReleased"):
            self.call("Input.dispatchMouseEvent", type=kind, x=x, y=y, button="left", clickCount=1)

    def click_element(self, selector):
        r = self.evaluate("(() => { const r = document.querySelector(%s).getBoundingClientRect();"
                          " return [r.x + r.width / 2, r.y + r.height / 2]; })()"
                          % json.dumps(selector))
        self.click(*r)

    def screenshot(self, selector):
        """The element's pixels as (width, height, RGB bytes)."""
        x, y, w, h = self.evaluate(
            "(() => { const r = document.querySelector(%s).getBoundingClientRect();"
            " return [r.x, r.y, r.width, r.height]; })()" % json.dumps(selector))
        shot = self.call("Page.captureScreenshot", format="png",
                         clip={"x": x, "y": y, "width": w, "height": h, "scale": 1})
        return read_png(base64.b64decode(shot["data"]))

    def close(self):
        if self.ws:
            self.ws.close()
        try:
            os.killpg(self.proc.pid, signal.SIGTERM)
            self.proc.wait(timeout=20)
        except (ProcessLookupError, subprocess.TimeoutExpired):
            try:
                os.killpg(self.proc.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            self.proc.wait()
        shutil.rmtree(self.profile, ignore_errors=True)


def read_png(data):
    """An 8-bit RGB or RGBA PNG (not interlaced) as (width, height, RGB bytes)."""
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("not a PNG")
    pos, idat, header = 8, b"", None
    while pos < len(data):
        n, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + n]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + n
    width, height, depth, color, _, _, interlace = header
    if depth != 8 or color not in (2, 6) or interlace:
        raise ValueError("unsupported PNG: depth %d, colour type %d" % (depth, color))
    channels = 3 if color == 2 else 4
    raw = zlib.decompress(idat)
    stride = width * channels
    out = bytearray(width * height * 3)
    previous = bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - channels] if i >= channels else 0
            b = previous[i]
            c = previous[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + a) & 0xFF
            elif kind == 2:
                line[i] = (line[i] + b) & 0xFF
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 0xFF
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 0xFF
        if channels == 3:
            out[y * width * 3:(y + 1) * width * 3] = line
        else:
            out[y * width * 3:(y + 1) * width * 3] = bytes(
                v for i, v in enumerate(line) if i % 4 != 3)
        previous = line
    return width, height, bytes(out)


def write_png(path, width, height, rgb):
    """Writes RGB bytes as a PNG (for looking at what a test saw)."""
    raw = b"".join(b"\0" + rgb[y * width * 3:(y + 1) * width * 3] for y in range(height))

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
                + chunk(b"IDAT", zlib.compress(raw, 6)) + chunk(b"IEND", b""))
