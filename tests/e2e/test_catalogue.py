"""qvk.exe's catalogue page and plugin check list under Wine against loopback servers named
with -url (so no language suffix): both layouts, a refused page retried, "(Un)Check all"."""

import os
import unittest

import winelib

TEXTS = {"en": {"dialog": "Language", "done": "End of analysis.", "found": " plugins found: ",
                "select": "Please select plugins to install:", "error": "Error",
                "retry": "Failed to download file ! Do you want to retry?"},
         "fr": {"dialog": "Langue", "done": "Analyse termin\xe9e.", "found": " plugins trouv\xe9s : ",
                "select": "Veuillez s\xe9lectionner les plugins \xe0 installer :", "error": "Erreur",
                "retry": "La tentative de r\xe9cup\xe9ration du fichier a \xe9chou\xe9 ! "
                         "Voulez-vous r\xe9essayer ?"}}
FOLDERS = ("Indicate in which directory Quorvane and/or Quorvane Studio are installed (Indicate "
           "only one directory if they both are in the same place):")
# catalogue_site's five plugins as a user must see them: sorted without regard to case.
SORTED = ["aged Photo", "Blur & Glow", "Caf\xe9 Colours", "Importation XnView", "Sharpen Pro"]
# More than the area shows, in no order and of mixed case.
LONG = ["zebra Stripes", "Mosaic", "emboss", "Bloom", "Importation XnView", "ripple", "Aquarelle",
        "noise", "Crayon", "halftone"]


class CatalogueCase(unittest.TestCase):
    def setUp(self):
        self.art = winelib.fresh_dir(os.path.join(winelib.artifacts_dir(), self._testMethodName))
        self.cwd = winelib.fresh_dir(os.path.join(self.art, "cwd"))

    def serve(self, **site):
        server = winelib.serve_site(os.path.join(self.art, "site"), **site)
        self.addCleanup(server.stop)
        return server

    def start(self, lang, address, args=("-debug",), exe=None, catalogue=True):
        """Language OK, Next on the welcome page and, for the catalogue, on the notes page."""
        run = winelib.run_qvk(list(args) + ["-url=%s|/plugins.php" % address], self.cwd,
                              {"en": "en_US", "fr": "fr_FR"}[lang], timeout=180,
                              artifacts=self.art, exe=exe)
        self.addCleanup(run.stop)
        run.cmds("@30000 window " + TEXTS[lang]["dialog"], "click 1", "@30000 window Installation",
                 "click 10", *(("waitvisible 11 1", "click 10") if catalogue else ()))
        return run

    def analysed(self, run, lang, names):
        """The thread's end: heading, full bar, the count and the names, Next enabled."""
        run.cmds("@60000 waittext 31 " + TEXTS[lang]["done"], "waitenabled 10 1")
        self.assertEqual([run.cmd("state 14"), run.cmd("text 16").rstrip().split("\r\n")],
                         ["102", ["%d%s" % (len(names), TEXTS[lang]["found"])] + names])

    def plugin_list(self, run, lang, names):
        """Next: one ticked box per plugin in sorted order (a single "&" would be a mnemonic)."""
        run.cmds("click 10", "waittext 31 " + TEXTS[lang]["select"],
                 "waitvisible %d 1" % (99 + len(names)))
        self.wait_states(run, [1] * len(names))
        want = {"exists 16": "0", "visible 27": "1", "visible 14": "0", "exists %d" % (100 + len(names)): "0",
                "count 100 %d" % (110 + len(names)): str(len(names))}
        want.update({"text %d" % (100 + i): n.replace("&", "&&") for i, n in enumerate(names)})
        self.assertEqual(run.check(want), want)

    def wait_states(self, run, wanted):
        """Clicks reach the program as posted messages, after queries: poll, bounded."""
        winelib.wait_until(lambda: [int(run.cmd("state %d" % (100 + i))) for i in range(len(wanted))]
                           == wanted, 10, "the boxes to become %s" % wanted)

    def quit(self, run, warning="Warning"):
        run.cmd("click 9")
        self.assertEqual(run.cmd("message").split("|")[0], warning)
        run.cmd("answer yes")
        self.assertEqual(run.wait(30), 0)
        return winelib.read_log(self.cwd)


class Catalogue(CatalogueCase):
    def test_english_layout_0_and_the_check_list(self):
        server = self.serve(layout=0, lang="en", xnview=True)
        run = self.start("en", server.address)
        self.analysed(run, "en", SORTED)
        self.plugin_list(run, "en", SORTED)
        for act, states in (("click 27", [0] * 5), ("click 27", [1] * 5), ("check 101 0", None),
                            ("check 103 0", [1, 0, 1, 0, 1]), ("click 27", [0] * 5),
                            ("click 27", [1] * 5), ("click 27", [0] * 5)):
            run.cmd(act)  # (Un)Check all turns all off, then all on, whatever was done by hand
            if states:
                self.wait_states(run, states)
        run.cmd("click 10")
        self.assertEqual(run.cmd("message"), "Error|You must select at least one plugin!")
        run.cmd("answer ok")
        self.assertEqual(run.cmd("text 31"), TEXTS["en"]["select"])  # the page stays, as it was
        self.wait_states(run, [0] * 5)
        ticked = [0, 1, 0, 1, 1]  # Blur & Glow, Importation XnView, Sharpen Pro
        run.cmds(*["check %d %d" % (100 + i, on) for i, on in enumerate(ticked)])
        self.wait_states(run, ticked)
        run.cmds("click 10", "waittext 31 " + FOLDERS)
        want = {"visible 19": "1", "count 100 110": "0", "exists 27": "0"}
        self.assertEqual(run.check(want), want)
        log = self.quit(run)
        self.assertEqual(server.targets(), [("/plugins.php", "normal")])
        last = len(log) - log[::-1].index("nbcheck=5")  # what leaving the list logs last
        self.assertEqual([line for line in log[last:] if line.startswith("Gadget (")],
                         ["Gadget (%d, %s) state : %d" % (100 + i, n, t)
                          for i, (n, t) in enumerate(zip(SORTED, ticked))])
        self.assertEqual(log.count("XnViewDLL download prepared"), 1)

    def test_french_layout_1_long_list_after_a_refused_page(self):
        server = self.serve(layout=1, lang="fr", xnview=True, rules={"/plugins.php": "status-404"},
                            plugins=[(n, "Plugin %d." % i, "A / 1.%d / %d KB" % (i, i))
                                     for i, n in enumerate(LONG)])
        run = self.start("fr", server.address)
        self.assertEqual(run.cmd("@60000 message"), TEXTS["fr"]["error"] + "|" + TEXTS["fr"]["retry"])
        server.set_rules({})  # the server mends
        run.cmd("answer yes")
        self.analysed(run, "fr", sorted(LONG, key=str.lower))
        self.plugin_list(run, "fr", sorted(LONG, key=str.lower))
        self.assertEqual(run.cmd("rect 109"), "30 270 443 20")  # below the visible part: there
        log = self.quit(run, "Attention")
        self.assertEqual(server.targets(), [("/plugins.php", "status-404"), ("/plugins.php", "normal")])
        self.assertEqual(log[log.index("Retry ?") + 1:][:2], ["Yes", "Download file"])
        self.assertEqual(os.listdir(self.cwd), ["qvk.log"])  # no page kept without -tofile


if __name__ == "__main__":
    winelib.require_programs("qvk", "uidriver")
    unittest.main(verbosity=2)
