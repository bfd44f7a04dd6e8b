#!/usr/bin/env python3
"""The web page in headless Chromium, as a viewer uses it.

Serves the web build on 127.0.0.1, answers the start question, and checks: the frames at five
held music clocks against frameshot's (and, lit, against glow-capture --lighting's), that L
darkens the picture and Right moves the scroller on, that the sound is not silent and the music
clock rides over a suspended and a stalled AudioContext, that Escape stops the demo and a click
starts it again, and that the page logged no errors.

    web_test.py --page BUILD_WEB --frameshot FRAMESHOT --capture GLOW_CAPTURE [--keep DIR]

Run from the repository root (the references read data/).
"""

import argparse
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import cdp  # noqa: E402

CLOCKS = [4500, 21000, 60000, 97000, 150000]
W, H, BAR = 640, 480, 60
failures = []


def check(ok, what):
    print(("ok      " if ok else "FAILED  ") + what, flush=True)
    if not ok:
        failures.append(what)
    return ok


def references(frameshot, capture, folder):
    """frameshot's frame for every clock, and glow-capture's lit one."""
    args = [frameshot]
    for clock in CLOCKS:
        args += [str(clock), os.path.join(folder, "%d.png" % clock)]
    subprocess.run(args, check=True)
    for clock in CLOCKS:
        out = os.path.join(folder, "lit-%d" % clock) + "/"
        subprocess.run([capture, "--quiet", "--lighting", "--from", str(clock), "--seconds", "0.02",
                        "--fps", "50", "--jobs", "1", out], check=True)
        os.rename(out + "000000.png", os.path.join(folder, "lit-%d.png" % clock))
    return {name: cdp.read_png(open(os.path.join(folder, name + ".png"), "rb").read())
            for name in [str(c) for c in CLOCKS] + ["lit-%d" % c for c in CLOCKS]}


def compare(page, ref):
    """Share of pixels within 8/255 per channel; bar pixels that differ at all."""
    a, b = page[2], ref[2]
    close = bars = 0
    for i in range(W * H):
        d = max(abs(a[3 * i] - b[3 * i]), abs(a[3 * i + 1] - b[3 * i + 1]),
                abs(a[3 * i + 2] - b[3 * i + 2]))
        close += d <= 8
        row = i // W
        bars += d > 0 and (row < BAR or row >= H - BAR)
    return close / (W * H), bars


def eventually(browser, expression, timeout=60):
    """Whether the expression comes true within the (generous) time."""
    try:
        browser.wait_until(expression, timeout)
        return True
    except TimeoutError:
        return False


def mean(picture, rows=(0, H)):
    rgb = picture[2][rows[0] * W * 3:rows[1] * W * 3]
    return sum(rgb) / len(rgb)


def leftmost_red_column(picture):
    """The scroller's first column with red text in the bottom bar, or None."""
    rgb = picture[2]
    for x in range(W):
        for y in range(H - BAR, H):
            r, g, b = rgb[3 * (y * W + x):3 * (y * W + x) + 3]
            if r > 128 and g < 64 and b < 64:
                return x
    return None


# Stands the page's AudioContext still while it says it runs, as a stalled audio device does:
# the output reads a time that no longer moves; the real context goes on underneath.
FREEZE = """(() => {
    const A = globalThis.glowAudio, real = A.realContext = A.context;
    const time = real.currentTime, stamp = real.getOutputTimestamp();
    A.context = new Proxy(real, { get(target, key) {
        if (key == 'currentTime') return time;
        if (key == 'getOutputTimestamp') return () => stamp;
        const value = target[key];
        return typeof value == 'function' ? value.bind(target) : value;
    } });
})()"""
THAW = "globalThis.glowAudio.context = globalThis.glowAudio.realContext"


def clock_rides_over_stalls(browser):
    """Suspends the AudioContext, resumes it, stalls it and lets it go on, while the page logs
    the music clock against its own time: the clock follows the time that passes throughout,
    and the music comes back at the clock's position, within one buffer (1024 frames)."""
    browser.evaluate("(() => { const g = window.glow; g.clockLog = []; g.clockLogger ="
                     " setInterval(() => g.clockLog.push([performance.now(), g._glow_music_time()]),"
                     " 5); })()")
    stretches = []

    def stretch(what):
        """A second and a half from now, once the change before it has been seen."""
        start = browser.evaluate("performance.now()")
        browser.pump(1.5)
        stretches.append((what, start, browser.evaluate("performance.now()")))

    stretch("playing")
    browser.evaluate("globalThis.glowAudio.context.suspend()")
    stretch("suspended")
    browser.evaluate("globalThis.glowAudio.context.resume()")
    check(eventually(browser, "globalThis.glowAudio.peak() > 0.01"),
          "the sound returns after a suspension")
    stretch("resumed")
    browser.evaluate(FREEZE)
    browser.wait_until("globalThis.glowAudio.peak() == 0", 60, "the stalled context's queue to end")
    stretch("stalled")
    browser.evaluate(THAW)
    check(eventually(browser, "globalThis.glowAudio.peak() > 0.01"), "the sound returns after a stall")
    stretch("going on")
    log = browser.evaluate("clearInterval(window.glow.clockLogger), window.glow.clockLog")
    # The clock's lead over the page's time in the second half of each stretch, at its best: a
    # reading right after a mix (between mixes a busy page can hold it back), which stays put
    # while the clock keeps time, and falls behind while it stands.
    leads = [(what, max((clock - now for now, clock in log if (start + end) / 2 <= now < end),
                        default=None))
             for what, start, end in stretches]
    buffer_ms = 1024 * 1000 / 44100
    check(all(lead is not None and abs(lead - leads[0][1]) <= buffer_ms for _, lead in leads),
          "the music clock keeps time over a suspension and a stall (lead over the page's time: %s)"
          % ", ".join("%s %s ms" % (what, None if lead is None else round(lead, 1))
                      for what, lead in leads))


class Page:
    def __init__(self, browser):
        self.b = browser

    def frames(self):
        return self.b.evaluate("window.glow ? window.glow.glowFrames : 0")

    def next_frames(self, n=2):
        """Waits until n more frames have been shown."""
        target = self.frames() + n
        self.b.wait_until("window.glow.glowFrames >= %d" % target, what="%d more frames" % n)

    def press(self, code, key, vk, frames=3):
        """Holds a key over a few frames, as a person does: the demo polls between frames."""
        self.b.key(code, key, vk, True)
        self.next_frames(frames)
        self.b.key(code, key, vk, False)
        self.next_frames(1)

    def hold(self, clock):
        self.b.evaluate("window.glow._glow_hold_clock(%d)" % clock)
        self.next_frames(2)
        return self.b.screenshot("#canvas")

    def answer_start(self, button):
        self.b.wait_until("!document.getElementById('box').hidden", 120, "the start question")
        self.b.click_element(button)
        self.b.wait_until("window.glow && window.glow.glowFrames > 5", 120, "the first frames")


def frame_checks(page, refs, lit, keep):
    for clock in CLOCKS:
        name = ("lit-" if lit else "") + str(clock)
        shot = page.hold(clock)
        if keep:
            cdp.write_png(os.path.join(keep, "page-%s.png" % name), *shot)
        close, bars = compare(shot, refs[name])
        check(close >= 0.995, "%s: %.2f%% of pixels within 8/255 of the desktop's" % (name, 100 * close))
        check(bars == 0, "%s: bars and scroller text identical (%d pixels differ)" % (name, bars))
        if not lit:
            check(leftmost_red_column(refs[name]) is not None,
                  "%s: the reference shows scroller text" % name)


def run(args, keep):
    refs = references(args.frameshot, args.capture, keep or tempfile.mkdtemp(prefix="glow-web-"))
    server = cdp.Server(args.page)
    browser = cdp.Browser()
    try:
        page = Page(browser)
        browser.navigate(server.url + "index.html")
        browser.wait_until("!document.getElementById('box').hidden", 120, "the start question")
        check(browser.evaluate("document.getElementById('box-caption').textContent + '|' +"
                               "document.getElementById('box-text').textContent")
              == "Start FullScreen?|Would You Like To Run In Fullscreen Mode?",
              "the start question asks in the page")
        page.answer_start("#box-no")
        check(browser.evaluate("!document.fullscreenElement"), "No gives the demo in the page")

        check(eventually(browser, "globalThis.glowAudio && globalThis.glowAudio.peak() > 0.01"),
              "the sound output is not silent")
        clock_rides_over_stalls(browser)

        frame_checks(page, refs, False, keep)
        page.press("KeyL", "l", 0x4C)
        frame_checks(page, refs, True, keep)
        lit = page.hold(21000)
        page.press("KeyL", "l", 0x4C)
        unlit = page.hold(21000)
        check(mean(lit) < 0.5 * mean(unlit), "L darkens the picture (mean %.1f against %.1f)"
              % (mean(lit), mean(unlit)))

        # At 1 s the message's first letter is at column 557 and on its way in.
        before = leftmost_red_column(page.hold(1000))
        page.press("ArrowRight", "ArrowRight", 0x27)
        after = leftmost_red_column(browser.screenshot("#canvas"))
        # Every turn with Right down moves the music 400 ms on: 57 pixels of scroller.
        check(before is not None and after is not None and after <= before - 57,
              "Right moves the scroller forward (from column %s to %s)" % (before, after))

        browser.evaluate("window.glow._glow_release_clock()")
        instance = browser.evaluate("window.glow.glowFrames")
        browser.key("Escape", "Escape", 0x1B, True)
        browser.wait_until("!document.getElementById('stopped').hidden", 60, "the stopped page")
        browser.key("Escape", "Escape", 0x1B, False)
        check(eventually(browser, "globalThis.glowAudio.peak() == 0"), "Escape stops the music")
        shown = browser.evaluate("window.glow.glowFrames")
        browser.pump(0.5)
        check(browser.evaluate("window.glow.glowFrames") == shown and shown >= instance,
              "Escape stops the loop")
        # The last frame stays on the canvas, under a veil: seen without and with it, away from
        # the veil's words in the middle.
        veil = "document.getElementById('stopped').style.visibility = '%s'"
        browser.evaluate(veil % "hidden")
        last = browser.screenshot("#canvas")
        browser.evaluate(veil % "")
        stopped = browser.screenshot("#canvas")
        if keep:
            cdp.write_png(os.path.join(keep, "page-stopped.png"), *stopped)
        def around_words(picture):
            return (mean(picture, (BAR, H // 2 - 16)) + mean(picture, (H // 2 + 16, H - BAR))) / 2
        check(around_words(last) > 2 and around_words(stopped) < 0.5 * around_words(last),
              "the last frame stays, dimmed (mean %.1f, %.1f under the veil)"
              % (around_words(last), around_words(stopped)))

        browser.click_element("#stopped")
        page.answer_start("#box-no")
        check(eventually(browser, "globalThis.glowAudio.peak() > 0.01 && window.glow.glowFrames > 30"),
              "a click starts the demo again, with its music")

        browser.pump(0.5)
        check(not browser.errors, "no errors in the page: %s" % browser.errors)
    finally:
        browser.close()
        server.close()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--page", required=True, help="the web build's folder")
    parser.add_argument("--frameshot", required=True)
    parser.add_argument("--capture", required=True)
    parser.add_argument("--keep", help="a folder for the references and the page's frames")
    args = parser.parse_args()
    if not os.path.exists(os.path.join(args.page, "glow.wasm")):
        print("no web build in %s: run make web" % args.page)
        return 1
    if args.keep:
        os.makedirs(args.keep, exist_ok=True)
    try:
        run(args, args.keep)
    except Exception as e:  # a hang or a broken page ends the run with its reason
        check(False, "%s: %s" % (type(e).__name__, e))
    print("%d check(s) failed" % len(failures) if failures else "all checks passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
