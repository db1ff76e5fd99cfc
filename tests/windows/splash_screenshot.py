#!/usr/bin/env python3
"""What the splash puts on a real screen, read back with xwd from the X display that the Windows
tests run in (Wine draws its windows there).

For every PNG fixture a probe (SplashProbe.cpp, mode "hold") shows the splash from its own
resource 28 and then polls the feedback file as the launcher's wait does. The screen must show the
image inside the rectangle centred on the work area that the probe reports, and the desktop, as it
was before, everywhere else. Then, standing in for the child, this script deletes the feedback
file, and the screen must be the desktop again. For one fixture the child never deletes it: the
splash stays up while the probe polls, goes with the probe's end, and the file stays behind.

Wine on a plain Xvfb display (no compositing manager) draws a layered window's pixels as they are,
without blending them with what lies beneath. So only opaque pixels can show the image's colour
here; for partly and fully transparent ones the test checks what the window holds, the colour
premultiplied by alpha (black where alpha is 0). On Windows those pixels blend with the desktop.
Wine's desktop on that display is black and repaints itself so, whatever the root window's
background: the screen outside the splash is compared with the screen before the splash, and the
window's exact size is checked by splash-test from the window itself.

Run inside scripts/with-wine (DISPLAY set, Wine server running), as CTest does.
"""
import argparse
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import splash_fixtures  # noqa: E402

WAIT_LIMIT = 60.0  # a hang guard, not a timing requirement


class Failure(Exception):
    pass


def windows_path(unix_path):
    return "Z:" + os.path.abspath(unix_path).replace("/", "\\")


def unix_path(prefix, path):
    drive, rest = path[0].lower(), path[3:]
    return os.path.join(prefix, "dosdevices", drive + ":", *rest.split("\\"))


def half_toward_zero(value):
    return value // 2 if value >= 0 else -((-value) // 2)


class Screen:
    def __init__(self, width, height, pixels):
        self.width, self.height, self.pixels = width, height, pixels

    def row(self, y, x0, x1):
        return self.pixels[(y * self.width + x0) * 3:(y * self.width + x1) * 3]

    def at(self, x, y):
        return tuple(self.row(y, x, x + 1))


def screenshot(png_path):
    """The whole root window, kept as a PNG, read back as RGB."""
    subprocess.run(f"xwd -root -silent | convert xwd:- png:'{png_path}'", shell=True, check=True)
    ppm = subprocess.run(["convert", png_path, "ppm:-"], check=True, capture_output=True).stdout
    fields, at = [], 0
    while len(fields) < 4:  # P6 width height maxval, separated by whitespace, maybe with comments
        while ppm[at:at + 1].isspace():
            at += 1
        if ppm[at:at + 1] == b"#":
            at = ppm.index(b"\n", at)
            continue
        start = at
        while not ppm[at:at + 1].isspace():
            at += 1
        fields.append(ppm[start:at])
    width, height = int(fields[1]), int(fields[2])
    return Screen(width, height, ppm[at + 1:at + 1 + width * height * 3])


def image_pixels(path):
    """The PNG as ImageMagick decodes it, 8-bit RGBA: the reference independent of the decoder under test."""
    return subprocess.run(["convert", path, "-depth", "8", "rgba:-"], check=True, capture_output=True).stdout


def expected_colour(rgba):
    r, g, b, a = rgba
    if a == 255:
        return (r, g, b), 0
    # Premultiplied; converters round or truncate, so one unit either way.
    return tuple(c * a // 255 for c in (r, g, b)), 1


def image_mismatches(screen, rgba, left, top, width, height):
    bad = []
    for y in range(height):
        for x in range(width):
            sx, sy = left + x, top + y
            if not (0 <= sx < screen.width and 0 <= sy < screen.height):
                continue
            at = (y * width + x) * 4
            want, slack = expected_colour(rgba[at:at + 4])
            got = screen.at(sx, sy)
            if any(abs(g - w) > slack for g, w in zip(got, want)):
                bad.append(f"({x},{y}) alpha {rgba[at + 3]}: screen {got}, expected {want}")
    return bad


def outside_mismatches(screen, before, left, top, width, height):
    """Rows (or row parts) outside the rectangle that differ from the screen before the splash."""
    bad = []
    for y in range(screen.height):
        if top <= y < top + height:
            parts = [(0, max(0, min(left, screen.width))), (max(0, min(left + width, screen.width)), screen.width)]
        else:
            parts = [(0, screen.width)]
        for x0, x1 in parts:
            if x0 < x1 and screen.row(y, x0, x1) != before.row(y, x0, x1):
                bad.append(f"row {y} columns {x0}..{x1 - 1}")
    return bad


def read_report(path):
    with open(path, encoding="utf-8") as f:
        return dict(line.split("=", 1) for line in f.read().splitlines() if "=" in line)


def wait_for(condition, what, process=None):
    deadline = time.monotonic() + WAIT_LIMIT
    while time.monotonic() < deadline:
        result = condition()
        if result:
            return result
        if process is not None and process.poll() is not None:
            raise Failure(f"the probe ended (status {process.returncode}) before {what}")
        time.sleep(0.05)
    raise Failure(f"no {what} within {WAIT_LIMIT} s")


class Session:
    def __init__(self, options):
        self.options = options
        os.makedirs(options.work, exist_ok=True)

    def shot(self, name):
        return screenshot(os.path.join(self.options.work, name + ".png"))

    def settle(self, name, mismatches):
        """Screenshots until the screen is as expected (X draws asynchronously); the last mismatches otherwise."""
        deadline = time.monotonic() + 10
        while True:
            screen = self.shot(name)
            bad = mismatches(screen)
            if not bad or time.monotonic() > deadline:
                return bad
            time.sleep(0.1)

    def run(self, name, child_deletes):
        image = os.path.join(self.options.images, name + ".img")
        rgba = image_pixels(image)
        width, height = splash_fixtures.WIDTH, splash_fixtures.HEIGHT
        report = os.path.join(self.options.work, name + ".report")
        for leftover in (report, report + ".dismissed", report + ".stop"):
            if os.path.exists(leftover):
                os.remove(leftover)

        feedback = None
        before = self.shot(name + "-before")
        probe = os.path.join(self.options.probes, f"splash-probe-{name}.exe")
        with open(os.path.join(self.options.work, name + ".log"), "wb") as log:
            process = subprocess.Popen([self.options.wine_run, self.options.prefix, probe, windows_path(report), "hold"],
                                       stdin=subprocess.DEVNULL, stdout=log, stderr=log)
        try:
            wait_for(lambda: os.path.exists(report), "report", process)
            facts = read_report(report)
            if facts.get("window") != "1":
                raise Failure(f"no splash window: {facts}")
            work_left, work_top, work_right, work_bottom = map(int, facts["work"].split())
            left = work_left + half_toward_zero(work_right - work_left - width)
            top = work_top + half_toward_zero(work_bottom - work_top - height)

            def shown(screen):
                return (image_mismatches(screen, rgba, left, top, width, height)
                        + outside_mismatches(screen, before, left, top, width, height))

            bad = self.settle(name + "-shown", shown)
            if bad:
                raise Failure(f"splash at ({left},{top}) not as expected: {len(bad)} mismatches, first {bad[:5]}")

            feedback = unix_path(self.options.prefix, facts["feedback"])
            if not os.path.exists(feedback) or os.path.getsize(feedback) != 0:
                raise Failure(f"no empty feedback file at {feedback}")

            def desktop_again(screen):
                return outside_mismatches(screen, before, 0, 0, 0, 0)

            if child_deletes:
                os.remove(feedback)  # the child is ready
                wait_for(lambda: os.path.exists(report + ".dismissed"), "dismissal", process)
                if read_report(report + ".dismissed").get("window") != "0":
                    raise Failure("the poll that found the file gone left the window")
                bad = self.settle(name + "-dismissed", desktop_again)
                if bad:
                    raise Failure(f"splash still on screen after the dismissal: {bad[:5]}")
                open(report + ".stop", "w").close()
                wait_for(lambda: process.poll() is not None, "end of the probe")
            else:
                # Several polls later the file is still there and so is the splash.
                time.sleep(0.5)
                if os.path.exists(report + ".dismissed"):
                    raise Failure("dismissed although the feedback file is still there")
                bad = self.settle(name + "-still-shown", shown)
                if bad:
                    raise Failure(f"splash gone while the file is still there: {bad[:5]}")
                open(report + ".stop", "w").close()  # the child ends without deleting the file
                wait_for(lambda: process.poll() is not None, "end of the probe")
                bad = self.settle(name + "-ended", desktop_again)
                if bad:
                    raise Failure(f"splash still on screen after the probe ended: {bad[:5]}")
                if not os.path.exists(feedback):
                    raise Failure("the feedback file did not stay behind")
            if process.returncode != 0:
                raise Failure(f"probe ended with status {process.returncode}")
        finally:
            if feedback is not None and os.path.exists(feedback):
                os.remove(feedback)
            if process.poll() is None:
                open(report + ".stop", "w").close()
                try:
                    process.wait(timeout=10)
                except subprocess.TimeoutExpired:
                    process.kill()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    for option in ("--wine-run", "--prefix", "--probes", "--images", "--work"):
        parser.add_argument(option, required=True)
    options = parser.parse_args()
    if not os.environ.get("DISPLAY"):
        sys.exit("splash_screenshot: no DISPLAY; run inside scripts/with-wine")
    session = Session(options)
    cases = [(name, True) for name in splash_fixtures.PNG_FIXTURES] + [("rgba8", False)]
    passed = failed = 0
    for name, child_deletes in cases:
        label = f"{name} ({'child deletes the file' if child_deletes else 'child never deletes the file'})"
        try:
            session.run(name, child_deletes)
            print(f"ok   {label}", flush=True)
            passed += 1
        except (Failure, subprocess.CalledProcessError, KeyError, ValueError) as error:
            print(f"FAIL {label}: {error}", flush=True)
            failed += 1
    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
