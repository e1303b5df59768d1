"""The end-to-end tests' session: the real horax.exe under Wine in a private display, with
dcf77sim or a test's own pseudo-terminal as the receiver (see scripts/wine_session.py)."""

import os
import subprocess
import unittest

import wine_session as ws

EXE, PROBE, SIM, TEMPLATE, LOADER, WORK = (os.environ["HORAX_" + name] for name in (
    "EXE", "PROBE", "DCF77SIM", "TEMPLATE_PREFIX", "WINE_LOADER", "E2E_DIR"))
# The messages the probe sends (winuser.h, pbt.h).
WM_CLOSE, WM_ENDSESSION, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC = 0x10, 0x16, 0x218, 0x12
WM_SETTINGCHANGE, SPI_SETWORKAREA, WM_DISPLAYCHANGE = 0x1A, 0x2F, 0x7E


class SessionTest(unittest.TestCase):
    """Each test class has its own copy of the template prefix, server and display."""

    @classmethod
    def setUpClass(cls):
        cls.session = ws.Session(cls.__name__, WORK, LOADER, template=TEMPLATE)
        cls.glyphs = ws.load_glyphs()

    @classmethod
    def tearDownClass(cls):
        cls.session.close()

    def start(self, *args, **env):
        return self.session.run(EXE, *args, **env)

    def probe(self, *args, timeout=30):
        """Runs the probe (probe_win.cpp) beside the program; (exit code, its output)."""
        result = subprocess.run([LOADER, PROBE, *args], env=self.session.env,
                                capture_output=True, timeout=timeout)
        return result.returncode, result.stdout.decode("latin-1").replace("\r", "")

    def send(self, message, wparam=0):
        """Sends `message` to the program's window; returns once it was handled."""
        self.assertEqual(self.probe("send", str(message), str(wparam))[0], 0, "no window")

    def readout(self, left=20, top=20):
        return self.session.readout(left, top, self.glyphs)
