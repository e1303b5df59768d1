"""Start-up placement, Escape, the drag and the ends from outside, with no signal at all."""

import time
from subprocess import PIPE, Popen

import wine_session as ws
from harness import (LOADER, SPI_SETWORKAREA, WM_CLOSE, WM_DISPLAYCHANGE, WM_ENDSESSION,
                     WM_SETTINGCHANGE, SessionTest)


class PlacedTest(SessionTest):
    def setUp(self):
        self.port = self.session.pty(3)
        self.addCleanup(self.session.close_ptys)
        self.addCleanup(self.session.kill_programs)

    def start_placed(self, **settings):
        self.session.store_settings(**settings)
        program = self.start("3")
        window, geometry = self.session.wait_for_window()
        self.assertTrue(self.port.opened.is_set(), "COM3 was not opened")
        return program, window, geometry

    def assert_saved(self, program, x, y):
        self.assertEqual(program.wait(10), 0)
        self.assertEqual(self.session.settings(), {"X": x, "Y": y, "W": "100", "H": "50"})
        ws.wait_for(self.port.closed_again.is_set, 5, "the port's release")


class SettingsTest(PlacedTest):
    def test_first_start_uses_the_defaults_and_escape_saves_them(self):
        program, _, geometry = self.start_placed()
        self.assertEqual(geometry, (20, 20, 100, 50))
        # Escape acts on its release only; other keys do nothing.
        self.session.x("xdotool", "keydown", "Escape", "key", "a", "Return", "space")
        time.sleep(0.5)  # the timer runs twice meanwhile; nothing may end the program
        self.assertTrue(program.running(), "Escape ended the program before its release")
        self.session.x("xdotool", "keyup", "Escape")
        started = time.monotonic()
        self.assertEqual(program.wait(10), 0)
        # An unmanaged window's program ends some 20 ms after Escape: fifty times that.
        self.assertLess(time.monotonic() - started, 1.0, "Escape took a second or more")
        self.assert_saved(program, "20", "20")

    def drag(self, window, press, release, left, top):
        """Presses the buttons `press` at 50, 25 inside the window at `left`, `top`, releases
        `release`, and moves the cursor until the window has followed it by 250, 170."""
        x = self.session.x
        x("xdotool", "mousemove", str(left + 50), str(top + 25))
        for button in press:
            x("xdotool", "mousedown", button)
            self.addCleanup(x, "xdotool", "mouseup", button)  # should the test fail early
        for button in release:
            x("xdotool", "mouseup", button)
        for step in range(1, 11):
            x("xdotool", "mousemove", str(left + 50 + 25 * step), str(top + 25 + 17 * step))
        ws.wait_for(lambda: self.session.geometry(window) == (left + 250, top + 170, 100, 50),
                    10, "the window to follow the cursor")

    def move_from_outside(self, window, left, top):  # as Windows does when a monitor moves
        self.assertEqual(self.probe("move", str(left), str(top))[0], 0)
        self.wait_placed(window, left, top, "the window to be moved")

    def wait_placed(self, window, left, top, what):
        ws.wait_for(lambda: self.session.geometry(window) == (left, top, 100, 50), 10, what)

    def test_a_place_off_the_screen_is_pulled_back_and_a_drag_starts_at_the_real_place(self):
        # Off the right edge by as far as a stored value can be, and above the top.
        program, window, geometry = self.start_placed(X=2147483647, Y=-7, W=100, H=50)
        self.assertEqual(geometry, (924, 0, 100, 50))
        self.move_from_outside(window, 300, 200)
        self.drag(window, ["1"], [], 300, 200)
        # With the button still held: a 1 mark, which no minute mark is, counts the seconds
        # since the open.
        self.port.write([0x00])
        ws.wait_for(lambda: not self.readout(550, 370)[1].endswith(":00"), 10, "a poll in the drag")
        self.session.x("xdotool", "mouseup", "1")
        # The end of the session saves the place the window was last moved to.
        self.move_from_outside(window, 600, 400)
        self.send(WM_ENDSESSION, 0)
        self.assertTrue(program.running(), "an end of session that was called off ended it")
        self.assertEqual(self.session.settings()["Y"], "-7", "saved when the end was called off")
        self.send(WM_ENDSESSION, 1)
        self.assert_saved(program, "600", "400")

    def test_a_change_of_the_screen_pulls_the_window_back_after_the_drag_if_one_runs(self):
        _, window, _ = self.start_placed(X=20, Y=20, W=100, H=50)
        # A change of the work area or of the display pulls a window off the edge back.
        for message, wparam in ((WM_SETTINGCHANGE, SPI_SETWORKAREA), (WM_DISPLAYCHANGE, 24)):
            self.move_from_outside(window, 950, 10)
            self.send(message, wparam)
            self.wait_placed(window, 924, 10, "the window to be pulled back")
        # Inside a drag a message sent is answered, but the move waits for the button's release.
        self.move_from_outside(window, 700, 300)
        self.drag(window, ["1"], [], 700, 300)
        self.assertEqual(self.probe("send", str(WM_SETTINGCHANGE), str(SPI_SETWORKAREA)),
                         (0, "answered"))
        self.wait_placed(window, 950, 470, "the window to stay with the cursor")
        self.session.x("xdotool", "mouseup", "1")
        self.wait_placed(window, 924, 470, "the window to be pulled back after the drag")

    def test_swapped_buttons_drag_with_the_physical_right_one_and_a_close_saves(self):
        # Wine swaps what it reports, not its input: the logical left button stays X button
        # 1. Holding button 3 after a click of button 1 is what a swapped user's press of
        # the physical right button looks like on Windows.
        mouse = ["HKCU\\Control Panel\\Mouse", "/v", "SwapMouseButtons"]
        ws.run_quietly([LOADER, "reg", "add", *mouse, "/t", "REG_SZ", "/d", "1", "/f"],
                       self.session.env)
        self.addCleanup(ws.run_quietly, [LOADER, "reg", "delete", *mouse, "/f"], self.session.env)
        program, window, _ = self.start_placed(X=20, Y=20, W=100, H=50)
        self.drag(window, ["3", "1"], ["1"], 20, 20)
        self.session.x("xdotool", "mouseup", "3")
        self.send(WM_CLOSE)
        self.assert_saved(program, "270", "190")


class WorkAreaTest(PlacedTest):
    """A session of its own: Wine's desktop reads the work area once, when it starts."""

    def test_a_place_under_the_taskbar_is_pulled_up_into_the_work_area(self):
        # Taskbars 40 px high along the top and the bottom, as a window manager reports them.
        # Xvfb drops them when its last client leaves: xprop -spy holds the display.
        spy = Popen(["xprop", "-root", "-spy", "_NET_WORKAREA"], stdout=PIPE, env=self.session.env)
        self.addCleanup(lambda: (spy.kill(), spy.wait(), spy.stdout.close()))
        spy.stdout.readline()
        self.session.x("xprop", "-root", "-f", "_NET_WORKAREA", "32c", "-set", "_NET_WORKAREA",
                       "0, 40, 1024, 688")
        self.assertEqual(self.start_placed(X=20, Y=718, W=100, H=50)[2], (20, 678, 100, 50))

