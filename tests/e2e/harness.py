"""Runs the real horax.exe under Wine in a private Xvfb, and reads what a person would see.

Each Session has its own copy of the template Wine prefix, its own wineserver and its own
display, so test groups can run side by side. COM1..COM4 of the prefix are mapped to
links in the session's folder; a test points them at a pseudo-terminal of its own (Pty)
or at one made by dcf77sim.

The environment names the pieces (set by CMake): HORAX_EXE, HORAX_PROBE, HORAX_DCF77SIM,
HORAX_TEMPLATE_PREFIX, HORAX_WINE_LOADER, HORAX_GLYPHS and HORAX_E2E_DIR.
"""

import os
import re
import select
import shutil
import signal
import subprocess
import tempfile
import threading
import time
import tty

EXE = os.environ.get("HORAX_EXE", "")
PROBE = os.environ.get("HORAX_PROBE", "")
SIM = os.environ.get("HORAX_DCF77SIM", "")
TEMPLATE = os.environ.get("HORAX_TEMPLATE_PREFIX", "")
LOADER = os.environ.get("HORAX_WINE_LOADER", "wine")
GLYPHS = os.environ.get("HORAX_GLYPHS", "")
WORK = os.environ.get("HORAX_E2E_DIR", tempfile.gettempdir())

WINDOW_TITLE = "DCF 77 DECODER"
SECTION = "DCF 77 DECODER"
SCREEN = (1024, 768)
LONG_MARK = 0x00
SHORT_MARK = 0xF0
# A refused clock change, as Wine reports it on the program's standard error.
SET_REFUSED = re.compile(r"NtSetSystemTime not allowed: difference (-?\d+) ms")


def wait_for(predicate, timeout, what, interval=0.05):
    """Polls until predicate() gives something true, and returns it."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out after {timeout} s waiting for {what}")
        time.sleep(interval)


class Pty:
    """A pseudo-terminal linked as a COM port; the test writes the receiver's side.

    It notes when the program opens the port: while nobody holds the slave side open,
    the master side reports a hang-up."""

    def __init__(self, link):
        self.master, slave = os.openpty()
        tty.setraw(slave)
        self.name = os.ttyname(slave)
        os.close(slave)
        self.link = link
        os.symlink(self.name, link)
        self.opened = threading.Event()
        self.closed_again = threading.Event()
        self._stop = threading.Event()
        self._watcher = threading.Thread(target=self._watch, daemon=True)
        self._watcher.start()

    def _watch(self):
        poller = select.poll()
        poller.register(self.master, select.POLLHUP)
        while not self._stop.is_set():
            hung_up = any(event & select.POLLHUP for _, event in poller.poll(0))
            if not hung_up and not self.opened.is_set():
                self.opened.set()
            elif hung_up and self.opened.is_set():
                self.closed_again.set()
            time.sleep(0.005)

    def write(self, data):
        os.write(self.master, bytes(data))

    def close(self):
        self._stop.set()
        self._watcher.join()
        if os.path.islink(self.link):
            os.unlink(self.link)
        os.close(self.master)


class Image:
    """A screenshot: width, height and RGB bytes."""

    def __init__(self, width, height, pixels):
        self.width, self.height, self.pixels = width, height, pixels

    def pixel(self, x, y):
        i = 3 * (y * self.width + x)
        return tuple(self.pixels[i:i + 3])

    def save_ppm(self, path):
        with open(path, "wb") as f:
            f.write(b"P6\n%d %d\n255\n" % (self.width, self.height) + self.pixels)


def parse_ppm(data):
    fields = []
    pos = 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            pos = data.index(b"\n", pos)
            continue
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    assert fields[0] == b"P6" and fields[3] == b"255", "unexpected screenshot format"
    width, height = int(fields[1]), int(fields[2])
    return Image(width, height, data[pos + 1:pos + 1 + 3 * width * height])


# The glyph table: 13 rows of 120 characters; '.' black, 'o' dark green, '#' bright green.
GLYPH_COLOURS = {".": (0, 0, 0), "o": (0, 128, 0), "#": (0, 255, 0)}
CHAR_WIDTH = 8
CHAR_HEIGHT = 13
DATE_LINE = (22, 10)
TIME_LINE = (22, 30)


def load_glyphs(path=None):
    with open(path or GLYPHS) as f:
        rows = [line.rstrip("\n") for line in f if line.strip() and not line.startswith(";")]
    assert len(rows) == CHAR_HEIGHT and all(len(r) == 15 * CHAR_WIDTH for r in rows), \
        "the glyph table must be 13 rows of 120 characters"
    return rows


def glyph_cell(rows, column, width):
    return [[GLYPH_COLOURS[rows[y][column + x]] for x in range(width)] for y in range(CHAR_HEIGHT)]


def read_line(image, rows, left, top):
    """Reads one readout line "dd:dd:dd" at (left, top) of the screenshot; a cell that
    matches no glyph reads as '?'."""
    digits = {str(d): glyph_cell(rows, (d + 1) * CHAR_WIDTH, CHAR_WIDTH) for d in range(10)}
    colon = glyph_cell(rows, 14 * CHAR_WIDTH, CHAR_WIDTH // 2)
    text = ""
    x = left
    for kind in "dd:dd:dd":
        width = CHAR_WIDTH if kind == "d" else CHAR_WIDTH // 2
        cell = [[image.pixel(x + i, top + j) for i in range(width)] for j in range(CHAR_HEIGHT)]
        if kind == ":":
            text += ":" if cell == colon else "?"
        else:
            text += next((d for d, glyph in digits.items() if glyph == cell), "?")
        x += width
    return text


class Program:
    """One run of horax.exe."""

    def __init__(self, session, args):
        self.session = session
        self.stderr_path = os.path.join(session.dir, f"horax-{len(session.runs)}.err")
        with open(self.stderr_path, "wb") as stderr:
            self.process = subprocess.Popen(
                [LOADER, EXE, *args], env=session.env, stdin=subprocess.DEVNULL,
                stdout=subprocess.DEVNULL, stderr=stderr, start_new_session=True)

    def running(self):
        return self.process.poll() is None

    def wait(self, timeout):
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            raise AssertionError(f"horax.exe still running after {timeout} s") from None

    def stderr(self):
        with open(self.stderr_path, "rb") as f:
            return f.read().decode("latin-1")

    def refused_sets(self):
        """The differences (ms) of the clock changes the program asked for."""
        return [int(m) for m in SET_REFUSED.findall(self.stderr())]

    def kill(self):
        if self.running():
            os.killpg(self.process.pid, signal.SIGKILL)
            self.process.wait()


class Session:
    """A private display, Wine prefix and wineserver for one group of tests."""

    def __init__(self, name):
        os.makedirs(WORK, exist_ok=True)
        self.dir = tempfile.mkdtemp(prefix=f"{name}-", dir=WORK)
        self.prefix = os.path.join(self.dir, "prefix")
        self.ports = os.path.join(self.dir, "ports")
        self.runs = []
        self.ptys = []
        self.sims = []
        os.makedirs(self.ports)
        subprocess.run(["cp", "-a", TEMPLATE, self.prefix], check=True)
        # Point the COM ports at this session's links; the server reads them when it starts.
        template_ports = os.path.join(os.path.dirname(os.path.abspath(TEMPLATE)), "ports")
        system_reg = os.path.join(self.prefix, "system.reg")
        with open(system_reg, encoding="latin-1") as f:
            registry = f.read()
        assert template_ports in registry, "the template prefix maps no COM ports"
        with open(system_reg, "w", encoding="latin-1") as f:
            f.write(registry.replace(template_ports, self.ports))

        self.xvfb = self._start_xvfb()
        self.env = dict(os.environ, WINEPREFIX=self.prefix, DISPLAY=self.display,
                        WINEDLLOVERRIDES="mscoree,mshtml=", WINEDEBUG="fixme-all")
        if LOADER.endswith("wine64"):
            self.env["WINELOADER"] = LOADER
        else:
            self.env.pop("WINELOADER", None)
        subprocess.run(["wineserver", "-p"], env=self.env, check=True,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)

    def _start_xvfb(self):
        read_end, write_end = os.pipe()
        xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "%dx%dx24" % SCREEN,
             "-nolisten", "tcp", "-wr"], pass_fds=[write_end], stdin=subprocess.DEVNULL,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
        os.close(write_end)
        with os.fdopen(read_end) as f:
            number = f.readline().strip()
        assert number, "Xvfb did not start"
        self.display = ":" + number
        return xvfb

    def port_link(self, n):
        return os.path.join(self.ports, f"com{n}")

    def pty(self, n):
        """A pseudo-terminal of the test's own as COM port n."""
        p = Pty(self.port_link(n))
        self.ptys.append(p)
        return p

    def simulator(self, n, *args):
        """dcf77sim as the receiver on COM port n; returns once the link is there."""
        with open(os.path.join(self.dir, f"dcf77sim-{len(self.sims)}.log"), "wb") as log:
            sim = subprocess.Popen([SIM, "--pty", self.port_link(n), "--quiet", *args],
                                   stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                                   start_new_session=True)
        self.sims.append(sim)
        wait_for(lambda: os.path.islink(self.port_link(n)) or sim.poll() is not None, 10,
                 "dcf77sim's pseudo-terminal")
        assert sim.poll() is None, "dcf77sim ended at once"
        return sim

    def run(self, *args):
        program = Program(self, args)
        self.runs.append(program)
        return program

    def probe(self, *args, timeout=30):
        result = subprocess.run([LOADER, PROBE, *args], env=self.env, capture_output=True,
                                timeout=timeout)
        return result.returncode, result.stdout.decode("latin-1").replace("\r", "")

    def x(self, *command):
        return subprocess.run(list(command), env=self.env, capture_output=True, text=True)

    def window(self):
        """The X window id of the program's window, or None."""
        result = self.x("xdotool", "search", "--onlyvisible", "--name", f"^{WINDOW_TITLE}$")
        ids = result.stdout.split()
        return ids[-1] if ids else None

    def geometry(self, window):
        """(left, top, width, height) of an X window, or None when it is gone."""
        result = self.x("xwininfo", "-id", window)
        if result.returncode != 0:
            return None
        values = dict(re.findall(r"^\s*(Absolute upper-left [XY]|Width|Height):\s*(-?\d+)",
                                 result.stdout, re.M))
        return (int(values["Absolute upper-left X"]), int(values["Absolute upper-left Y"]),
                int(values["Width"]), int(values["Height"]))

    def wait_for_window(self, timeout=30):
        def placed():
            window = self.window()
            geometry = window and self.geometry(window)
            return geometry and geometry[2] > 1 and (window, geometry)
        return wait_for(placed, timeout, "the program's window")

    def screenshot(self, save_as=None):
        result = subprocess.run(["import", "-window", "root", "-depth", "8", "ppm:-"], env=self.env,
                                capture_output=True, check=True)
        image = parse_ppm(result.stdout)
        if save_as:
            image.save_ppm(os.path.join(self.dir, save_as))
        return image

    def readout(self, window_left, window_top, rows):
        image = self.screenshot()
        return (read_line(image, rows, window_left + DATE_LINE[0], window_top + DATE_LINE[1]),
                read_line(image, rows, window_left + TIME_LINE[0], window_top + TIME_LINE[1]))

    def win_ini_path(self):
        return os.path.join(self.prefix, "drive_c", "windows", "win.ini")

    def settings(self):
        """The keys of the program's win.ini section, as stored."""
        try:
            with open(self.win_ini_path(), encoding="latin-1") as f:
                text = f.read().replace("\r", "")
        except FileNotFoundError:
            return {}
        match = re.search(r"^\[%s\]\n((?:[^\[\n].*\n?)*)" % re.escape(SECTION), text, re.M)
        if not match:
            return {}
        return dict(line.split("=", 1) for line in match.group(1).splitlines() if "=" in line)

    def store_settings(self, **keys):
        """Replaces win.ini with one holding the program's section with these keys, or
        with none when no keys are given."""
        with open(self.win_ini_path(), "w", encoding="latin-1", newline="\r\n") as f:
            if keys:
                f.write(f"[{SECTION}]\n")
            for key, value in keys.items():
                f.write(f"{key}={value}\n")

    def kill_programs(self):
        for program in self.runs:
            program.kill()

    def close(self):
        self.kill_programs()
        for sim in self.sims:
            if sim.poll() is None:
                sim.terminate()
                try:
                    sim.wait(5)
                except subprocess.TimeoutExpired:
                    sim.kill()
        for p in self.ptys:
            p.close()
        subprocess.run(["wineserver", "-k"], env=self.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.xvfb.terminate()
        self.xvfb.wait()
        shutil.rmtree(self.prefix, ignore_errors=True)
