"""Runs horax.exe under Wine in a private X display, with dcf77sim or a pseudo-terminal of
its own as the receiver on a COM port, and reads what a person would see: the window and
its place, the readout, win.ini, and the clock sets the program asked for.

The demo, the benchmarks that run the real program, the end-to-end tests and the Wine
environment of the cross-built tests (scripts/wine-env) all run Wine through this module.
Everything a session starts is marked in its environment, so that closing the session, or
the end of the process that made it, leaves nothing running.
"""

import atexit
import os
import re
import select
import shlex
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import tty

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
GLYPH_TABLE = os.path.join(ROOT, "resources", "lcd_08x13.txt")

WINDOW_CLASS = "DCF_77_DECODER"
WINDOW_TITLE = "DCF 77 DECODER"
SECTION = "DCF 77 DECODER"
SCREEN = (1024, 768)
PORTS = (1, 2, 3, 4)

# Wine checks every clock change itself: one within half a second of its clock is accepted
# silently, any other is refused and reported on the program's standard error as
# requested minus current time. Tracing SetSystemTime shows the accepted ones as well.
SET_REFUSED = re.compile(r"NtSetSystemTime not allowed: difference (-?\d+) ms")
SET_CALLED = re.compile(r"^(\d+\.\d+):\w+:Call KERNEL32\.SetSystemTime\(", re.M)
SET_RETURNED = re.compile(r"^\d+\.\d+:\w+:Ret  KERNEL32\.SetSystemTime\(\) retval=([0-9a-f]+)")
# The legacy adjustment call, the one Wine has: its two arguments in hexadecimal.
ADJUSTMENT_SET = re.compile(r"Call KERNEL32\.SetSystemTimeAdjustment\(([0-9a-f]+),([0-9a-f]+)\)")
CLOCK_TRACE = "fixme-all,+timestamp,+relay"
QUIET = "fixme-all"

SESSION_MARK = "HORAX_SESSION"


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


def kill_marked(name, value):
    """Kills every process whose environment holds name=value, but this one: what a run
    started, whatever session or parent each process ended up in."""
    wanted = f"{name}={value}".encode()
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{pid}/environ", "rb") as f:
                marked = wanted in f.read().split(b"\0")
        except OSError:
            continue
        if marked and int(pid) != os.getpid():
            try:
                os.kill(int(pid), signal.SIGKILL)
            except OSError:
                pass


def exit_on_signals():
    """Turns SIGTERM and SIGHUP into a normal exit, so that atexit clean-ups run."""
    for number in (signal.SIGTERM, signal.SIGHUP):
        signal.signal(number, lambda n, _: sys.exit(128 + n))


def choose_wine():
    """(arch, loader, build tree): the 32-bit program where this kernel runs 32-bit code,
    else the same sources built for 64-bit Windows. HORAX_WINDOWS=win64 takes the 64-bit
    path on any machine, so that it can be tried where 32-bit code runs too."""
    wanted = os.environ.get("HORAX_WINDOWS", "")
    if wanted not in ("", "win64"):
        raise SystemExit(f"HORAX_WINDOWS={wanted}: win64 or unset")
    try:
        runs_32_bit = wanted != "win64" and subprocess.run(
            ["/usr/lib/wine/wine", "--version"], capture_output=True).returncode == 0
    except OSError:  # ENOEXEC: the kernel refuses 32-bit code
        runs_32_bit = False
    if runs_32_bit:
        return "win32", "wine", "build/win32"
    return "win64", "/usr/lib/wine/wine64", "build/win64"


def read_config(path):
    """The KEY='value' lines a build tree's config.sh holds."""
    config = {}
    with open(path) as f:
        for line in f:
            if "=" in line and not line.startswith("#"):
                key, value = line.strip().split("=", 1)
                config[key] = shlex.split(value)[0] if value else ""
    return config


def wine_environment(prefix, loader, display=None, debug=QUIET):
    env = dict(os.environ, WINEPREFIX=prefix, WINEDLLOVERRIDES="mscoree,mshtml=",
               WINEDEBUG=debug)
    # Debian's wine script picks its loader itself; the 64-bit one, run directly, must be
    # named to the processes it starts.
    if loader.endswith("wine64"):
        env["WINELOADER"] = loader
    else:
        env.pop("WINELOADER", None)
    if display:
        env["DISPLAY"] = display
    return env


def run_quietly(command, env, log=None):
    """Runs a Wine command with its output in a log, never on an inherited pipe: Wine's
    helper processes would hold the pipe open long after the command ends."""
    with open(log or os.devnull, "ab") as out:
        return subprocess.run(command, env=env, stdin=subprocess.DEVNULL, stdout=out,
                              stderr=out).returncode


def make_prefix(prefix, arch, loader, ports, log=None):
    """A new prefix without Mono or Gecko prompts; unmanaged windows, for exact placement
    and a quick teardown without a window manager; SetSystemTime traceable (CLOCK_TRACE);
    and COM1..COM4 mapped to links in `ports`, which a session points at pseudo-terminals.
    Wine reads the port mapping when its server starts."""
    shutil.rmtree(prefix, ignore_errors=True)
    os.makedirs(ports, exist_ok=True)
    env = dict(wine_environment(prefix, loader), WINEARCH=arch)
    run_quietly([loader, "wineboot", "-i"], env, log)
    keys = [("HKCU\\Software\\Wine\\X11 Driver", "Managed", "N"),
            ("HKCU\\Software\\Wine\\Debug", "RelayInclude",
             "kernel32.SetSystemTime;kernel32.SetSystemTimeAdjustment")]
    keys += [("HKLM\\Software\\Wine\\Ports", f"COM{n}", os.path.join(ports, f"com{n}"))
             for n in PORTS]
    for key, name, value in keys:
        run_quietly([loader, "reg", "add", key, "/v", name, "/t", "REG_SZ", "/d", value, "/f"],
                    env, log)
    run_quietly(["wineserver", "-w"], env, log)
    open(os.path.join(prefix, ".horax-ready"), "w").close()


def start_xvfb(env, log=os.devnull):
    """A private 1024 x 768 display; returns the server and its name (":N")."""
    read_end, write_end = os.pipe()
    with open(log, "ab") as out:
        xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "%dx%dx24" % SCREEN,
             "-nolisten", "tcp", "-wr"], pass_fds=[write_end], env=env,
            stdin=subprocess.DEVNULL, stdout=out, stderr=out, start_new_session=True)
    os.close(write_end)
    with os.fdopen(read_end) as f:
        number = f.readline().strip()
    if not number:
        raise RuntimeError("Xvfb did not start")
    return xvfb, ":" + number


class Pty:
    """A pseudo-terminal linked as a COM port; the caller writes the receiver's side.

    It notes when the program opens the port: while nobody holds the slave side open,
    the master side reports a hang-up."""

    def __init__(self, link):
        self.master, slave = os.openpty()
        tty.setraw(slave)
        name = os.ttyname(slave)
        os.close(slave)
        self.link = link
        os.symlink(name, link)
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
            if not hung_up:
                self.opened.set()
            elif self.opened.is_set():
                self.closed_again.set()
            time.sleep(0.005)

    def write(self, data):
        os.write(self.master, bytes(data))

    def play(self, characters):
        """Writes `characters`, (seconds after the port's open, value) in order of time,
        from a thread of its own on that absolute schedule, so that nothing the caller
        does in the meantime delays a mark. Returns the thread; `written` gets the wall-clock
        time of each write."""
        self.written = []

        def run():
            self.opened.wait()
            # The watcher sees the open within its 5 ms poll.
            start = time.monotonic()
            for at, value in characters:
                time.sleep(max(0.0, start + at - time.monotonic()))
                self.write([value])
                self.written.append(time.time())
        player = threading.Thread(target=run, daemon=True)
        player.start()
        return player

    def close(self):
        self._stop.set()
        self._watcher.join()
        if os.path.islink(self.link):
            os.unlink(self.link)
        os.close(self.master)


class Program:
    """One run of a Windows program, its standard error kept in a file."""

    def __init__(self, session, exe, args, debug, extra_env):
        self.stderr_path = os.path.join(session.dir, f"run-{len(session.runs)}.err")
        env = dict(session.env, WINEDEBUG=debug, **extra_env)
        with open(self.stderr_path, "wb") as stderr:
            self.process = subprocess.Popen(
                [session.loader, exe, *args], env=env, stdin=subprocess.DEVNULL,
                stdout=subprocess.DEVNULL, stderr=stderr, start_new_session=True)

    def running(self):
        return self.process.poll() is None

    def wait(self, timeout):
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            raise AssertionError(f"the program still runs after {timeout} s") from None

    def stderr(self):
        with open(self.stderr_path, "rb") as f:
            return f.read().decode("latin-1")

    def refused_sets(self):
        """The differences (ms) of the clock changes Wine refused."""
        return [int(m) for m in SET_REFUSED.findall(self.stderr())]

    def adjustments(self):
        """The clock adjustments of a run under CLOCK_TRACE, in order, each as (adjustment,
        disabled)."""
        return [(int(a, 16), int(d, 16) != 0) for a, d in ADJUSTMENT_SET.findall(self.stderr())]

    def clock_sets(self, wall_offset):
        """The clock sets of a run under CLOCK_TRACE, each as (wall-clock time of the call,
        accepted, difference in ms from the true time); `wall_offset` turns Wine's trace
        times (CLOCK_MONOTONIC_RAW) into wall-clock time, see wall_clock_offset()."""
        sets, called, refused = [], None, None
        for line in self.stderr().splitlines():
            if match := SET_CALLED.match(line):
                called, refused = float(match.group(1)) + wall_offset, None
            elif match := SET_REFUSED.search(line):
                refused = int(match.group(1))
            elif (match := SET_RETURNED.match(line)) and called is not None:
                accepted = int(match.group(1), 16) != 0
                # Accepted means within half a second, so the minute asked for is the whole
                # minute nearest the call.
                nearest = round(called / 60) * 60
                difference = round((nearest - called) * 1000) if accepted else refused
                sets.append((called, accepted, difference))
                called = None
        return sets

    def kill(self):
        if self.running():
            os.killpg(self.process.pid, signal.SIGKILL)
            self.process.wait()


def wall_clock_offset():
    """Seconds to add to a Wine trace time (CLOCK_MONOTONIC_RAW) for the wall-clock time."""
    return time.time() - time.clock_gettime(time.CLOCK_MONOTONIC_RAW)


class Image:
    """A screenshot of the whole screen, RGB."""

    def __init__(self, pixels):
        self.pixels = pixels

    def pixel(self, x, y):
        i = 3 * (y * SCREEN[0] + x)
        return tuple(self.pixels[i:i + 3])


# The readout: '.' black, 'o' dark green, '#' bright green in the glyph table.
GLYPH_COLOURS = {".": (0, 0, 0), "o": (0, 128, 0), "#": (0, 255, 0)}
CHAR_WIDTH, CHAR_HEIGHT = 8, 13
DATE_LINE, TIME_LINE = (22, 10), (22, 30)


def load_glyphs():
    """{character: cell pixels} for the digits and the colon, from the glyph table."""
    with open(GLYPH_TABLE) as f:
        rows = [line.rstrip("\n") for line in f if line.strip()]

    def cell(column, width):
        return [[GLYPH_COLOURS[rows[y][column + x]] for x in range(width)]
                for y in range(CHAR_HEIGHT)]

    glyphs = {str(d): cell((d + 1) * CHAR_WIDTH, CHAR_WIDTH) for d in range(10)}
    glyphs[":"] = cell(14 * CHAR_WIDTH, CHAR_WIDTH // 2)
    return glyphs


def read_line(image, glyphs, left, top):
    """Reads one readout line "dd:dd:dd" at (left, top); a cell that matches no glyph
    reads as '?'."""
    text, x = "", left
    for kind in "dd:dd:dd":
        width = CHAR_WIDTH if kind == "d" else CHAR_WIDTH // 2
        cell = [[image.pixel(x + i, top + j) for i in range(width)] for j in range(CHAR_HEIGHT)]
        candidates = ":" if kind == ":" else "0123456789"
        text += next((c for c in candidates if glyphs[c] == cell), "?")
        x += width
    return text


class Session:
    """A private display (unless one is given), Wine prefix and server, for one group of
    runs. With `template`, the prefix is a fresh copy of that one whose COM ports lead to
    this session's own links; with `prefix`, that prefix is used as it is and `ports` is
    where its COM ports lead."""

    def __init__(self, name, workdir, loader, template=None, prefix=None, ports=None,
                 display=None):
        os.makedirs(workdir, exist_ok=True)
        self.dir = tempfile.mkdtemp(prefix=f"{name}-", dir=workdir)
        self.loader = loader
        self.runs, self.ptys, self.sims = [], [], []
        self.xvfb = None
        self.mark = os.path.basename(self.dir) + f"-{os.getpid()}"
        self.own_prefix = template is not None
        self.closed = False
        self.prefix = None
        self.env = dict(os.environ, **{SESSION_MARK: self.mark})
        atexit.register(self.close)
        exit_on_signals()
        if template:
            prefix, ports = os.path.join(self.dir, "prefix"), os.path.join(self.dir, "ports")
            os.makedirs(ports)
            subprocess.run(["cp", "-a", template, prefix], check=True)
            template_ports = os.path.join(os.path.dirname(os.path.abspath(template)), "ports")
            system_reg = os.path.join(prefix, "system.reg")
            with open(system_reg, encoding="latin-1") as f:
                registry = f.read()
            assert template_ports in registry, "the template prefix maps no COM ports"
            with open(system_reg, "w", encoding="latin-1") as f:
                f.write(registry.replace(template_ports, ports))
        self.prefix, self.ports = prefix, ports
        if display is None:
            self.xvfb, display = start_xvfb(self.env, os.path.join(self.dir, "xvfb.log"))
        self.display = display
        self.env = dict(wine_environment(prefix, loader, display), **{SESSION_MARK: self.mark})
        run_quietly(["wineserver", "-p"], self.env)

    def port_link(self, n):
        return os.path.join(self.ports, f"com{n}")

    def pty(self, n):
        """A pseudo-terminal of the caller's own as COM port n."""
        p = Pty(self.port_link(n))
        self.ptys.append(p)
        return p

    def simulator(self, n, sim, *args, log=None):
        """dcf77sim as the receiver on COM port n; returns once its link is there."""
        with open(log or os.path.join(self.dir, f"dcf77sim-{len(self.sims)}.log"), "ab") as out:
            process = subprocess.Popen([sim, "--pty", self.port_link(n), *args],
                                       env=self.env, stdin=subprocess.DEVNULL, stdout=out,
                                       stderr=out, start_new_session=True)
        self.sims.append(process)
        wait_for(lambda: os.path.islink(self.port_link(n)) or process.poll() is not None, 10,
                 "dcf77sim's pseudo-terminal")
        if process.poll() is not None:
            raise RuntimeError(f"dcf77sim ended at once with status {process.returncode}")
        return process

    def run(self, exe, *args, debug=QUIET, **extra_env):
        program = Program(self, exe, args, debug, extra_env)
        self.runs.append(program)
        return program

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
        """(X window id, geometry) once the window is placed."""
        def placed():
            window = self.window()
            geometry = window and self.geometry(window)
            return geometry and geometry[2] > 1 and (window, geometry)
        return wait_for(placed, timeout, "the program's window")

    def screenshot(self, save_as=None):
        command = ["import", "-window", "root", "-depth", "8"]
        shot = subprocess.run(command + ["rgb:-"], env=self.env, capture_output=True,
                              check=True)
        if save_as:
            subprocess.run(command + [save_as], env=self.env, check=True)
        return Image(shot.stdout)

    def readout(self, left, top, glyphs):
        """The date line and the time line of a window at (left, top)."""
        image = self.screenshot()
        return (read_line(image, glyphs, left + DATE_LINE[0], top + DATE_LINE[1]),
                read_line(image, glyphs, left + TIME_LINE[0], top + TIME_LINE[1]))

    def win_ini(self):
        return os.path.join(self.prefix, "drive_c", "windows", "win.ini")

    def settings(self):
        """The keys of the program's win.ini section, as stored."""
        try:
            with open(self.win_ini(), encoding="latin-1") as f:
                text = f.read().replace("\r", "")
        except FileNotFoundError:
            return {}
        match = re.search(r"^\[%s\]\n((?:[^\[\n].*\n?)*)" % re.escape(SECTION), text, re.M)
        lines = match.group(1).splitlines() if match else []
        return dict(line.split("=", 1) for line in lines if "=" in line)

    def store_settings(self, **keys):
        """Replaces win.ini with one holding the program's section with these keys, or
        with none when no keys are given."""
        with open(self.win_ini(), "w", encoding="latin-1", newline="\r\n") as f:
            if keys:
                f.write(f"[{SECTION}]\n")
            for key, value in keys.items():
                f.write(f"{key}={value}\n")

    def kill_programs(self):
        for program in self.runs:
            program.kill()

    def close_ptys(self):
        for p in self.ptys:
            p.close()
        self.ptys = []

    def close(self):
        if self.closed:
            return
        self.closed = True
        self.kill_programs()
        for sim in self.sims:
            if sim.poll() is None:
                sim.terminate()
                try:
                    sim.wait(5)
                except subprocess.TimeoutExpired:
                    sim.kill()
        self.close_ptys()
        if "WINEPREFIX" in self.env:
            run_quietly(["wineserver", "-k"], self.env)
        if self.xvfb:
            self.xvfb.terminate()
            self.xvfb.wait()
        kill_marked(SESSION_MARK, self.mark)
        if self.own_prefix and self.prefix:
            shutil.rmtree(self.prefix, ignore_errors=True)
