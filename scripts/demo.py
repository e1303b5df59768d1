#!/usr/bin/env python3
"""The demo: horax under Wine, with dcf77sim as the DCF77 receiver on COM1. scripts/demo
installs what it needs (scripts/setup) and runs it:

    scripts/demo [--minutes N] [--noise] [--check | --pictures] [SIMULATOR OPTIONS...]

The simulator follows the real clock, as the transmitter does: its marks fall on the
clock's second boundaries, and its characters reach the port when a 50-baud UART would
hand them over, 190 ms after each mark begins. The first, partial minute fails, as with
a real receiver; the next one decodes, and the one after confirms it and sets the clock.
Each set is shown with its error: how far the clock it asks for is from the true time.
Wine never changes the machine's clock, and it accepts a set within half a second
without saying what was asked. So the telegrams announce the true time one minute ahead:
Wine refuses each set and reports its exact difference from its clock, which less the
minute is the set's error.

With a display ($DISPLAY), the window shows there and the demo runs until Ctrl-C (or
--minutes N). Without one, it runs in a private display for --minutes N (default 5, two
clock sets or more) and saves a screenshot a few seconds after every minute mark to
build/demo/. --noise gives the marks the width jitter of weak reception. Other options
go to the simulator: --drop P, --spurious P, --flip P, --garble P, --jitter MS, --leap,
--seed S; see build/native/tools/dcf77sim/dcf77sim --help.

--check runs headless and stops as soon as the window has appeared, a minute has decoded
and the clock was set within 100 ms of the true time; it exits 1 when that is not so
within a few minutes, or when any set is further off, saying what it saw.

--pictures runs headless and writes the guide's pictures of the window into docs/: before
the first decoded minute (window-start.png), counting the seconds in the minute after it
(window-counting.png), and a few seconds after the first set (window-set.png), each twice
its size; and the window after the set at its real size (window.png, 100 x 50 pixels) and
three times it (window-x3.png). It stops once it has them, three to five minutes after the
start, and exits 1, saying what it missed, when it has not within six minutes.
"""

import argparse
import datetime
import os
import subprocess
import sys
import time
import zoneinfo

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import wine_session as ws  # noqa: E402

ROOT = ws.ROOT
DEMO = os.path.join(ROOT, "build", "demo")
SIM = os.path.join(ROOT, "build", "native", "tools", "dcf77sim", "dcf77sim")
# The PC's zone, which its readout shows; horax sets UTC, so any zone would do.
ZONE = "Europe/Berlin"
NOISE = ["--jitter", "15"]
# Telegrams a minute ahead, so that Wine refuses every set and reports its difference.
AHEAD = ["--ahead", "1"]
MINUTE_MS = 60000
# A set within this of the true time passes the check: each character is stamped as it
# arrives, and under Wine a set comes within a few ms; the check is generous.
CHECK_SPAN_MS = 100
DEFAULT_MINUTES = 5
# A clean start decodes its first whole minute within two minutes and sets the clock at
# the next mark; the check gives it one more.
CHECK_DEADLINE_S = 4 * 60
SHOT_AFTER_MARK_S = 3
WINDOW = (20, 20)
WINDOW_SIZE = (100, 50)
PICTURES = os.path.join(ROOT, "docs")
# The picture before the first decode: this long after the window appeared.
START_PICTURE_S = 5
# The picture of the seconds counting: this many seconds into the minute after the first
# decoded one, so that the readout shows the PC's date and time and the seconds halfway.
COUNTING_PICTURE_SECOND = 25
# All pictures taken within this long, or --pictures fails.
PICTURES_DEADLINE_S = 6 * 60


def say(text):
    print(f"demo: {text}", flush=True)


def parse_arguments():
    parser = argparse.ArgumentParser(add_help=False)
    parser.add_argument("--minutes", type=int)
    parser.add_argument("--noise", action="store_true")
    parser.add_argument("--check", action="store_true")
    parser.add_argument("--pictures", action="store_true")
    parser.add_argument("-h", "--help", action="store_true")
    args, sim_options = parser.parse_known_args()
    if args.help:
        print(__doc__.strip())
        sys.exit(0)
    if args.minutes is not None and args.minutes < 1:
        parser.error("--minutes wants a whole number from 1")
    if args.pictures and (args.check or args.noise or args.minutes or sim_options):
        parser.error("--pictures takes no other option: the pictures show a clean signal")
    return args, sim_options + (NOISE if args.noise else [])


def build(tree):
    """Builds dcf77sim and horax.exe; returns the path of horax.exe."""
    say("building (the first time takes a minute or two)")
    log_path = os.path.join(ROOT, "build", "demo-build.log")
    with open(log_path, "w") as log:
        if subprocess.run([os.path.join(ROOT, "scripts", "build"), "demo"], cwd=ROOT, stdout=log,
                          stderr=log).returncode != 0:
            say(f"the build failed; see {log_path}")
            sys.exit(1)
    return os.path.join(ROOT, tree, "src", "app", "horax.exe")


def has_display():
    return bool(os.environ.get("DISPLAY")) and subprocess.run(
        ["xdpyinfo"], capture_output=True).returncode == 0


class Demo:
    def __init__(self, session, program, sim):
        self.session, self.program, self.sim = session, program, sim
        self.errors = []
        self.window = self.decoded = False
        self.glyphs = ws.load_glyphs()

    def check_running(self):
        for name, process in (("horax.exe", self.program.process), ("dcf77sim", self.sim)):
            if process.poll() is not None:
                say(f"{name} ended unexpectedly (status {process.returncode}); "
                    f"logs in {self.session.dir}")
                sys.exit(1)

    def report_sets(self):
        differences = self.program.refused_sets()
        for difference in differences[len(self.errors):]:
            error = difference - MINUTE_MS
            # Seen within a second of the set, which came just after the minute's start.
            minute = datetime.datetime.now(zoneinfo.ZoneInfo(ZONE)).strftime("%H:%M")
            say(f"clock set at {minute}: {error:+d} ms from the true time")
            self.errors.append(error)

    def sets_within(self, span_ms):
        return bool(self.errors) and all(abs(error) <= span_ms for error in self.errors)

    def look(self, shot=None):
        """Reads the window and its readout; notes whether a minute has decoded."""
        if not self.window:
            self.window = self.session.window() is not None
            if self.window:
                say(f"the window is there, at {WINDOW}")
        if self.window:
            date, clock = self.session.readout(*WINDOW, self.glyphs)
            today = datetime.datetime.now(zoneinfo.ZoneInfo(ZONE)).strftime("%d:%m:%y")
            if date == today and not self.decoded:
                say("a minute has decoded: the readout shows today's date")
            self.decoded |= date == today
            if shot:
                self.session.screenshot(save_as=shot)
                crop = shot.replace("shot-", "window-")
                subprocess.run(["convert", shot, "-crop", "100x50+20+20", "+repage", "-filter",
                                "point", "-resize", "400%", crop], check=False)
                say(f"screenshot {crop}: the readout shows {date} over {clock}")


def crop_window(shot, path, scale):
    """The window out of a screenshot, enlarged `scale` times pixel for pixel, without the
    time stamps that would make every run's file differ."""
    command = ["convert", shot, "-crop", "%dx%d+%d+%d" % (WINDOW_SIZE + WINDOW), "+repage"]
    if scale > 1:
        command += ["-filter", "point", "-resize", f"{scale * 100}%"]
    subprocess.run(command + ["-strip", "-define", "png:exclude-chunks=date,time", path],
                   check=True)


class Pictures:
    """The guide's pictures of the window, each taken from one screenshot whose readout is
    read back, so that what the demo says of a picture is what it shows."""

    def __init__(self, demo):
        self.demo = demo
        self.window_since = self.set_seen = None
        self.taken = {}

    def take(self, what, crops, check):
        shot = os.path.join(DEMO, "picture.png")
        self.demo.session.screenshot(save_as=shot)
        pixels = subprocess.run(["convert", shot, "-depth", "8", "rgb:-"], capture_output=True,
                                check=True).stdout
        image = ws.Image(pixels)
        date = ws.read_line(image, self.demo.glyphs, WINDOW[0] + ws.DATE_LINE[0],
                            WINDOW[1] + ws.DATE_LINE[1])
        clock = ws.read_line(image, self.demo.glyphs, WINDOW[0] + ws.TIME_LINE[0],
                             WINDOW[1] + ws.TIME_LINE[1])
        if not check(date, clock):
            return False
        for name, scale in crops:
            crop_window(shot, os.path.join(PICTURES, name), scale)
            say(f"picture docs/{name} ({what}): the readout shows {date} over {clock}")
        self.taken[what] = True
        return True

    def step(self):
        """Takes the picture that is due; True once all are taken."""
        demo, now = self.demo, time.monotonic()
        today = datetime.datetime.now(zoneinfo.ZoneInfo(ZONE)).strftime("%d:%m:%y")
        second = datetime.datetime.now().second
        if not demo.window:
            return False
        self.window_since = self.window_since or now
        if demo.errors and self.set_seen is None:
            self.set_seen = now
        if "before the first decode" not in self.taken:
            if now - self.window_since >= START_PICTURE_S:
                self.take("before the first decode", [("window-start.png", 2)],
                          lambda date, clock: date == "00:00:00" and clock[:6] == "00:00:")
        elif "counting" not in self.taken:
            if demo.errors:
                raise RuntimeError("the clock was set before the seconds were pictured counting")
            if demo.decoded and second >= COUNTING_PICTURE_SECOND:
                self.take("counting", [("window-counting.png", 2)],
                          lambda date, clock: date == today and clock[-2:] != "00")
        elif self.set_seen is not None and now - self.set_seen >= SHOT_AFTER_MARK_S:
            return self.take("after the first set", [("window-set.png", 2), ("window.png", 1),
                                                     ("window-x3.png", 3)],
                             lambda date, clock: date == today)
        return False


def start(args, sim_options, exe, loader, arch, own_display):
    """The session, horax.exe and the simulator; None when one of them did not start."""
    prefix, ports = os.path.join(DEMO, "wine-prefix"), os.path.join(DEMO, "ports")
    if not os.path.exists(os.path.join(prefix, ".horax-ready")):
        say("making a Wine prefix (once, about 10 s)")
        ws.make_prefix(prefix, arch, loader, ports, os.path.join(DEMO, "wine.log"))
    session = ws.Session("run", DEMO, loader, prefix=prefix, ports=ports,
                         display=None if own_display else os.environ["DISPLAY"])
    for stale in [f for f in os.listdir(DEMO) if f.startswith(("shot-", "window-"))]:
        os.unlink(os.path.join(DEMO, stale))
    # In a terminal the simulator's status line shows each second as it goes out.
    interactive = sys.stderr.isatty() and not args.check and not args.pictures
    log = "/dev/tty" if interactive else os.path.join(session.dir, "dcf77sim.log")
    try:
        sim = session.simulator(1, SIM, "--weather", *AHEAD, *sim_options,
                                *([] if interactive else ["--quiet"]), log=log)
    except RuntimeError as failure:
        say(f"the simulator did not start: {failure}")
        if not interactive:
            print(open(log).read(), end="", file=sys.stderr)
        session.close()
        return None
    program = session.run(exe, "1", TZ=ZONE)
    where = f"a private display ({session.display})" if own_display else "your display"
    say(f"horax.exe runs on COM1 in {where}; dcf77sim sends the current time, its telegrams "
        "a minute ahead so that Wine reports each set's error")
    say("the first, partial minute fails; the next decodes, and the one after sets the clock")
    if not own_display:
        say("Escape in the window quits it; Ctrl-C stops everything")
    return Demo(session, program, sim)


def make_pictures(demo):
    """--pictures: a look every second until the pictures are taken."""
    started, pictures = time.monotonic(), Pictures(demo)
    while time.monotonic() - started < PICTURES_DEADLINE_S:
        time.sleep(1)
        demo.check_running()
        demo.report_sets()
        demo.look()
        try:
            if pictures.step():
                say("pictures done: docs/window*.png")
                return 0
        except RuntimeError as failure:
            say(f"pictures failed: {failure}")
            return 1
    missing = [what for what in ("before the first decode", "counting", "after the first set")
               if what not in pictures.taken]
    say("pictures failed after %d s: none taken %s" % (PICTURES_DEADLINE_S, ", ".join(missing)))
    return 1


def run(args, demo, minutes, own_display):
    if args.pictures:
        return make_pictures(demo)
    started = time.monotonic()
    next_shot = (int(time.time()) // 60 + 1) * 60 + SHOT_AFTER_MARK_S
    shots = 0
    while minutes is None or time.monotonic() - started < minutes * 60 + SHOT_AFTER_MARK_S:
        time.sleep(1)
        if not demo.program.running() and demo.window and not args.check:
            say("horax.exe has ended")
            return 0
        demo.check_running()
        demo.report_sets()
        shot = None
        if own_display and not args.check and time.time() >= next_shot:
            shots, next_shot = shots + 1, next_shot + 60
            shot = os.path.join(DEMO, f"shot-{shots}.png")
        if args.check or shot or not demo.window:
            demo.look(shot)
        if args.check and demo.errors and not demo.sets_within(CHECK_SPAN_MS):
            say(f"check failed: a set more than {CHECK_SPAN_MS} ms from the true time")
            return 1
        if args.check and demo.window and demo.decoded and demo.sets_within(CHECK_SPAN_MS):
            say("check passed: the window appeared, a minute decoded and the clock was set "
                f"within {CHECK_SPAN_MS} ms of the true time")
            return 0
        if args.check and time.monotonic() - started > CHECK_DEADLINE_S:
            seen = {"the window appeared": demo.window, "a minute decoded": demo.decoded,
                    f"a set within {CHECK_SPAN_MS} ms": demo.sets_within(CHECK_SPAN_MS)}
            say("check failed after %d s: %s" % (CHECK_DEADLINE_S, ", ".join(
                f"{what}: {'yes' if ok else 'no'}" for what, ok in seen.items())))
            return 1
    return 0


def main():
    args, sim_options = parse_arguments()
    os.chdir(ROOT)
    os.makedirs(DEMO, exist_ok=True)
    arch, loader, tree = ws.choose_wine()
    if arch == "win64":
        why = "HORAX_WINDOWS=win64" if os.environ.get("HORAX_WINDOWS") else \
            "this kernel runs no 32-bit code"
        say(f"{why}: using the 64-bit build of horax.exe")
    exe = build(tree)
    own_display = args.check or args.pictures or not has_display()
    minutes = args.minutes or (DEFAULT_MINUTES if own_display else None)
    demo = None
    try:
        demo = start(args, sim_options, exe, loader, arch, own_display)
        return run(args, demo, minutes, own_display) if demo else 1
    except KeyboardInterrupt:
        return 130
    finally:
        if demo:
            demo.session.close()
        say("stopped; nothing is left running")


if __name__ == "__main__":
    sys.exit(main())
