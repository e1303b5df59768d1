"""Start-up placement, Escape, the drag and the end of the session, with no signal at all."""

import time
import unittest

import harness

DEFAULTS = {"X": "20", "Y": "20", "W": "100", "H": "50"}


class SettingsTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.session = harness.Session("settings")
        cls.glyphs = harness.load_glyphs()

    @classmethod
    def tearDownClass(cls):
        cls.session.close()

    def setUp(self):
        self.session.store_settings()
        self.port = self.session.pty(3)

    def tearDown(self):
        self.session.kill_programs()
        self.session.ptys.remove(self.port)
        self.port.close()

    def start(self, **settings):
        self.session.store_settings(**settings)
        program = self.session.run("3")
        window, geometry = self.session.wait_for_window()
        self.assertTrue(self.port.opened.is_set(), "COM3 was not opened")
        return program, window, geometry

    def press_escape(self, program):
        self.session.x("xdotool", "key", "Escape")
        started = time.monotonic()
        self.assertEqual(program.wait(10), 0)
        return time.monotonic() - started

    def test_first_start_uses_the_defaults_and_escape_saves_them(self):
        program, window, geometry = self.start()
        self.assertEqual(geometry, (20, 20, 100, 50))
        self.assertEqual(self.session.readout(20, 20, self.glyphs), ("00:00:00", "00:00:00"))

        # Escape acts on its release only; other keys do nothing.
        self.session.x("xdotool", "keydown", "Escape")
        self.session.x("xdotool", "key", "a", "Return", "space")
        self.session.x("xdotool", "keydown", "Escape")  # auto-repeat
        time.sleep(0.5)  # the timer runs twice meanwhile; nothing may end the program
        self.assertTrue(program.running(), "Escape ended the program before its release")
        self.session.x("xdotool", "keyup", "Escape")
        started = time.monotonic()
        self.assertEqual(program.wait(10), 0)
        self.assertLess(time.monotonic() - started, 1.0, "Escape took a second or more")
        self.assertEqual(self.session.settings(), DEFAULTS)
        self.assertTrue(self.port.closed_again.is_set() or
                        harness.wait_for(self.port.closed_again.is_set, 5, "port release"))

    def test_stored_place_beyond_the_right_edge_is_pulled_back(self):
        program, _, geometry = self.start(X=2000, Y=20, W=100, H=50)
        self.assertEqual(geometry, (924, 20, 100, 50))
        self.press_escape(program)
        self.assertEqual(self.session.settings()["X"], "924")

    def test_negative_place_is_pulled_back_and_saved_as_0(self):
        program, _, geometry = self.start(X=-50, Y=-7, W=100, H=50)
        self.assertEqual(geometry, (0, 0, 100, 50))
        self.press_escape(program)
        self.assertEqual(self.session.settings(), {"X": "0", "Y": "0", "W": "100", "H": "50"})

    def test_drag_moves_the_window_and_the_place_is_saved(self):
        program, window, _ = self.start(X=20, Y=20, W=100, H=50)
        x = self.session.x
        x("xdotool", "mousemove", "70", "45")  # 50, 25 inside the window
        x("xdotool", "mousedown", "1")
        for step in range(1, 11):
            x("xdotool", "mousemove", str(70 + 25 * step), str(45 + 17 * step))
        harness.wait_for(lambda: self.session.geometry(window) == (270, 190, 100, 50), 10,
                         "the window to follow the cursor")
        x("xdotool", "mouseup", "1")
        self.press_escape(program)
        self.assertEqual(self.session.settings(), {"X": "270", "Y": "190", "W": "100", "H": "50"})

    def test_end_of_session_ends_at_once_without_saving(self):
        program, _, _ = self.start(X=-50, Y=20, W=100, H=50)
        # The probe returns once the message was handled.
        self.assertEqual(self.session.probe("endsession", "0")[0], 0)
        self.assertTrue(program.running(), "an end of session that was called off ended it")
        self.assertEqual(self.session.probe("endsession", "1")[0], 0)
        self.assertEqual(program.wait(10), 0)
        self.assertEqual(self.session.settings()["X"], "-50")

    def test_close_from_outside_ends_normally(self):
        program, _, _ = self.start(X=-50, Y=20, W=100, H=50)
        self.assertEqual(self.session.probe("close")[0], 0)
        self.assertEqual(program.wait(10), 0)
        self.assertEqual(self.session.settings()["X"], "0")
        harness.wait_for(self.port.closed_again.is_set, 5, "the port's release")


if __name__ == "__main__":
    unittest.main()
