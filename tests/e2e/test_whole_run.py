"""qvk.exe under Wine from the folder page to "Installation finished.", against a loopback plugin
server; each walk checks the files it leaves in the Wine prefix."""

import glob
import json
import os
import shutil
import sys
import time
import unittest
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [HERE, os.path.join(os.path.dirname(os.path.dirname(HERE)), "tools")]
import catalogue_site  # noqa: E402
import winelib  # noqa: E402

NEXT, FILE_BAR, TOTAL_BAR, HEADING, TOTAL_LABEL = 10, 14, 15, 31, 32
EDITIONS = {"Quorvane": ("Quorvane.exe", 19), "Quorvane Studio": ("qv-studio.exe", 20)}
NAMES = [p[0] for p in catalogue_site.DEFAULT_PLUGINS]


def unpacked(names, *extra):
    """The files catalogue_site puts in these plugins' archives, as found below Plugins."""
    safe = ["".join(c for c in n if c.isascii() and c.isalnum()) for n in names]
    return sorted([s + ".8bf" for s in safe] + [os.path.join(s, "readme.txt") for s in safe]
                  + list(extra))


def tree(folder):
    return sorted(os.path.relpath(os.path.join(d, f), folder)
                  for d, _, files in os.walk(folder) for f in files)


class WholeRun(unittest.TestCase):
    def setUp(self):
        self.art = winelib.fresh_dir(os.path.join(winelib.artifacts_dir("test_whole_run"),
                                                  self._testMethodName[5:]))
        self.drive = os.path.join(winelib.Wine().prefix, "drive_c")
        self.root, self.rules = os.path.join(self.art, "site"), os.path.join(self.art, "rules.json")
        for edition, (exe, _) in EDITIONS.items():  # every walk starts with bare editor folders
            open(os.path.join(winelib.fresh_dir(self.folder(edition)), exe), "wb").close()
        for dll in glob.glob(os.path.join(self.drive, "windows", "*", "XnViewDLL*")):
            shutil.rmtree(dll) if os.path.isdir(dll) else os.remove(dll)

    def folder(self, edition, *rest):
        return os.path.join(self.drive, "Program Files", edition, *rest)

    def set_rules(self, rules):
        with open(self.rules + ".new", "w") as f:
            json.dump(rules, f)
        os.replace(self.rules + ".new", self.rules)  # the server reads it at every request

    def serve(self, rules, xnview=False, attempt=0):
        n = os.getpid() + attempt * 7919  # an address of this run's own: others test here too
        self.host = "127.%d.%d.%d" % (192 + (n >> 16 & 63), n >> 8 & 255, 1 + (n & 255) % 254)
        catalogue_site.build_site(self.root, self.host, xnview=xnview)
        self.set_rules(rules)
        try:
            self.addCleanup(winelib.PluginServer(self.root, self.host, rules=self.rules).stop)
        except winelib.WineError:
            if attempt == 4:
                raise
            self.serve(rules, xnview, attempt + 1)

    def install(self, editions):
        """Every plugin ticked, these editions chosen, "Install >". No -debug: its console would
        wait for a key at the end."""
        run = winelib.run_qvk(["-url=%s|/plugins.php" % self.host],
                              winelib.fresh_dir(os.path.join(self.art, "cwd")), timeout=240,
                              artifacts=self.art)
        self.addCleanup(run.stop)
        for line in ["@30000 window Language", "click 1", "@30000 window Installation"] + [
                c for wait in ("waitvisible 11 1", "@60000 waittext 31 End of analysis.",
                               "waittext 31 Please select", "waittext 31 Indicate in which")
                for c in ("click %d" % NEXT, wait)] + [
                "check %d %d" % (box, e in editions) for e, (_, box) in EDITIONS.items()] + [
                "click %d" % NEXT]:
            run.cmd(line)
        return run

    def finish(self, run, editions, shot=None):
        """No configuration update, the last box, exit 0, no work folder; the total bar's end."""
        for edition in editions:
            self.assertEqual(run.cmd("@120000 message"), "Question|Do you want to update %s "
                             "configuration in order to use plugins?" % edition)
            run.cmd("answer no")
        self.assertEqual(run.cmd("@120000 message"), "Information|Installation finished.")
        if shot:
            run.screenshot(shot)
        total = int(run.cmd("state %d" % TOTAL_BAR))
        run.cmd("answer ok")
        self.assertEqual(run.wait(60), 0)
        self.assertEqual(glob.glob(os.path.join(self.drive, "users", "**", "qvk"), recursive=True),
                         [])
        return total

    def test_both_editions_while_one_archive_comes_in_slowly(self):
        self.serve({"/files/sharpenpro.zip": "split-body"})
        with zipfile.ZipFile(os.path.join(self.root, "files", "sharpenpro.zip"), "a") as z:
            z.writestr("SharpenPro/data.bin", os.urandom(150000))  # 256 bytes per 5 ms: ~3 s
        run = self.install(EDITIONS)
        run.cmd("@60000 waittext %d Downloading: sharpenpro.zip (" % HEADING)
        self.assertEqual([run.cmd(q % c) for q, c in [("state %d", TOTAL_BAR), ("enabled %d", NEXT),
                          ("visible %d", FILE_BAR), ("text %d", TOTAL_LABEL)]],
                         ["80", "0", "1", "Total progress"])  # four of five fetched
        for _ in range(200):  # a fifth of the slow archive in, for the picture
            if int(run.cmd("state %d" % FILE_BAR)) >= 20:
                break
            time.sleep(0.02)
        run.screenshot("install-downloading")
        self.assertIn("Downloading: sharpenpro.zip (", run.cmd("text %d" % HEADING))
        self.assertEqual(self.finish(run, EDITIONS, "install-finished"), 200)
        for edition in EDITIONS:
            self.assertEqual(tree(self.folder(edition, "Plugins")),
                             unpacked(NAMES, os.path.join("SharpenPro", "data.bin")))

    def test_one_edition_with_the_xnview_dlls(self):
        self.serve({}, xnview=True)
        self.assertEqual(self.finish(self.install(["Quorvane Studio"]), ["Quorvane Studio"]), 200)
        self.assertEqual(tree(self.folder("Quorvane Studio", "Plugins")), unpacked(NAMES))
        self.assertEqual(tree(self.folder("Quorvane")), ["Quorvane.exe"])
        dlls = glob.glob(os.path.join(self.drive, "windows", "*", "XnViewDLL.8bf"))
        self.assertEqual(len(dlls), 1, dlls)
        self.assertTrue(os.path.isfile(os.path.join(os.path.dirname(dlls[0]), "XnViewDLL",
                                                    "readme.txt")))

    def test_refused_downloads_and_an_archive_that_is_no_zip(self):
        self.serve({"/files/agedphoto.zip": "status-404", "/files/blurglow.zip": "status-404"})
        with open(os.path.join(self.root, "files", "cafcolours.zip"), "wb") as f:
            f.write(b"<html>Not a ZIP archive</html>")
        run = self.install(["Quorvane"])
        retry = "Warning|Failed to download file %s ! Do you want to retry?"
        self.assertEqual(run.cmd("@60000 message"), retry % "aged Photo")
        run.cmd("answer no")
        self.assertEqual(run.cmd("@60000 message"), retry % "Blur & Glow")
        self.set_rules({})  # the server is back
        run.cmd("answer yes")
        self.assertEqual(run.cmd("@60000 message"), "Error|Unable to read cafcolours.zip !")
        run.cmd("answer ok")
        self.assertEqual(self.finish(run, ["Quorvane"]), 175)  # three of four fetched opened
        self.assertEqual(tree(self.folder("Quorvane", "Plugins")),
                         unpacked(["Blur & Glow", "Importation XnView", "Sharpen Pro"]))
        self.assertEqual(tree(self.folder("Quorvane Studio")), ["qv-studio.exe"])


if __name__ == "__main__":
    winelib.require_programs("qvk", "uidriver")
    unittest.main()
