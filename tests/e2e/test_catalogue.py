"""The catalogue page and the plugin check list of qvk.exe under Wine, against loopback plugin
servers: both page layouts in English and French, the hosting provider's redirect page, a
refused download answered No and Yes, and what "(Un)Check all" and leaving the list do.

Every run points the program at its own server with -url, so the catalogue is requested
without a language suffix (that suffix is only added for the built-in host)."""

import json
import os
import subprocess
import sys
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(HERE)), "tools"))
import catalogue_site  # noqa: E402
import winelib  # noqa: E402

FIRST = "127.0.0.30"   # the catalogue host the program is pointed at
SECOND = "127.0.0.31"  # where the redirect page sends it
ANALYSIS_MS = 60000    # the catalogue thread under Wine on a loaded machine
BOX = 100              # first plugin tick box
NEXT, CANCEL, CHECK_ALL, HEADING, CATALOGUE_LOG, FILE_BAR = 10, 9, 27, 31, 16, 14

TEXTS = {
    "en": {
        "dialog": "Language", "warning": "Warning", "error": "Error",
        "done": "End of analysis.", "found": " plugins found: ",
        "select": "Please select plugins to install:",
        "folders": "Indicate in which directory Quorvane and/or Quorvane Studio are installed "
                   "(Indicate only one directory if they both are in the same place):",
        "failed": "Failed to download file.",
        "retry": "Failed to download file ! Do you want to retry?",
        "none": "You must select at least one plugin!",
    },
    "fr": {
        "dialog": "Langue", "warning": "Attention", "error": "Erreur",
        "done": "Analyse termin\xe9e.", "found": " plugins trouv\xe9s : ",
        "select": "Veuillez s\xe9lectionner les plugins \xe0 installer :",
        "failed": "R\xe9cup\xe9ration du fichier \xe9chou\xe9e.",
        "retry": "La tentative de r\xe9cup\xe9ration du fichier a \xe9chou\xe9 ! "
                 "Voulez-vous r\xe9essayer ?",
    },
}
LOCALE = {"en": "en_US", "fr": "fr_FR"}

# catalogue_site's five default plugins, as a user must see them: sorted without regard to case.
DEFAULT_SORTED = ["aged Photo", "Blur & Glow", "Caf\xe9 Colours", "Importation XnView",
                  "Sharpen Pro"]

# A list longer than the area shows (more than 8 boxes), in no order and with mixed case.
LONG_LIST = [("zebra Stripes", "Stripes.", "Ana / 1.0 / 1 KB"),
             ("Mosaic", "Tiles.", "Bo / 1.1 / 2 KB"),
             ("emboss", "Relief.", "Cy / 1.2 / 3 KB"),
             ("Bloom", "Glow.", "Di / 1.3 / 4 KB"),
             ("Importation XnView", "Formats.", "Ed / 2.0 / 5 KB"),
             ("ripple", "Waves.", "Fa / 1.4 / 6 KB"),
             ("Aquarelle", "Water colours.", "Gi / 1.5 / 7 KB"),
             ("noise", "Grain.", "Ha / 1.6 / 8 KB"),
             ("Crayon", "Pencil.", "Io / 1.7 / 9 KB"),
             ("halftone", "Dots.", "Ju / 1.8 / 10 KB")]
LONG_SORTED = ["Aquarelle", "Bloom", "Crayon", "emboss", "halftone", "Importation XnView",
               "Mosaic", "noise", "ripple", "zebra Stripes"]


def label(name):
    # A button takes a single "&" as a mnemonic; the label that shows the name holds it doubled.
    return name.replace("&", "&&")


def lines_of(text):
    lines = text.replace("\r\n", "\n").replace("\r", "\n").split("\n")
    while lines and lines[-1] == "":
        lines.pop()
    return lines


def read_log(cwd):
    with open(os.path.join(cwd, "qvk.log"), "rb") as f:
        text = f.read().decode("cp1252")
    lines = text.split("\r\n")
    return lines[:-1] if lines and lines[-1] == "" else lines


def write_rules(path, rules):
    # Replaced in one step: the server reads the file for every request.
    with open(path + ".new", "w", encoding="utf-8") as f:
        json.dump(rules, f)
    os.replace(path + ".new", path)


class CatalogueCase(unittest.TestCase):
    def setUp(self):
        self.art = winelib.fresh_dir(
            os.path.join(winelib.artifacts_dir("test_catalogue"), self._testMethodName[5:]))
        self.cwd = winelib.fresh_dir(os.path.join(self.art, "cwd"))

    def site(self, name, host, **build):
        root = winelib.fresh_dir(os.path.join(self.art, name))
        catalogue_site.build_site(root, host, **build)
        return root

    def server(self, root, address, rules=None):
        rules_path = None
        if rules is not None:
            rules_path = os.path.join(self.art, "rules-%s.json" % address)
            write_rules(rules_path, rules)
        server = winelib.PluginServer(root, address, rules=rules_path, lifetime=300)
        self.addCleanup(server.stop)
        server.rules_path = rules_path
        return server

    def redirecting_server(self):
        """The first server: it answers the catalogue with the hosting provider's redirect
        page, which names the second server."""
        root = winelib.fresh_dir(os.path.join(self.art, "first"))
        with open(os.path.join(root, "redirect.html"), "wb") as f:
            f.write(catalogue_site.redirect_page(SECOND + "/plugins.php").encode("cp1252"))
        return self.server(root, FIRST,
                           rules={"/plugins.php": {"mode": "normal", "file": "redirect.html"}})

    def start(self, lang, address=FIRST):
        run = winelib.run_qvk(["-debug", "-url=%s|/plugins.php" % address], self.cwd,
                              locale=LOCALE[lang], timeout=150, artifacts=self.art)
        self.addCleanup(self.finish, run)
        # The language comes preselected from the locale; OK confirms it.
        run.cmd("window " + TEXTS[lang]["dialog"], timeout_ms=winelib.START_MS)
        run.cmd("click 1")
        run.cmd("window Installation", timeout_ms=winelib.START_MS)
        run.cmd("click %d" % NEXT)           # welcome -> notes
        run.cmd("waitvisible 11 1")
        run.cmd("click %d" % NEXT)           # notes -> catalogue: the thread starts
        return run

    @staticmethod
    def finish(run):
        if run.running():  # the test did not get to its end: show where the program stood
            try:
                run.screenshot("failure")
            except (OSError, subprocess.SubprocessError, winelib.WineError):
                pass
        run.stop()

    def analysed(self, run, lang, names, shot):
        """After the thread: heading, count line and names in the log box, Next enabled."""
        t = TEXTS[lang]
        run.cmd("@%d waittext %d %s" % (ANALYSIS_MS, HEADING, t["done"]))
        run.cmd("waitenabled %d 1" % NEXT)
        self.assertEqual(run.cmd("text %d" % HEADING), t["done"])
        self.assertEqual(run.cmd("state %d" % FILE_BAR), "102")
        self.assertEqual(lines_of(run.cmd("text %d" % CATALOGUE_LOG)),
                         ["%d%s" % (len(names), t["found"])] + names)
        run.screenshot(shot)

    def plugin_list(self, run, lang, names, shot):
        """Next: one ticked box per plugin, in sorted order, and no box for the DLL archive."""
        run.cmd("click %d" % NEXT)
        self.assertEqual(run.cmd("waittext %d %s" % (HEADING, TEXTS[lang]["select"])),
                         TEXTS[lang]["select"])
        # The boxes are made one after the other: wait for the last one and its tick.
        run.cmd("waitvisible %d 1" % (BOX + len(names) - 1))
        self.wait_states(run, [1] * len(names))
        self.assertEqual(run.cmd("exists %d" % CATALOGUE_LOG), "0")
        self.assertEqual(run.cmd("visible %d" % CHECK_ALL), "1")
        self.assertEqual(run.cmd("visible %d" % FILE_BAR), "0")
        self.assertEqual(run.cmd("count %d %d" % (BOX, BOX + len(names) + 10)), str(len(names)))
        self.assertEqual(run.cmd("exists %d" % (BOX + len(names))), "0")
        shown = [run.cmd("text %d" % (BOX + i)) for i in range(len(names))]
        self.assertEqual(shown, [label(n) for n in names])
        run.screenshot(shot)

    def states(self, run, n):
        return [int(run.cmd("state %d" % (BOX + i))) for i in range(n)]

    def wait_states(self, run, wanted, seconds=15):
        """Clicks reach the program as posted messages, after queries: poll, bounded."""
        deadline = time.monotonic() + seconds
        for _ in range(int(seconds / 0.1) + 1):
            seen = self.states(run, len(wanted))
            if seen == wanted or time.monotonic() > deadline:
                break
            time.sleep(0.1)
        self.assertEqual(seen, wanted)

    def quit(self, run, lang):
        run.cmd("click %d" % CANCEL)
        self.assertEqual(run.cmd("message").split("|")[0], TEXTS[lang]["warning"])
        run.cmd("answer yes")
        self.assertEqual(run.wait(30), 0)

    def leaving_lines(self, log):
        """The last reading of the list in the log: [box number, box text, state, "Checked"
        followed] per box, and how often the XnView DLL archive was prepared for download."""
        start = max(i for i, l in enumerate(log) if l.startswith("nbcheck="))
        boxes, prepared, i = [], 0, start + 1
        while i < len(log) and not log[i].startswith(("No plugins checked", "Free gadget")):
            line = log[i]
            if line.startswith("Gadget ("):
                head, state = line.rsplit(") state : ", 1)
                number, text = head[len("Gadget ("):].split(", ", 1)
                boxes.append([int(number), text, int(state), False])
            elif line == "Checked":
                boxes[-1][3] = True
            elif line == "XnViewDLL download prepared":
                prepared += 1
            i += 1
        return boxes, prepared


class Catalogue(CatalogueCase):
    def test_english_layout_0_and_the_check_list(self):
        root = self.site("site", FIRST, layout=0, lang="en", xnview=True)
        server = self.server(root, FIRST)
        run = self.start("en")
        self.analysed(run, "en", DEFAULT_SORTED, "catalogue-en-layout0")
        self.plugin_list(run, "en", DEFAULT_SORTED, "plugins-en-layout0")
        n = len(DEFAULT_SORTED)

        run.cmd("click %d" % CHECK_ALL)
        self.wait_states(run, [0] * n)
        run.cmd("click %d" % CHECK_ALL)
        self.wait_states(run, [1] * n)
        run.cmd("check %d 0" % (BOX + 1))
        run.cmd("check %d 0" % (BOX + 3))
        self.wait_states(run, [1, 0, 1, 0, 1])
        run.cmd("click %d" % CHECK_ALL)      # whatever was done by hand: all off, then all on
        self.wait_states(run, [0] * n)
        run.cmd("click %d" % CHECK_ALL)
        self.wait_states(run, [1] * n)

        run.cmd("click %d" % CHECK_ALL)
        self.wait_states(run, [0] * n)
        run.cmd("click %d" % NEXT)
        self.assertEqual(run.cmd("message"), TEXTS["en"]["error"] + "|" + TEXTS["en"]["none"])
        run.cmd("answer ok")
        self.assertEqual(run.cmd("text %d" % HEADING), TEXTS["en"]["select"])
        self.assertEqual(self.states(run, n), [0] * n)  # the page stays, with its states

        ticked = [0, 1, 0, 1, 1]  # Blur & Glow, Importation XnView, Sharpen Pro
        for i, on in enumerate(ticked):
            run.cmd("check %d %d" % (BOX + i, on))
        self.wait_states(run, ticked)
        run.cmd("click %d" % NEXT)
        run.cmd("waittext %d %s" % (HEADING, TEXTS["en"]["folders"]))
        self.assertEqual(run.cmd("text %d" % HEADING), TEXTS["en"]["folders"])
        self.assertEqual(run.cmd("visible 19"), "1")  # the folder page
        self.assertEqual(run.cmd("count %d %d" % (BOX, BOX + 10)), "0")
        self.assertEqual(run.cmd("exists %d" % CHECK_ALL), "0")
        self.quit(run, "en")

        log = read_log(self.cwd)
        self.assertIn("Using URL : http://%s/plugins.php" % FIRST, log)
        self.assertNotIn("It could be new plugins page version, trying...", log)
        rejected = log.index("No plugins checked")
        self.assertEqual([l for l in log[:rejected] if l.startswith("Gadget (")][-n:],
                         ["Gadget (%d, %s) state : 0" % (BOX + i, name)
                          for i, name in enumerate(DEFAULT_SORTED)])
        boxes, prepared = self.leaving_lines(log)
        self.assertEqual(boxes, [[BOX + i, name, on, bool(on)]
                                 for i, (name, on) in enumerate(zip(DEFAULT_SORTED, ticked))])
        self.assertEqual(prepared, 1)
        self.assertEqual([r["target"] for r in server.requests()], ["/plugins.php"])

    def test_french_layout_1_long_list(self):
        root = self.site("site", FIRST, layout=1, lang="fr", plugins=LONG_LIST, xnview=True)
        self.server(root, FIRST)
        run = self.start("fr")
        self.analysed(run, "fr", LONG_SORTED, "catalogue-fr-layout1")
        self.plugin_list(run, "fr", LONG_SORTED, "plugins-fr-layout1")
        # The last boxes lie below the visible part of the area: they are there all the same.
        self.assertEqual(run.cmd("rect %d" % (BOX + 9)), "30 270 443 20")
        self.quit(run, "fr")
        log = read_log(self.cwd)
        self.assertIn("It could be new plugins page version, trying...", log)
        self.assertIn("Got !", log)
        self.assertNotIn("Adding XnViewDll.zip", log)


class Redirect(CatalogueCase):
    def test_redirect_page_leads_to_the_second_server(self):
        first = self.redirecting_server()
        # The real page links to the catalogue host; the program must aim them at the second.
        second_root = self.site("second", FIRST, layout=1, lang="en")
        second = self.server(second_root, SECOND)

        run = self.start("en")
        self.analysed(run, "en", DEFAULT_SORTED, "catalogue-redirect")
        self.plugin_list(run, "en", DEFAULT_SORTED, "plugins-redirect")
        run.cmd("click %d" % NEXT)  # all ticked, XnView import too, but no DLL archive offered
        run.cmd("waittext %d %s" % (HEADING, TEXTS["en"]["folders"]))
        self.quit(run, "en")

        self.assertEqual([(r["target"], r["mode"], r["file"]) for r in first.requests()],
                         [("/plugins.php", "normal", "redirect.html")])
        got = second.requests()
        self.assertEqual([r["target"] for r in got], ["/plugins.php"])
        self.assertTrue(got[0]["raw"].startswith(
            "GET /plugins.php HTTP/1.0\r\nhost: %s\r\n" % SECOND), got[0]["raw"])
        log = read_log(self.cwd)
        self.assertIn("Yes !", log)
        self.assertIn("Real URL found : %s/plugins.php" % SECOND, log)
        self.assertIn("aged Photo : http://%s/files/agedphoto.zip" % SECOND, log)
        boxes, prepared = self.leaving_lines(log)
        self.assertEqual([b[2:] for b in boxes], [[1, True]] * len(DEFAULT_SORTED))
        self.assertIn("XnView plugin", log)
        self.assertEqual(prepared, 0)

    def test_refused_redirect_target_asks_and_retries_the_target(self):
        # The redirect page stays in memory after the target failed: it must not be taken for
        # the answer again (a loop without end), and Yes must try the target, not the first.
        first = self.redirecting_server()
        second_root = self.site("second", FIRST, layout=0, lang="en")
        second = self.server(second_root, SECOND, rules={"/plugins.php": "status-404"})

        run = self.start("en")
        self.assertEqual(run.cmd("@%d message" % ANALYSIS_MS),
                         TEXTS["en"]["error"] + "|" + TEXTS["en"]["retry"])
        write_rules(second.rules_path, {})
        run.cmd("answer yes")
        self.analysed(run, "en", DEFAULT_SORTED, "catalogue-redirect-retried")
        self.quit(run, "en")
        self.assertEqual(len(first.requests()), 1)
        self.assertEqual([r["mode"] for r in second.requests()], ["status-404", "normal"])


class FailedDownload(CatalogueCase):
    def test_refused_page_answered_no_ends_the_program(self):
        root = self.site("site", FIRST, layout=0)
        server = self.server(root, FIRST, rules={"/plugins.php": "status-404"})
        run = self.start("en")
        self.assertEqual(run.cmd("@%d message" % ANALYSIS_MS),
                         TEXTS["en"]["error"] + "|" + TEXTS["en"]["retry"])
        self.assertEqual(run.cmd("text %d" % HEADING), TEXTS["en"]["failed"])
        run.screenshot("retry-question")
        run.cmd("answer no")
        self.assertEqual(run.wait(30), 0)
        self.assertEqual(sorted(os.listdir(self.cwd)), ["qvk.log"])
        log = read_log(self.cwd)
        self.assertEqual(log[-3:], ["Donwload error", "Retry ?", "No"])
        self.assertEqual([(r["target"], r["mode"]) for r in server.requests()],
                         [("/plugins.php", "status-404")])

    def test_refused_page_answered_yes_after_the_server_mends(self):
        root = self.site("site", FIRST, layout=0, lang="fr", xnview=True)
        server = self.server(root, FIRST, rules={"/plugins.php": "status-404"})
        run = self.start("fr")
        self.assertEqual(run.cmd("@%d message" % ANALYSIS_MS),
                         TEXTS["fr"]["error"] + "|" + TEXTS["fr"]["retry"])
        write_rules(server.rules_path, {})
        run.cmd("answer yes")
        self.analysed(run, "fr", DEFAULT_SORTED, "catalogue-fr-layout0")
        self.plugin_list(run, "fr", DEFAULT_SORTED, "plugins-fr-layout0")
        self.quit(run, "fr")
        self.assertEqual([(r["target"], r["mode"]) for r in server.requests()],
                         [("/plugins.php", "status-404"), ("/plugins.php", "normal")])
        log = read_log(self.cwd)
        retry = log.index("Retry ?")
        self.assertEqual(log[retry + 1:retry + 3], ["Yes", "Download file"])
        self.assertNotIn("qvk-plugins.txt", os.listdir(self.cwd))


if __name__ == "__main__":
    winelib.require_programs("qvk", "uidriver")
    unittest.main(verbosity=2)
