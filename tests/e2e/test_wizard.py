"""The language dialog and the first wizard pages of qvk.exe under Wine, driven through the UI
driver the way a user would go: language preselection by locale and by hand, the welcome, notes
and catalogue pages in three languages, the abort question on every way out, the keyboard and
what the pages really draw.

The catalogue page talks to tools/plugin_server.py on a loopback address of its own (port 80),
serving a site made by tools/catalogue_site.py, so the program never reaches for the internet.
"""

import os
import subprocess
import sys
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(SOURCE, "tools"))
import winelib  # noqa: E402
import catalogue_site  # noqa: E402

ABORT_YES = b"Yes, delete temp dir and free memories"
QUESTIONS = {  # title|text of the abort question, as the driver reads them (cp1252)
    "en": "Warning|Do you really want to abort Quorvane plugins installation?",
    "fr": "Attention|Voulez-vous annuler l'installation des plugins Quorvane ?",
    "de": "Achtung|M\u00f6chten Sie die Installation der Quorvane Plugins abbrechen ?",
}
DIALOG = {  # title, prompt, Cancel, OK of the language dialog
    "en": ("Language", "Please select you language: ", "Cancel", "OK"),
    "fr": ("Langue", "Veuillez s\u00e9lectionner votre langue : ", "Annuler", "OK"),
    "de": ("Sprache", "W\u00e4hlen Sie Ihre Sprache aus : ", "Abbrechen", "OK"),
}
LIST_INDEX = {"fr": 0, "en": 1, "de": 2}

# Controls of the language dialog and of the wizard window.
OK, CANCEL, PROMPT, LIST = 1, 2, 3, 4
WELCOME_PANEL, WELCOME_PICTURE, HEADER_FRAME, SIDE_BANNER = 1, 5, 6, 8
CANCEL_BUTTON, NEXT_BUTTON, NOTES, HEADER_BANNER, RELEASE_LINE = 9, 10, 11, 12, 13
INSTALLPROG, CATALOGUE_LOG, HEADING = 14, 16, 31

SIDE_RECT = (0, 0, 164, 314)
HEADER_RECT = (0, 0, 495, 57)
BACKGROUND_POINT = (5, 340)  # below the body frame, left of the buttons: bare window
# Inside the welcome picture (x 164 on, clipped by the client width 495): the band of the fifth
# text line, which starts at y 90; the fourth line, from y 74, ends above it.
FIFTH_LINE_BAND = (170, 90, 320, 14)
# The welcome picture's last visible columns, over all five lines: every line ends before them
# (with Arial's metrics; a wider face runs the third line into the edge, cut).
RIGHT_EDGE_BAND = (491, 10, 4, 96)
# The release credit's box (5, 306, 232, 20) below its first line of text: where a wrapped
# second line would show.
RELEASE_SECOND_LINE = (5, 320, 232, 6)


def client_region(run, rect):
    """A client-area rectangle of the current window as a rectangle of the screenshot."""
    ox, oy = (int(v) for v in run.cmd("origin").split())
    x, y, w, h = rect
    return ox + x, oy + y, w, h


def darkest(png, x, y, w, h):
    """The lowest grey level (0 black .. 1 white) in a region of a screenshot."""
    out = subprocess.run([winelib._convert(), png, "-crop", "%dx%d+%d+%d" % (w, h, x, y),
                          "+repage", "-colorspace", "Gray", "-format", "%[fx:minima]", "info:"],
                         capture_output=True, text=True, timeout=30, check=True).stdout
    return float(out.strip())


def colour(text):
    return tuple(int(v) for v in text.split())


def read_log(cwd):
    with open(os.path.join(cwd, "qvk.log"), "rb") as f:
        return f.read()


def notes_in_log(log):
    """The notes text as the notes step logged it (between "License :" and the step's end)."""
    start = log.index(b"\r\nLicense :\r\n") + len(b"\r\nLicense :\r\n")
    end = log.index(b"\r\nStep 0 ; All done !\r\n", start)
    return log[start:end].decode("cp1252")


def prefix_path(prefix, windows_path):
    """Where a C: path of the prefix lies on this host; names are matched without regard to
    case, as Windows does."""
    drive, _, rest = windows_path.partition(":")
    if drive.upper() != "C":
        raise AssertionError("not a path on C: %r" % windows_path)
    path = os.path.join(prefix, "drive_c")
    for part in [p for p in rest.split("\\") if p]:
        names = os.listdir(path) if os.path.isdir(path) else []
        match = [n for n in names if n.lower() == part.lower()]
        path = os.path.join(path, match[0] if match else part)
    return path


def temp_folder(log, prefix):
    for line in log.split(b"\r\n"):
        if line.startswith(b"Temp directory : "):
            return prefix_path(prefix, line[len(b"Temp directory : "):].decode("cp1252"))
    raise AssertionError("no temp directory line in the log")


def qvk_folder_in(temp):
    return [n for n in os.listdir(temp) if n.lower() == "qvk"] if os.path.isdir(temp) else []


def start_server(folder):
    """The catalogue site on a loopback address of this test's own, port 80."""
    why = None
    for attempt in range(5):
        n = os.getpid() + attempt * 7919
        address = "127.%d.%d.%d" % (128 + ((n >> 16) & 63), (n >> 8) & 255, 1 + (n & 255) % 254)
        root = winelib.fresh_dir(os.path.join(folder, "site"))
        catalogue_site.build_site(root, address)  # the links name the server's address
        try:
            return winelib.PluginServer(root, address, lifetime=240)
        except winelib.WineError as error:  # that address is taken: try another
            why = error
    raise why


def targets(server):
    return [r["target"] for r in server.requests()]


class Wizard(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.art = winelib.artifacts_dir("test_wizard")
        cls.wine = winelib.Wine()
        cls.server = start_server(winelib.fresh_dir(os.path.join(cls.art, "server")))

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()

    def start(self, name, locale, args=()):
        cwd = winelib.fresh_dir(os.path.join(self.art, "cwd-" + name))
        run = winelib.run_qvk(["-debug"] + list(args), cwd, locale=locale, timeout=90,
                              wine=self.wine, artifacts=self.art)
        return run, cwd

    # --- checks shared by the runs ---------------------------------------------------------

    def assert_dialog_opens(self, run, langid, lang, selected, ok_enabled):
        """The program's first window: the language dialog for the locale's identifier, shown in
        `lang`, with list entry `selected` (-1 none) and OK enabled or not."""
        run.cmd("window " + DIALOG[lang][0], timeout_ms=winelib.START_MS)
        self.assertEqual(run.cmd("langid"), langid)
        self.assert_dialog_in(run, lang)
        self.assertEqual(run.cmd("state %d" % LIST), str(selected))
        self.assertEqual(run.cmd("enabled %d" % OK), "1" if ok_enabled else "0")

    def assert_dialog_in(self, run, lang):
        title, prompt, cancel, ok = DIALOG[lang]
        run.cmd("window " + title)
        self.assertEqual(run.cmd("text %d" % PROMPT), prompt)
        self.assertEqual(run.cmd("text %d" % CANCEL), cancel)
        self.assertEqual(run.cmd("text %d" % OK), ok)

    def assert_abort_question(self, run, lang, answer):
        self.assertEqual(run.cmd("message"), QUESTIONS[lang])
        run.cmd("answer " + answer)

    @staticmethod
    def banner_colours(run, rect):
        """The window's background colour and the colours of a grid of points in `rect`."""
        background = colour(run.cmd("pixel %d %d" % BACKGROUND_POINT))
        x, y, w, h = rect
        points = [(x + w * i // 5, y + h * j // 4) for i in range(1, 5) for j in range(1, 4)]
        return background, {colour(run.cmd("pixel %d %d" % p)) for p in points}

    def wait_drawn(self, run, rect):
        """Gives the program up to 10 s to paint a page before it is looked at."""
        for _ in range(50):
            background, seen = self.banner_colours(run, rect)
            if seen != {background}:
                return
            time.sleep(0.2)

    def assert_banner_drawn(self, run, png, rect):
        """Pixels of a banner rectangle are not all the window's background colour."""
        background, seen = self.banner_colours(run, rect)
        self.assertNotEqual(seen, {background}, "banner %r shows only the background" % (rect,))
        self.assertGreater(winelib.unique_colours(png, *client_region(run, rect)), 50,
                           "banner %r is a flat area on the screenshot" % (rect,))

    def assert_welcome_page(self, run, lang, five_lines):
        run.cmd("window Installation", timeout_ms=winelib.START_MS)
        for control in (WELCOME_PANEL, WELCOME_PICTURE, SIDE_BANNER):
            self.assertEqual(run.cmd("visible %d" % control), "1", control)
        for control in (HEADER_BANNER, HEADER_FRAME, NOTES, HEADING):
            self.assertEqual(run.cmd("visible %d" % control), "0", control)
        # The welcome picture is white where no text is, once it has been drawn.
        run.cmd("waitpixel 400 250 255 255 255")
        self.wait_drawn(run, SIDE_RECT)
        png = run.screenshot("welcome-" + lang)
        self.assert_banner_drawn(run, png, SIDE_RECT)
        band = darkest(png, *client_region(run, FIFTH_LINE_BAND))
        if five_lines:
            self.assertLess(band, 0.4, "no fifth text line on the welcome picture")
        else:
            self.assertEqual(band, 1.0, "a fifth text line on the welcome picture")
        self.assertEqual(darkest(png, *client_region(run, RIGHT_EDGE_BAND)), 1.0,
                         "a line of the welcome picture runs into its right edge")
        return png

    def assert_notes_page(self, run, lang, heading):
        self.assertEqual(run.cmd("waittext %d %s" % (HEADING, heading)), heading)
        for control in (WELCOME_PANEL, WELCOME_PICTURE, SIDE_BANNER):
            self.assertEqual(run.cmd("exists %d" % control), "0", control)
        for control in (NOTES, HEADER_BANNER, HEADER_FRAME, RELEASE_LINE, HEADING):
            self.assertEqual(run.cmd("visible %d" % control), "1", control)
        self.assertEqual(run.cmd("enabled %d" % RELEASE_LINE), "0")
        self.assertEqual(run.cmd("enabled %d" % NEXT_BUTTON), "1")
        self.wait_drawn(run, HEADER_RECT)
        png = run.screenshot("notes-" + lang)
        self.assert_banner_drawn(run, png, HEADER_RECT)
        self.assertEqual(winelib.unique_colours(png, *client_region(run, RELEASE_SECOND_LINE)), 1,
                         "the release credit takes a second line")
        return run.cmd("text %d" % NOTES)

    def assert_ended_by_abort(self, run, cwd, before, last_lines):
        """Exit code 0, the log's last lines (the HTTP client's own lines from the catalogue
        thread left out), and no work folder left in the temp folder."""
        self.assertEqual(run.wait(30), 0)
        log = read_log(cwd)
        self.assertTrue(log.endswith(b"\r\n" + ABORT_YES + b"\r\n"), log[-300:])
        lines = [l for l in log.split(b"\r\n") if not l.startswith(b"KiteHTTP: ")]
        self.assertEqual(lines[-len(last_lines) - 1:], last_lines + [b""])
        self.assertEqual(qvk_folder_in(temp_folder(log, self.wine.prefix)), before)
        return log

    def qvk_temp_before(self):
        # A folder left by another test is not this run's doing; none may appear otherwise.
        temps = [os.path.join(self.wine.prefix, "drive_c", "users", u, d)
                 for u in os.listdir(os.path.join(self.wine.prefix, "drive_c", "users"))
                 for d in ("Temp", os.path.join("AppData", "Local", "Temp"))]
        return sorted({n for t in temps for n in qvk_folder_in(t)})

    # --- the runs --------------------------------------------------------------------------

    def test_german_locale_preselects_and_abort_in_the_dialog_ends_the_program(self):
        run, cwd = self.start("de", "de_DE")
        with run:
            self.assert_dialog_opens(run, "0407", "de", LIST_INDEX["de"], True)
            self.assertEqual(run.cmd("items %d" % LIST), "3")
            self.assertEqual([run.cmd("item %d %d" % (LIST, i)) for i in range(3)],
                             ["Fran\u00e7ais", "English", "Deutsch"])
            run.screenshot("language-de")
            run.cmd("click %d" % CANCEL)
            self.assert_abort_question(run, "de", "no")
            # Nothing changed: still open, still German, OK still usable.
            self.assert_dialog_in(run, "de")
            self.assertEqual(run.cmd("state %d" % LIST), "2")
            self.assertEqual(run.cmd("enabled %d" % OK), "1")
            run.cmd("click %d" % CANCEL)
            self.assert_abort_question(run, "de", "yes")
            self.assertEqual(run.wait(30), 0)
        lines = read_log(cwd).split(b"\r\n")
        self.assertTrue(lines[3].startswith(b"Temp directory : "), lines[3])
        self.assertEqual(lines[4:], [b"AskLanguage()", b"Language ID found: 0x0407",
                                     b"Language found: Deutsch", b"Exit... (Button)",
                                     b"Exit... (Button)", b"Yes", b""])
        self.assertEqual(sorted(os.listdir(cwd)), ["qvk.log"])

    def test_unlisted_locale_selects_nothing_until_german_is_picked(self):
        run, cwd = self.start("xx", "ja_JP")
        with run:
            self.assert_dialog_opens(run, "0411", "en", -1, False)  # in no list
            run.screenshot("language-none")

            run.cmd("select %d %d" % (LIST, LIST_INDEX["de"]))
            run.cmd("window Sprache")  # the title changes with the rest
            run.cmd("waittext %d %s" % (PROMPT, DIALOG["de"][1]))
            self.assert_dialog_in(run, "de")
            run.cmd("waitenabled %d 1" % OK)
            # The close request of a window without a close box asks the same question, in
            # the language the dialog shows now.
            self.assertEqual(run.cmd("close"), "wm_close")
            self.assert_abort_question(run, "de", "no")
            self.assert_dialog_in(run, "de")
            run.cmd("click %d" % OK)

            self.assert_welcome_page(run, "de", five_lines=True)
            self.assertEqual(run.cmd("text %d" % NEXT_BUTTON), "Weiter >")
            self.assertEqual(run.cmd("text %d" % CANCEL_BUTTON), "Abbrechen")
            before = self.qvk_temp_before()
            self.assertEqual(run.cmd("close"), "syscommand")
            self.assert_abort_question(run, "de", "yes")
            log = self.assert_ended_by_abort(run, cwd, before, [b"Exit... (Window)", ABORT_YES])
        self.assertIn(b"\r\nLanguage ID found: 0x0411\r\nNew language (2) : Deutsch\r\n"
                      b"Exit... (Window)\r\nLanguage selected (2) : Deutsch\r\n", log)
        self.assertNotIn(b"Language found", log)

    def test_english_pages_keyboard_and_catalogue_page(self):
        path = "/_mode/silent/plugins.php"  # no answer: the catalogue page stays as it is
        run, cwd = self.start("en", "en_US", ["-url=%s|%s" % (self.server.address, path)])
        with run:
            self.assert_dialog_opens(run, "0409", "en", 1, True)
            run.screenshot("language-en")
            # Picking another language relabels at once, and back again.
            run.cmd("select %d 2" % LIST)
            run.cmd("window Sprache")
            self.assert_dialog_in(run, "de")
            run.cmd("select %d 1" % LIST)
            run.cmd("window Language")
            self.assert_dialog_in(run, "en")
            run.cmd("click %d" % OK)

            self.assert_welcome_page(run, "en", five_lines=False)
            self.assertEqual(run.cmd("text %d" % NEXT_BUTTON), "Next >")
            self.assertEqual(run.cmd("text %d" % CANCEL_BUTTON), "Cancel")

            # Keyboard: Tab goes from Next to Cancel and back; Enter presses the focused button.
            run.cmd("waitfocus %d" % NEXT_BUTTON, timeout_ms=winelib.START_MS)
            run.cmd("key tab")
            run.cmd("waitfocus %d" % CANCEL_BUTTON)
            run.cmd("key enter")
            self.assert_abort_question(run, "en", "no")
            self.assertEqual(run.cmd("visible %d" % WELCOME_PICTURE), "1")
            run.cmd("waitfocus %d" % CANCEL_BUTTON)
            run.cmd("key tab")
            run.cmd("waitfocus %d" % NEXT_BUTTON)
            run.cmd("key enter")
            notes = self.assert_notes_page(run, "en", "Please read these notes:")

            run.cmd("click %d" % CANCEL_BUTTON)
            self.assert_abort_question(run, "en", "no")
            self.assertEqual(run.cmd("text %d" % HEADING), "Please read these notes:")
            self.assertEqual(run.cmd("visible %d" % NOTES), "1")

            run.cmd("click %d" % NEXT_BUTTON)
            run.cmd("waitvisible %d 1" % CATALOGUE_LOG)
            self.assertEqual(run.cmd("visible %d" % INSTALLPROG), "1")
            self.assertEqual(run.cmd("exists %d" % NOTES), "0")
            self.assertEqual(run.cmd("enabled %d" % NEXT_BUTTON), "0")
            winelib.wait_until(lambda: path in targets(self.server), 20,
                               "the catalogue request at the loopback server")
            self.assertEqual(targets(self.server).count(path), 1)
            run.screenshot("catalogue-en")
            before = self.qvk_temp_before()
            self.assertEqual(run.cmd("close"), "syscommand")
            self.assert_abort_question(run, "en", "no")
            self.assertEqual(run.cmd("visible %d" % CATALOGUE_LOG), "1")
            self.assertEqual(run.cmd("enabled %d" % NEXT_BUTTON), "0")
            run.cmd("close")
            self.assert_abort_question(run, "en", "yes")
            log = self.assert_ended_by_abort(
                run, cwd, before,
                [b"Exit... (Window)", b"No", b"Main loop", b"Exit... (Window)", ABORT_YES])
        self.assertIn(b"\r\nUsing URL : http://%s%s\r\n" % (self.server.address.encode(),
                                                          path.encode()), log)
        self.assertEqual(notes.replace("\r\n", "\n"), notes_in_log(log).replace("\r\n", "\n"))
        self.assertIn("C:\\Program Files\\Quorvane\\", notes)
        # Enter advanced by one page, as one click of Next does.
        self.assertEqual(log.count(b"Next ; SNext = 0\r\n"), 1)
        self.assertEqual(log.count(b"\r\nCancel button...\r\nExit... (Window)\r\nNo\r\n"), 2)

    def test_french_pages_and_cancel_after_the_catalogue(self):
        run, cwd = self.start("fr", "fr_FR", ["-url=%s|/plugins.php" % self.server.address])
        with run:
            self.assert_dialog_opens(run, "040c", "fr", 0, True)
            run.screenshot("language-fr")
            run.cmd("click %d" % OK)

            self.assert_welcome_page(run, "fr", five_lines=False)
            self.assertEqual(run.cmd("text %d" % NEXT_BUTTON), "Suivant >")
            self.assertEqual(run.cmd("text %d" % CANCEL_BUTTON), "Annuler")
            run.cmd("click %d" % CANCEL_BUTTON)
            self.assert_abort_question(run, "fr", "no")
            self.assertEqual(run.cmd("visible %d" % WELCOME_PICTURE), "1")

            run.cmd("click %d" % NEXT_BUTTON)
            notes = self.assert_notes_page(run, "fr",
                                           "Veuillez prendre connaissance de ces notes :")
            run.cmd("click %d" % NEXT_BUTTON)
            run.cmd("waitvisible %d 1" % CATALOGUE_LOG)
            self.assertEqual(run.cmd("visible %d" % INSTALLPROG), "1")
            # The catalogue thread enables Next as its last act.
            run.cmd("waitenabled %d 1" % NEXT_BUTTON, timeout_ms=30000)
            found = run.cmd("text %d" % CATALOGUE_LOG)
            run.screenshot("catalogue-fr")
            before = self.qvk_temp_before()
            run.cmd("click %d" % CANCEL_BUTTON)
            self.assert_abort_question(run, "fr", "yes")
            log = self.assert_ended_by_abort(
                run, cwd, before, [b"Cancel button...", b"Exit... (Window)", ABORT_YES])
        self.assertEqual(notes.replace("\r\n", "\n"), notes_in_log(log).replace("\r\n", "\n"))
        # The summary in French, then the names the page announced.
        count = len(catalogue_site.DEFAULT_PLUGINS)
        self.assertTrue(found.startswith("%d plugins trouv\u00e9s : \r\n" % count), found)
        for name, _, _ in catalogue_site.DEFAULT_PLUGINS:
            self.assertIn("\r\n%s\r\n" % name, found)
        self.assertIn("/plugins.php", targets(self.server))
        # The downloaded catalogue is not kept without -tofile.
        self.assertEqual(sorted(os.listdir(cwd)), ["qvk.log"])


if __name__ == "__main__":
    winelib.require_programs("qvk", "uidriver")
    unittest.main(verbosity=2)
