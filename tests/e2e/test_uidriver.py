"""The UI driver against its own self-test window: every command, its answers and its errors.

The installer's tests lean on these commands, so each one is shown to read or change exactly
what a user would see or do, and to fail with an "error" answer, not a hang, when the thing it
waits for never comes.
"""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import winelib  # noqa: E402

SELFTEST = UIDRIVER = None  # chosen at start: the first build whose programs run here


class SelftestCase(unittest.TestCase):
    def setUp(self):
        self.wine = winelib.Wine()
        self.dir = winelib.artifacts_dir("test_uidriver")
        self.cwd = winelib.fresh_dir(os.path.join(self.dir, self.id().split(".")[-1]))
        self.run_ = winelib.Run(self.wine, SELFTEST, [], self.cwd, timeout=60)
        self.addCleanup(self.run_.stop)
        self.d = self.run_.driver
        self.d.cmd("window Selftest", timeout_ms=winelib.START_MS)

    def assertDriverError(self, line, *words):
        with self.assertRaises(winelib.DriverError) as caught:
            self.d.cmd(line)
        for word in words:
            self.assertIn(word, str(caught.exception))


class Reading(SelftestCase):
    def test_texts_states_and_geometry(self):
        d = self.d
        self.assertEqual(d.cmd("text 31"), "Ready")
        # Backslashes survive the escaping of the one-line answers.
        self.assertEqual(d.cmd("text 18"), "C:\\Program Files\\Quorvane\\")
        self.assertEqual(d.cmd("state 19"), "0")
        self.assertEqual(d.cmd("state 4"), "1")  # combo box: selected entry
        self.assertEqual(d.cmd("state 14"), "42")  # progress bar: position
        self.assertEqual(d.cmd("items 4"), "3")
        self.assertEqual(d.cmd("item 4 0"), "Fran\xe7ais")  # a cp1252 byte, decoded
        self.assertEqual(d.cmd("text 4"), "English")
        self.assertEqual(d.cmd("text 16"), "first line\r\nsecond line")  # rich text, CR LF kept
        self.assertEqual(d.cmd("class 4").lower(), "combobox")
        self.assertEqual(d.cmd("enabled 10"), "1")
        self.assertEqual(d.cmd("visible 10"), "1")
        self.assertEqual(d.cmd("exists 10"), "1")
        self.assertEqual(d.cmd("exists 55"), "0")
        self.assertEqual(d.cmd("rect 10"), "20 20 75 23")
        self.assertEqual(d.cmd("client"), "460 300")
        # Nested boxes are found inside their container; the hidden one is not counted.
        self.assertEqual(d.cmd("rect 102"), "170 180 140 20")
        self.assertEqual(d.cmd("visible 101"), "0")
        self.assertEqual(d.cmd("count 100 110"), "2")
        self.assertEqual(d.cmd("count 9 12"), "3")
        d.cmd("waitfocus 10")
        self.assertEqual(d.cmd("focus"), "10")
        self.assertIn("Selftest", d.cmd("windows").split("|"))

    def test_pixels_on_the_window_and_the_screenshot(self):
        d = self.d
        self.assertEqual(d.cmd("waitpixel 410 15 255 0 0"), "255 0 0")  # the red banner
        self.assertEqual(d.cmd("pixel 410 15"), "255 0 0")
        self.assertDriverError("@300 waitpixel 410 15 0 0 255", "timeout", "is 255 0 0")
        self.assertNotEqual(d.cmd("pixel 410 40"), "255 0 0")
        ox, oy = (int(v) for v in d.cmd("origin").split())
        shot = self.run_.screenshot("selftest")
        self.assertEqual(winelib.pixel(shot, ox + 410, oy + 15), (255, 0, 0))
        self.assertEqual(winelib.unique_colours(shot, ox + 402, oy + 12, 36, 16), 1)
        self.assertGreater(winelib.unique_colours(shot, ox, oy, 460, 300), 3)

    def test_protocol_errors(self):
        self.assertDriverError("frobnicate 1", "unknown command")
        self.assertDriverError("text 55", "no control 55")
        self.assertDriverError("text x", "bad id")
        self.assertDriverError("check 19 2", "expected 0 or 1")
        self.assertDriverError("@0 window Selftest", "positive")
        self.assertDriverError("answer maybe", "yes, no or ok")
        self.assertDriverError("answer yes", "no current message box")
        # The driver keeps answering after errors.
        self.assertEqual(self.d.cmd("text 31"), "Ready")


class Acting(SelftestCase):
    def test_click_check_and_select(self):
        d = self.d
        d.cmd("click 10")
        self.assertEqual(d.cmd("waittext 31 Pressed"), "Pressed 1")
        d.cmd("click 10")
        d.cmd("waittext 31 Pressed 2")

        d.cmd("check 19 1")
        self.assertEqual(d.cmd("state 19"), "1")
        d.cmd("waittext 32 Ticked 1")  # the program saw a real click
        d.cmd("check 19 1")  # already ticked: no click, the state stays
        self.assertEqual(d.cmd("state 19"), "1")
        d.cmd("check 19 0")
        d.cmd("waittext 32 Ticked 0")
        d.cmd("check 100 1")  # nested inside its container
        self.assertEqual(d.cmd("state 100"), "1")

        d.cmd("select 4 2")
        self.assertEqual(d.cmd("state 4"), "2")
        d.cmd("waittext 31 Selected 2: Deutsch")
        d.cmd("select 4 0")
        d.cmd("waittext 31 Selected 0: Fran\xe7ais")
        self.assertDriverError("select 4 7", "no entry 7")

    def test_waits_see_changes_and_time_out(self):
        d = self.d
        self.assertDriverError("@300 waittext 31 Timer fired", "timeout", "Ready")
        self.assertDriverError("@300 waitgone 20", "timeout", "still exists")
        d.cmd("click 12")
        d.cmd("waittext 31 Timer fired")
        d.cmd("waitenabled 10 0")
        d.cmd("waitvisible 19 0")
        d.cmd("waitgone 20")
        self.assertEqual(d.cmd("exists 20"), "0")
        self.assertEqual(d.cmd("enabled 10"), "0")
        self.assertDriverError("click 10", "disabled")
        self.assertDriverError("check 19 1", "hidden")
        self.assertDriverError("@300 waitenabled 10 1", "timeout")
        self.assertDriverError("@300 window No such window", "timeout", "Selftest")
        d.cmd("timeout 300")
        self.assertDriverError("waitvisible 19 1", "timeout")
        d.cmd("timeout 10000")

    def test_message_box_answers(self):
        d = self.d
        self.assertDriverError("@300 message", "timeout", "no message box")
        d.cmd("click 11")
        self.assertEqual(d.cmd("message"), "Question|Proceed with the test?\r\nSecond line")
        self.assertDriverError("answer ok", "no ok button")
        d.cmd("answer no")
        d.cmd("waittext 31 Answer 7")
        d.cmd("click 11")
        d.cmd("message")
        d.cmd("answer yes")
        d.cmd("waittext 31 Answer 6")

    def test_keys_reach_the_focused_control(self):
        d = self.d
        d.cmd("waitfocus 10")
        self.assertIn(d.cmd("key space"), ("input", "post"))  # Space presses the focused button
        d.cmd("waittext 31 Pressed 1")
        d.cmd("key enter")  # Enter goes to the window as IDOK (it has no default button)
        d.cmd("waittext 31 Enter key")
        d.cmd("key tab")
        d.cmd("waitfocus 11")
        d.cmd("key escape")
        d.cmd("waittext 31 Escape key")
        self.assertDriverError("key nokey", "bad virtual key")

    def test_close_requests_and_exit_code(self):
        d, run = self.d, self.run_
        # With a system menu the close goes through SC_CLOSE, which asks first.
        self.assertEqual(d.cmd("close"), "syscommand")
        self.assertEqual(d.cmd("message"), "Warning|Really close the self-test?")
        d.cmd("answer no")
        d.cmd("waittext 31 Close refused")
        # Without one it is the bare close request.
        d.cmd("click 13")
        d.cmd("window Selftest 2")
        self.assertEqual(d.cmd("close"), "wm_close")
        d.cmd("waitclosed")
        d.cmd("window Selftest")
        d.cmd("waittext 31 Second closed")
        d.cmd("close")
        d.cmd("message")
        d.cmd("answer yes")
        self.assertEqual(run.wait(15), 3)
        self.assertDriverError("text 31", "gone")


class Locales(unittest.TestCase):
    def test_wine_reports_the_language_of_the_locale(self):
        wine = winelib.Wine()
        seen = {}
        for locale in ("fr_FR", "de_DE", "en_US"):
            with winelib.Driver(wine, UIDRIVER, locale=locale) as d:
                seen[locale] = d.cmd("langid")
        self.assertEqual(seen, {"fr_FR": "040c", "de_DE": "0407", "en_US": "0409"})


if __name__ == "__main__":
    found = winelib.require_programs("uidriver", "selftest")
    SELFTEST, UIDRIVER = found["selftest"], found["uidriver"]
    unittest.main(verbosity=2)
