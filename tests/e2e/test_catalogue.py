"""qvk.exe's plugin check list under Wine: longer than its area, "(Un)Check all", read back."""

import os
import unittest

import winelib

DONE, FOUND, SELECT = "End of analysis.", " plugins found: ", "Please select plugins to install:"
# More than the area shows, in no order and of mixed case; a single "&" would be a mnemonic.
LONG = ["zebra Stripes", "Mosaic", "emboss", "Bloom & Glow", "Importation XnView", "ripple",
        "Aquarelle", "noise", "Crayon", "halftone"]


class CatalogueCase(unittest.TestCase):
    def setUp(self):
        self.art = winelib.fresh_dir(os.path.join(winelib.artifacts_dir(), self._testMethodName))
        self.cwd = winelib.fresh_dir(os.path.join(self.art, "cwd"))

    def serve(self, **site):
        server = winelib.serve_site(os.path.join(self.art, "site"), **site)
        self.addCleanup(server.stop)
        return server

    def start(self, address, args=("-debug",), exe=None, catalogue=True):
        """Language OK, Next on the welcome page and, for the catalogue, on the notes page."""
        run = winelib.run_qvk(list(args) + ["-url=%s|/plugins.php" % address], self.cwd, "en_US",
                              timeout=180, artifacts=self.art, exe=exe)
        self.addCleanup(run.stop)
        run.cmds("@30000 window Language", "click 1", "@30000 window Installation",
                 "click 10", *(("waitvisible 11 1", "click 10") if catalogue else ()))
        return run

    def analysed(self, run, names):
        """The thread's end: heading, full bar, the count and the names, Next enabled."""
        run.cmds("@60000 waittext 31 " + DONE, "waitenabled 10 1")
        self.assertEqual([run.cmd("state 14"), run.cmd("text 16").rstrip().split("\r\n")],
                         ["102", ["%d%s" % (len(names), FOUND)] + names])

    def wait_states(self, run, wanted):
        """Clicks reach the program as posted messages, after queries: poll, bounded."""
        winelib.wait_until(lambda: [int(run.cmd("state %d" % (100 + i)))
                                    for i in range(len(wanted))] == wanted,
                           10, "the boxes to become %s" % wanted)

    def quit(self, run):
        run.cmd("click 9")
        self.assertEqual(run.cmd("message").split("|")[0], "Warning")
        run.cmd("answer yes")
        self.assertEqual(run.wait(30), 0)
        return winelib.read_log(self.cwd)


class Catalogue(CatalogueCase):
    def test_a_long_check_list(self):
        server = self.serve(layout=1, xnview=True, plugins=[
            (n, "Plugin %d." % i, "A / 1.%d / %d KB" % (i, i)) for i, n in enumerate(LONG)])
        run = self.start(server.address)
        names, n = sorted(LONG, key=str.lower), len(LONG)
        self.analysed(run, names)
        # Next: one ticked box per plugin in sorted order; the last below the visible part.
        run.cmds("click 10", "waittext 31 " + SELECT, "waitvisible %d 1" % (99 + n))
        self.wait_states(run, [1] * n)
        want = {"exists 16": "0", "visible 27": "1", "visible 14": "0", "rect 109": "30 270 443 20",
                "exists %d" % (100 + n): "0", "count 100 %d" % (110 + n): str(n)}
        want.update({"text %d" % (100 + i): t.replace("&", "&&") for i, t in enumerate(names)})
        self.assertEqual(run.check(want), want)
        for act, states in (("click 27", [0] * n), ("click 27", [1] * n), ("check 101 0", None),
                            ("check 103 0", [1, 0, 1, 0] + [1] * 6), ("click 27", [0] * n)):
            run.cmd(act)  # (Un)Check all turns all off, then all on, whatever was done by hand
            if states:
                self.wait_states(run, states)
        run.cmds("click 10", "message", "answer ok")  # none ticked: the page stays
        self.wait_states(run, [0] * n)
        ticked = [0, 1, 0, 1, 1, 0, 0, 0, 0, 1]
        run.cmds(*["check %d %d" % (100 + i, on) for i, on in enumerate(ticked)])
        self.wait_states(run, ticked)
        run.cmds("click 10", "waitvisible 19 1")  # the folder page
        want = {"count 100 110": "0", "exists 27": "0"}
        self.assertEqual(run.check(want), want)
        log = self.quit(run)
        self.assertEqual(server.targets(), [("/plugins.php", "normal")])
        last = len(log) - log[::-1].index("nbcheck=%d" % n)  # what leaving the list logs last
        self.assertEqual([line for line in log[last:] if line.startswith("Gadget (")],
                         ["Gadget (%d, %s) state : %d" % (100 + i, name, t)
                          for i, (name, t) in enumerate(zip(names, ticked))])
        self.assertEqual(os.listdir(self.cwd), ["qvk.log"])  # no page kept without -tofile


if __name__ == "__main__":
    winelib.require_programs("qvk", "uidriver")
    unittest.main(verbosity=2)
