"""qvk.exe's language dialog and first wizard pages under Wine, one walk per locale: the
preselection, the abort question on every way out, the keyboard, the drawing and the log."""

import os
import unittest

import winelib

QUESTION = {"en": "Warning|Do you really want to abort Quorvane plugins installation?",
            "de": "Achtung|M\xf6chten Sie die Installation der Quorvane Plugins abbrechen ?"}
DIALOG = {"en": ("Language", "Please select you language: ", "Cancel", "OK"),  # title, prompt,
          "de": ("Sprache", "W\xe4hlen Sie Ihre Sprache aus : ", "Abbrechen", "OK")}  # buttons
BUTTONS = {"en": ("Next >", "Cancel"), "de": ("Weiter >", "Abbrechen")}
# Client rectangles: the banners; in the welcome picture a fifth text line's band (German alone
# has one) and the last columns (Arial's lines end before); below the release credit's one line.
SIDE, HEADER = (0, 0, 164, 314), (0, 0, 495, 57)
FIFTH_LINE, RIGHT_EDGE, RELEASE_WRAP = (170, 90, 320, 14), (491, 10, 4, 96), (5, 320, 232, 6)


def colours(run, png, rect):
    """How many colours a client rectangle holds on the screenshot (1: plain, no text)."""
    ox, oy = (int(v) for v in run.cmd("origin").split())
    return winelib.unique_colours(png, ox + rect[0], oy + rect[1], rect[2], rect[3])


class Wizard(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.art, cls.wine = winelib.artifacts_dir("test_wizard"), winelib.Wine()
        cls.server = winelib.serve_site(os.path.join(cls.art, "site"))
        cls.addClassCleanup(cls.server.stop)

    def start(self, locale, lang, selected, *args):
        """The first window: the language dialog in `lang`, list entry `selected` (-1: none)."""
        self.cwd = winelib.fresh_dir(os.path.join(self.art, "cwd-" + locale))
        # The texts are cp1252 bytes: under another code page a window shows them as it reads them.
        self.codepage = {"ja_JP": "cp932"}.get(locale, "cp1252")
        run = winelib.run_qvk(["-debug"] + list(args), self.cwd, locale=locale, timeout=120,
                              wine=self.wine, artifacts=self.art)
        self.addCleanup(run.stop)
        self.before = winelib.work_folders(self.wine)  # another test's are not this one's
        self.dialog(run, lang, selected, winelib.START_MS)
        return run

    def dialog(self, run, lang, selected, timeout_ms=None):
        run.cmd("window " + DIALOG[lang][0], timeout_ms)
        shown = [t.encode("cp1252").decode(self.codepage) for t in DIALOG[lang]]
        want = {"text 3": shown[1], "text 2": shown[2], "text 1": shown[3],
                "state 4": str(selected), "enabled 1": "0" if selected < 0 else "1"}
        self.assertEqual(run.check(want), want)

    def ask(self, run, lang, answer, how=None):
        if how:
            self.assertEqual(run.cmd("close"), how)
        self.assertEqual(run.cmd("message"), QUESTION[lang])
        run.cmd("answer " + answer)

    def drawn(self, run, name, rect):
        """A screenshot once the banner in `rect` is painted (more than a flat colour)."""
        for _ in range(50):
            png = run.screenshot(name)
            if colours(run, png, rect) > 50:
                return png
        self.fail("banner %r not drawn" % (rect,))

    def welcome(self, run, lang):
        run.cmd("window Installation", timeout_ms=winelib.START_MS)
        want = {"visible %d" % c: str(int(c in (1, 5, 8))) for c in (1, 5, 8, 12, 6, 11, 31)}
        want.update({"text 10": BUTTONS[lang][0], "text 9": BUTTONS[lang][1]})
        self.assertEqual(run.check(want), want)
        run.cmd("waitpixel 400 250 255 255 255")  # the picture is white where no text is
        png = self.drawn(run, "welcome-" + lang, SIDE)
        self.assertEqual(colours(run, png, FIFTH_LINE) > 1, lang == "de", "the fifth line")
        self.assertEqual(colours(run, png, RIGHT_EDGE), 1, "a line runs into the edge")

    def ended(self, run):
        """Exit code 0 after Yes, no work folder left; the log without the transfer client's."""
        self.assertEqual(run.wait(30), 0)
        self.assertEqual(winelib.work_folders(self.wine), self.before)
        return [line for line in winelib.read_log(self.cwd) if not line.startswith("KiteHTTP: ")]

    def test_german_locale_preselects_and_shows_the_welcome_in_german(self):
        run = self.start("de_DE", "de", 2, "-tofile")
        self.assertEqual([run.cmd("item 4 %d" % i) for i in range(int(run.cmd("items 4")))],
                         ["Fran\xe7ais", "English", "Deutsch"])
        run.cmd("click 1")
        self.welcome(run, "de")
        self.ask(run, "de", "yes", "syscommand")
        self.ended(run)
        self.assertEqual(os.listdir(self.cwd), ["qvk.log"])  # -tofile keeps no page it never got

    def test_unlisted_locale_english_pages_keyboard_and_a_catalogue_that_never_comes(self):
        path = "/_mode/silent/plugins.php"  # no answer: the catalogue page stays as it is
        run = self.start("ja_JP", "en", -1, "-url=%s|%s" % (self.server.address, path))
        for lang, index in (("de", 2), ("en", 1)):  # another language relabels at once
            run.cmd("select 4 %d" % index)
            self.dialog(run, lang, index)
        self.ask(run, "en", "no", "wm_close")  # a window without a close box
        self.dialog(run, "en", 1)
        run.cmd("click 1")
        self.welcome(run, "en")
        # Tab goes from Next to Cancel and back; Enter presses the focused button, once.
        run.cmds("@30000 waitfocus 10", "key tab", "waitfocus 9", "key enter")
        self.ask(run, "en", "no")
        run.cmds("waitfocus 9", "key tab", "waitfocus 10", "key enter", "waitvisible 11 1")
        want = dict({"exists %d" % c: "0" for c in (1, 5, 8)}, **{"enabled 13": "0",
                    "enabled 10": "1"}, **{"visible %d" % c: "1" for c in (11, 12, 6, 13, 31)})
        self.assertEqual(run.check(want), want)
        png = self.drawn(run, "notes", HEADER)
        self.assertEqual(colours(run, png, RELEASE_WRAP), 1, "the release credit wraps")
        notes = run.cmd("text 11").replace("\r\n", "\n")
        self.assertIn(winelib.QV, notes)
        run.cmds("click 10", "waitvisible 16 1")
        want = {"visible 14": "1", "exists 11": "0", "enabled 10": "0"}
        winelib.wait_until(lambda: (path, "silent") in self.server.targets(), 20, "the request")
        self.ask(run, "en", "no", "syscommand")
        self.assertEqual(run.check(want), want)
        self.ask(run, "en", "yes", "syscommand")
        log = self.ended(run)
        # The notes whole in their box; Enter pressed each button once.
        self.assertEqual(notes, "\n".join(log[log.index("License :") + 1:
                                              log.index("Step 0 ; All done !")]))
        self.assertEqual(self.server.targets().count((path, "silent")), 1)
        self.assertEqual(log.count("Next ; SNext = 0"), 1)
        self.assertEqual("\n".join(log).count("Cancel button...\nExit... (Window)\nNo\n"), 1)


if __name__ == "__main__":
    winelib.require_programs("qvk", "uidriver")
    unittest.main(verbosity=2)
