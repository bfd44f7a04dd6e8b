#!/usr/bin/env python3
"""The web page's numbers (`make bench-web`), beside the Linux build's in the same run.

In headless Chromium: demo_frame's CPU time (performance.now() from the idle turn's start to
SwapBuffers, as the page's window layer records it), median over 600 frames, and the frames
shown per second over those frames; the renderer behind WebGL. Then the transfer size of
the page's files gzipped, and the Linux build's window benchmark (llvmpipe under Xvfb).

    web_bench.py WEB_BUILD LINUX_BUILD
"""
import gzip
import os
import statistics
import subprocess
import sys
import time

root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(root, "tests", "web"))
import cdp  # noqa: E402

FRAMES = 600
web_build, linux_build = sys.argv[1], sys.argv[2]

server = cdp.Server(web_build)
browser = cdp.Browser()
try:
    browser.navigate(server.url + "index.html")
    browser.wait_until("!document.getElementById('box').hidden", 120)
    browser.click_element("#box-no")
    browser.wait_until("window.glow && window.glow.glowFrames > 60", 120)  # past the start
    first = browser.evaluate("window.glow.glowFrames")
    started = time.time()
    browser.wait_until("window.glow.glowFrames >= %d" % (first + FRAMES), 600)
    seconds = time.time() - started
    shown = browser.evaluate("window.glow.glowFrames") - first
    times = browser.evaluate("window.glow.glowFrameTimes.slice(-%d)" % FRAMES)
    renderer = browser.evaluate(
        "(() => { const gl = document.createElement('canvas').getContext('webgl2');"
        " const info = gl.getExtension('WEBGL_debug_renderer_info');"
        " return info ? gl.getParameter(info.UNMASKED_RENDERER_WEBGL) : gl.getParameter(gl.RENDERER); })()")
finally:
    browser.close()
    server.close()

print("--- web page, headless Chromium (%s)" % renderer)
print("demo_frame CPU time over %d frames: median %.2f ms, 90th percentile %.2f ms"
      % (len(times), statistics.median(times), sorted(times)[int(0.9 * len(times))]))
print("frames shown: %.1f per second" % (shown / seconds))

total = 0
sizes = []
for name in ("index.html", "glow.js", "glow.wasm", "glow.data"):
    with open(os.path.join(web_build, name), "rb") as f:
        data = f.read()
    packed = len(gzip.compress(data, 9))
    total += packed
    sizes.append("%s %d -> %d" % (name, len(data), packed))
print("transfer, gzipped: %.2f MB (%s)" % (total / 1e6, "; ".join(sizes)))
data_dir = os.path.join(root, "data")
for folder in sorted(os.listdir(data_dir)):
    n = sum(os.path.getsize(os.path.join(data_dir, folder, f))
            for f in os.listdir(os.path.join(data_dir, folder)))
    print("  data/%s: %d bytes" % (folder, n))

print("--- Linux build, llvmpipe under Xvfb", flush=True)
subprocess.run([os.path.join(linux_build, "bench", "shell", "bench_window")], check=True)
