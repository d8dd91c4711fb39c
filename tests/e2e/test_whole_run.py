"""The install page of qvk.exe under Wine, from the folder page to "Installation finished.",
against a loopback plugin server: both editions in different folders while one archive comes in
slowly (screenshots during the download and at the end), one edition with the XnView import and
its DLL archive, and the failures a user can meet (404 answered No, 404 answered Yes, an archive
that is no ZIP). Every walk checks the files on disk in the Wine prefix."""

import glob
import json
import os
import shutil
import sys
import unittest
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [HERE, os.path.join(os.path.dirname(os.path.dirname(HERE)), "tools")]
import catalogue_site  # noqa: E402
import winelib  # noqa: E402

NEXT, FILE_BAR, TOTAL_BAR, HEADING, TOTAL_LABEL, QVCHECK, QVSCHECK = 10, 14, 15, 31, 32, 19, 20
EDITIONS = {"Quorvane": "Quorvane.exe", "Quorvane Studio": "qv-studio.exe"}
NAMES = [p[0] for p in catalogue_site.DEFAULT_PLUGINS]


def entries(name):
    """The files catalogue_site puts in a plugin's archive, relative to the Plugins folder."""
    safe = "".join(c for c in name if c.isascii() and c.isalnum())
    return [safe + ".8bf", os.path.join(safe, "readme.txt")]


class Install(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.wine = winelib.Wine()
        cls.drive = os.path.join(cls.wine.prefix, "drive_c")

    def setUp(self):
        self.art = winelib.fresh_dir(os.path.join(winelib.artifacts_dir("test_whole_run"),
                                                  self._testMethodName[5:]))
        self.root = os.path.join(self.art, "site")
        self.rules = os.path.join(self.art, "rules.json")
        self.editions = {}
        for edition, exe in EDITIONS.items():  # each walk starts with bare editor folders
            folder = winelib.fresh_dir(os.path.join(self.drive, "Program Files", edition))
            open(os.path.join(folder, exe), "wb").close()
            self.editions[edition] = folder
        for dll in glob.glob(os.path.join(self.drive, "windows", "*", "XnViewDLL*")):
            shutil.rmtree(dll) if os.path.isdir(dll) else os.remove(dll)

    def serve(self, rules, xnview=False):
        why = None
        for attempt in range(5):  # an address of this run's own: others test here at the same time
            n = os.getpid() + attempt * 7919
            self.host = "127.%d.%d.%d" % (192 + (n >> 16 & 63), n >> 8 & 255, 1 + (n & 255) % 254)
            catalogue_site.build_site(self.root, self.host, xnview=xnview)
            self.set_rules(rules)
            try:
                server = winelib.PluginServer(self.root, self.host, rules=self.rules, lifetime=300)
                self.addCleanup(server.stop)
                return
            except winelib.WineError as error:
                why = error
        raise why

    def set_rules(self, rules):
        with open(self.rules + ".new", "w") as f:
            json.dump(rules, f)
        os.replace(self.rules + ".new", self.rules)

    def to_folders(self, ticks):
        """Language, welcome, notes, catalogue, every plugin ticked; on the folder page, ticks
        the editions given and presses "Install >"."""
        cwd = winelib.fresh_dir(os.path.join(self.art, "cwd"))
        # Without -debug: the debug console would wait for a key before the program ends.
        run = winelib.run_qvk(["-url=%s|/plugins.php" % self.host], cwd, timeout=240,
                              artifacts=self.art)
        self.addCleanup(run.stop)
        run.cmd("window Language", timeout_ms=winelib.START_MS)
        run.cmd("click 1")
        run.cmd("window Installation", timeout_ms=winelib.START_MS)
        for wait in ("waitvisible 11 1", "@60000 waittext 31 End of analysis.",
                     "waittext 31 Please select plugins", "waittext 31 Indicate in which"):
            run.cmd("click %d" % NEXT)
            run.cmd(wait)
        run.cmd("check %d %d" % (QVCHECK, "Quorvane" in ticks))
        run.cmd("check %d %d" % (QVSCHECK, "Quorvane Studio" in ticks))
        run.cmd("click %d" % NEXT)
        return run

    def finish(self, run, editions, shot=None):
        """The questions of the end: no configuration update, then "Installation finished."."""
        for edition in editions:
            self.assertEqual(run.cmd("@120000 message"), "Question|Do you want to update %s "
                             "configuration in order to use plugins?" % edition)
            run.cmd("answer no")
        self.assertEqual(run.cmd("@120000 message"), "Information|Installation finished.")
        if shot:
            run.screenshot(shot)
        total = run.cmd("state %d" % TOTAL_BAR)
        run.cmd("answer ok")
        self.assertEqual(run.wait(60), 0)
        self.assertEqual(glob.glob(os.path.join(self.drive, "users", "*", "**", "qvk"),
                                   recursive=True), [], "the work folder outlived the run")
        return int(total)

    def assert_installed(self, folder, names, installed=True):
        for name in names:
            for entry in entries(name):
                self.assertEqual(os.path.isfile(os.path.join(folder, entry)), installed,
                                 os.path.join(folder, entry))

    def test_both_editions_while_one_archive_comes_in_slowly(self):
        self.serve({"/files/sharpenpro.zip": "split-body"})
        # A larger archive, sent in 256-byte writes 5 ms apart: about three seconds.
        with zipfile.ZipFile(os.path.join(self.root, "files", "sharpenpro.zip"), "a") as z:
            z.writestr("SharpenPro/data.bin", os.urandom(150000))
        run = self.to_folders(EDITIONS)
        run.cmd("@60000 waittext %d Downloading: sharpenpro.zip (" % HEADING)
        self.assertEqual(run.cmd("text %d" % TOTAL_LABEL), "Total progress")
        self.assertEqual(run.cmd("state %d" % TOTAL_BAR), "80")  # four of five fetched
        self.assertEqual(run.cmd("enabled %d" % NEXT), "0")
        self.assertEqual([run.cmd("visible %d" % c) for c in (FILE_BAR, TOTAL_BAR)], ["1", "1"])
        run.screenshot("install-downloading")
        self.assertLess(int(run.cmd("state %d" % FILE_BAR)), 100)
        total = self.finish(run, EDITIONS, "install-finished")
        self.assertEqual(total, 200)
        for folder in self.editions.values():
            self.assert_installed(os.path.join(folder, "Plugins"), NAMES)
            self.assertTrue(os.path.isfile(os.path.join(folder, "Plugins", "SharpenPro", "data.bin")))

    def test_one_edition_with_the_xnview_dlls(self):
        self.serve({}, xnview=True)
        run = self.to_folders(["Quorvane Studio"])
        total = self.finish(run, ["Quorvane Studio"])
        self.assertEqual(total, 200)
        plugins = os.path.join(self.editions["Quorvane Studio"], "Plugins")
        self.assert_installed(plugins, NAMES)
        self.assert_installed(plugins, ["XnView DLL"], installed=False)
        self.assertEqual(os.listdir(self.editions["Quorvane"]), ["Quorvane.exe"])
        system = [os.path.dirname(p) for p in
                  glob.glob(os.path.join(self.drive, "windows", "*", "XnViewDLL.8bf"))]
        self.assertEqual(len(system), 1, system)
        self.assert_installed(system[0], ["XnView DLL"])

    def test_refused_downloads_and_an_archive_that_is_no_zip(self):
        self.serve({"/files/agedphoto.zip": "status-404", "/files/blurglow.zip": "status-404"})
        with open(os.path.join(self.root, "files", "cafcolours.zip"), "wb") as f:
            f.write(b"<html>Not a ZIP archive</html>")
        run = self.to_folders(["Quorvane"])
        retry = "Warning|Failed to download file %s ! Do you want to retry?"
        self.assertEqual(run.cmd("@60000 message"), retry % "aged Photo")
        run.cmd("answer no")
        self.assertEqual(run.cmd("@60000 message"), retry % "Blur & Glow")
        self.set_rules({})  # the server is back
        run.cmd("answer yes")
        self.assertEqual(run.cmd("@60000 message"), "Error|Unable to read cafcolours.zip !")
        run.cmd("answer ok")
        total = self.finish(run, ["Quorvane"])
        self.assertEqual(total, 175)  # three of the four fetched archives opened
        plugins = os.path.join(self.editions["Quorvane"], "Plugins")
        self.assert_installed(plugins, ["Blur & Glow", "Importation XnView", "Sharpen Pro"])
        self.assert_installed(plugins, ["aged Photo", "Caf\u00e9 Colours"], installed=False)
        self.assertFalse(os.path.exists(os.path.join(self.editions["Quorvane Studio"], "Plugins")))


if __name__ == "__main__":
    winelib.require_programs("qvk", "uidriver")
    unittest.main()
