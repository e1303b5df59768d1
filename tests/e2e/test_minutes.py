"""Whole minutes of signal: the seconds count, a good minute sets the clock, bad ones don't.

Under Wine the program may not change the clock, so each set it asks for is refused and
reported on its standard error with the difference from the current time. A good minute
therefore shows as one such report, and the readout then shows the clock's own time."""

import datetime
import subprocess
import time
import unittest

import harness

# A date three days on: never today, and within the 32-bit millisecond difference.
DAYS_AHEAD = 3


def announced_start():
    """A minute three days on, the first mark at its second 1 (the minute it announces
    is the next one)."""
    now = datetime.datetime.now().replace(second=0, microsecond=0)
    return now + datetime.timedelta(days=DAYS_AHEAD)


def expected_difference_ms(announced, seen_at):
    """What Wine reports for a set to `announced` (local time) made just before
    `seen_at` (time.time()), as its 32-bit signed difference."""
    difference = round((announced.timestamp() - seen_at) * 1000)
    return (difference + 2**31) % 2**32 - 2**31


def trace(start, minutes, *options):
    """The characters dcf77sim would send from `start`, one entry per second: None for a
    second without a mark."""
    result = subprocess.run(
        [harness.SIM, "--stdout", "--fast", "--weather", "--quiet", "--seed", "77",
         "--start", start.strftime("%Y-%m-%d %H:%M:%S"), "--minutes", str(minutes), *options],
        capture_output=True, text=True, check=True)
    seconds = []
    for line in result.stdout.splitlines():
        fields = line.split()
        if len(fields) == 5 and fields[2] != "--":
            seconds.append(None if fields[4] == "-" else int(fields[4], 16))
    return seconds


class MinuteTestCase(unittest.TestCase):
    PORT = 1

    @classmethod
    def setUpClass(cls):
        cls.session = harness.Session(cls.__name__)
        cls.glyphs = harness.load_glyphs()

    @classmethod
    def tearDownClass(cls):
        cls.session.close()

    def readout(self):
        return self.session.readout(20, 20, self.glyphs)

    def wait_for_readout(self, predicate, timeout, what):
        return harness.wait_for(lambda: (lambda r: predicate(r) and r)(self.readout()),
                                timeout, what, interval=0.1)

    def wait_for_set(self, program, count, timeout):
        return harness.wait_for(lambda: len(program.refused_sets()) >= count and time.time(),
                                timeout, "the program to ask for the clock to be set",
                                interval=0.02)

    def check_set(self, program, announced, seen_at):
        difference = program.refused_sets()[-1]
        expected = expected_difference_ms(announced, seen_at)
        # The set came at most a poll or two before the report was seen.
        self.assertGreaterEqual(difference - expected, -100, "set to a later time than announced")
        self.assertLessEqual(difference - expected, 1000, "set to an earlier time than announced")

    def check_readout_shows_clock(self, readout, seconds="00"):
        now = datetime.datetime.now()
        self.assertEqual(readout[0], now.strftime("%d:%m:%y"))
        hours_minutes = {now.strftime("%H:%M"),
                         (now - datetime.timedelta(minutes=1)).strftime("%H:%M")}
        self.assertIn(readout[1][:5], hours_minutes)
        self.assertEqual(readout[1][6:], seconds)


class FullMinuteTest(MinuteTestCase):
    """dcf77sim on COM1 from the moment the program opens it."""

    def test_seconds_count_and_a_full_minute_sets_the_announced_time(self):
        start = announced_start()
        self.session.simulator(self.PORT, "--on-open", "--weather", "--minutes", "1",
                               "--start", start.strftime("%Y-%m-%d %H:%M:01"))
        program = self.session.run(str(self.PORT))
        _, geometry = self.session.wait_for_window()
        self.assertEqual(geometry, (20, 20, 100, 50))

        self.wait_for_readout(lambda r: r == ("00:00:00", "00:00:05"), 30, "five marks counted")
        seen_at = self.wait_for_set(program, 1, 90)
        self.check_set(program, start + datetime.timedelta(minutes=1), seen_at)
        readout = self.wait_for_readout(lambda r: r[0] != "00:00:00", 5, "the new date")
        self.check_readout_shows_clock(readout)
        self.session.screenshot(save_as="after-the-minute.ppm")


class BadMinuteTestCase(MinuteTestCase):
    """A good minute from a pseudo-terminal of the test's own, then a bad one."""

    LEAP = False

    def spoil(self, second_marks):
        """Changes the bad minute's (second, characters) list in place."""
        raise NotImplementedError

    def test_bad_minute_sets_nothing_and_keeps_the_fields(self):
        # From the minute before an hour, so that a leap second can fall at its end.
        start = announced_start().replace(minute=58) - datetime.timedelta(hours=1)
        seconds = trace(start.replace(second=1), 2, *(["--leap"] if self.LEAP else []))
        # One list of characters for each second: most have one, a few none or two. The
        # good minute is seconds 1 to 59; the bad one runs from its second 0, the mark.
        marks = [[c] if c is not None else [] for c in seconds]
        good_minute, bad_minute, closing_mark = marks[:59], marks[59:-1], marks[-1]
        self.assertEqual(good_minute[-1], [], "second 59 has no mark")
        self.assertEqual(closing_mark, [harness.SHORT_MARK], "second 0 carries a 0 bit")
        self.spoil(bad_minute)

        pty = self.session.pty(self.PORT)
        program = self.session.run(str(self.PORT))
        harness.wait_for(pty.opened.is_set, 30, "the port to be opened")
        t0 = time.monotonic()
        for k, characters in enumerate(good_minute + bad_minute + [closing_mark]):
            # An absolute schedule: a late write never delays the next.
            delay = t0 + k - time.monotonic()
            if delay > 0:
                time.sleep(delay)
            for i, c in enumerate(characters):
                if i:
                    time.sleep(0.4)  # a spurious character within the second
                pty.write([c])
            if k == len(good_minute):
                seen_at = self.wait_for_set(program, 1, 3)
                self.check_set(program, start + datetime.timedelta(minutes=1), seen_at)
                after_good = self.readout()
                self.check_readout_shows_clock(after_good, seconds=after_good[1][6:])

        final = self.wait_for_readout(lambda r: r[1].endswith(":00"), 5, "the closing mark")
        self.assertEqual(len(program.refused_sets()), 1, "a bad minute set the clock")
        self.assertEqual(final[0], after_good[0])
        self.assertEqual(final[1][:5], after_good[1][:5])


class DroppedMarkTest(BadMinuteTestCase):
    PORT = 2

    def spoil(self, bad_minute):
        bad_minute[30] = []


class NoiseTest(BadMinuteTestCase):
    PORT = 3

    def spoil(self, bad_minute):
        bad_minute[10].append(0x7F)


class LeapSecondTest(BadMinuteTestCase):
    PORT = 4
    LEAP = True

    def spoil(self, bad_minute):
        self.assertEqual(len(bad_minute), 61, "a leap-second minute has 61 seconds")
        self.assertEqual(bad_minute[59], [harness.SHORT_MARK], "second 59 carries a 0 bit")
        self.assertEqual(bad_minute[60], [], "second 60 has no mark")


if __name__ == "__main__":
    unittest.main()
