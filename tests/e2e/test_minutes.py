"""Whole minutes of signal: the seconds count, and only a good minute that the good minute
before confirms sets the clock.

Under Wine the program may not change the clock, so each set it asks for is refused and
reported on its standard error with the difference from the current time; the telegrams
announce a date three days on, so that no set can be accepted."""

import datetime
import subprocess
import time
import unittest

import wine_session as ws
from harness import SIM, SessionTest

DAYS_AHEAD = 3


def trace(start, minutes):
    """The characters dcf77sim sends from `start`, one entry per second: None for a second
    without a mark."""
    result = subprocess.run(
        [SIM, "--stdout", "--fast", "--weather", "--quiet", "--seed", "77",
         "--start", start.strftime("%Y-%m-%d %H:%M:%S"), "--minutes", str(minutes)],
        capture_output=True, text=True, check=True)
    return [None if line.split()[4] == "-" else int(line.split()[4], 16)
            for line in result.stdout.splitlines()]


class MinutesTest(SessionTest):
    def check_readout_shows_clock(self):
        date, clock = self.readout()
        now = datetime.datetime.now()
        self.assertEqual(date, now.strftime("%d:%m:%y"))
        recent = {now.strftime("%H:%M"), (now - datetime.timedelta(minutes=1)).strftime("%H:%M")}
        self.assertIn(clock[:5], recent)

    def test_a_good_minute_sets_the_clock_only_after_a_good_minute(self):
        start = datetime.datetime.now().replace(second=0, microsecond=0)
        start += datetime.timedelta(days=DAYS_AHEAD)
        # Minute A from its second 1, then B, C and D from their second 0, and D's closing
        # mark. A decodes, with nothing before it; B loses a mark; C decodes two minutes
        # after A; D follows C, and is the only one to set the clock.
        seconds = trace(start.replace(second=1), 4)
        self.assertEqual(len(seconds), 59 + 3 * 60 + 1)
        seconds[59 + 30] = None
        unconfirmed = {59: "A", 179: "C"}  # the marks that close them

        pty = self.session.pty(1)
        program = self.start("1")
        _, geometry = self.session.wait_for_window()
        self.assertEqual(geometry, (20, 20, 100, 50))
        ws.wait_for(pty.opened.is_set, 30, "the port to be opened")
        t0 = time.monotonic()
        for k, character in enumerate(seconds):
            # An absolute schedule: a late write never delays the next.
            time.sleep(max(0.0, t0 + k - time.monotonic()))
            if character is not None:
                pty.write([character])
            if k == 4:
                ws.wait_for(lambda: self.readout() == ("00:00:00", "00:00:05"), 0.9,
                            "five marks counted")
            if k in unconfirmed:
                ws.wait_for(lambda: self.readout()[1].endswith(":00"), 0.9, "the minute mark")
                self.assertEqual(program.refused_sets(), [], f"{unconfirmed[k]} set the clock")
                self.check_readout_shows_clock()

        seen_at = ws.wait_for(lambda: program.refused_sets() and time.time(), 3,
                              "the program to ask for the clock to be set", 0.02)
        difference = program.refused_sets()[0]
        # Three days are well within the 32-bit milliseconds Wine reports.
        announced = start + datetime.timedelta(minutes=4)
        expected = round((announced.timestamp() - seen_at) * 1000)
        # The set came at most a poll or two before the report was seen.
        self.assertGreaterEqual(difference - expected, -100, "set to a later time than announced")
        self.assertLessEqual(difference - expected, 1000, "set to an earlier time than announced")
        self.assertEqual(len(program.refused_sets()), 1)
        self.check_readout_shows_clock()
        self.session.screenshot(save_as=f"{self.session.dir}/after-the-minutes.png")


if __name__ == "__main__":
    unittest.main()
