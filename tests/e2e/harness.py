"""The end-to-end tests' session: the real horax.exe under Wine in a private display (see
scripts/wine_session.py), from the pieces CMake names in the environment."""

import os
import subprocess
import unittest

import wine_session as ws

EXE = os.environ.get("HORAX_EXE", "")
PROBE = os.environ.get("HORAX_PROBE", "")
SIM = os.environ.get("HORAX_DCF77SIM", "")
TEMPLATE = os.environ.get("HORAX_TEMPLATE_PREFIX", "")
LOADER = os.environ.get("HORAX_WINE_LOADER", "wine")
WORK = os.environ.get("HORAX_E2E_DIR", "/tmp")


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

    def readout(self, left=20, top=20):
        return self.session.readout(left, top, self.glyphs)
