"""qvk.exe under Wine to "Installation finished." against a loopback server, and what each walk
leaves: the plugins and their attributes, the editors' .ini files, XnView, no work folder."""

import os
import time
import unittest
import zipfile

import winelib
from winelib import CONFIGURED, INI, catalogue_site

BOXES = {"Quorvane": 19, "Quorvane Studio": 20}
NAMES = [p[0] for p in catalogue_site.DEFAULT_PLUGINS]
QUESTION = "Question|Do you want to update %s configuration in order to use plugins?"
RETRY = "Warning|Failed to download file %s ! Do you want to retry?"
DATE = (2008, 8, 15, 12, 30, 10)


class WholeRun(unittest.TestCase):
    def setUp(self):
        self.art = winelib.fresh_dir(os.path.join(winelib.artifacts_dir(), self._testMethodName))
        self.wine = winelib.Wine()
        for edition, (exe, _) in winelib.EDITIONS.items():  # every walk starts with bare folders
            open(os.path.join(winelib.fresh_dir(self.folder(edition)), exe), "wb").close()
        winelib.forget_xnview(self.wine)

    def folder(self, edition, *rest):
        return winelib.editor_folder(self.wine, edition, *rest)

    def install(self, server, editions):
        """All plugins, these editions, "Install >"; no -debug, whose console awaits a key."""
        run = winelib.run_qvk(["-url=%s|/plugins.php" % server.address],
                              winelib.fresh_dir(os.path.join(self.art, "cwd")), "en_US", 240,
                              self.wine, self.art)
        self.addCleanup(run.stop)
        run.cmds("@30000 window Language", "click 1", "@30000 window Installation", "click 10",
                 "waitvisible 11 1", "click 10", "@60000 waittext 31 End of analysis.",
                 "waitenabled 10 1", "click 10", "waittext 31 Please select", "click 10",
                 "waittext 31 Indicate in which",
                 *["check %d %d" % (box, e in editions) for e, box in BOXES.items()], "click 10")
        return run

    def finish(self, run, answers):
        """The boxes answered in order; the total bar at the last one, exit 0, no work folder."""
        for box, answer in answers + [("Information|Installation finished.", "ok")]:
            self.assertEqual(run.cmd("@120000 message"), box)
            total = int(run.cmd("state 15"))
            run.cmd("answer " + answer)
        self.assertEqual(run.wait(60), 0)
        self.assertEqual(winelib.work_folders(self.wine), [])
        return total

    def test_both_editions_a_slow_archive_and_the_configuration_files(self):
        server = winelib.serve_site(os.path.join(self.art, "site"),
                                    rules={"/files/sharpenpro.zip": "split-body"})
        with zipfile.ZipFile(os.path.join(server.root, "files", "sharpenpro.zip"), "a") as z:
            z.writestr("SharpenPro/data.bin", os.urandom(150000))  # 256 bytes per 5 ms: ~3 s
        with zipfile.ZipFile(os.path.join(server.root, "files", "blurglow.zip"), "w") as z:
            z.writestr("BlurGlow.8bf", b"plugin Blur & Glow\n")
            readme = zipfile.ZipInfo("BlurGlow/readme.txt", date_time=DATE)
            readme.create_system, readme.external_attr = 0, 0x01  # DOS, read-only
            z.writestr(readme, b"Read me for Blur & Glow\r\n", zipfile.ZIP_DEFLATED)
        for edition in BOXES:
            with open(self.folder(edition, "Quorvane.ini"), "w", newline="") as f:
                f.write(INI)
        run = self.install(server, BOXES)
        run.cmd("@60000 waittext 31 Downloading: sharpenpro.zip (")
        want = {"state 15": "80", "enabled 10": "0", "visible 14": "1", "text 32": "Total progress"}
        self.assertEqual(run.check(want), want)  # four of five fetched
        self.assertEqual(self.finish(run, [(QUESTION % "Quorvane", "yes"),
                                           (QUESTION % "Quorvane Studio", "no")]), 200)
        ini = {"Quorvane": CONFIGURED, "Quorvane Studio": INI}
        for edition, (exe, _) in winelib.EDITIONS.items():
            self.assertEqual(catalogue_site.tree(self.folder(edition)), sorted(
                [exe, "Quorvane.ini"] + ["Plugins/" + f for f in catalogue_site.installed_files(
                    NAMES, "SharpenPro/data.bin")]))
            with open(self.folder(edition, "Quorvane.ini"), newline="") as f:
                self.assertEqual(f.read(), ini[edition])
            readme = os.stat(self.folder(edition, "Plugins", "BlurGlow", "readme.txt"))
            self.assertEqual(readme.st_mode & 0o222, 0, "the read-only attribute was lost")
            self.assertEqual(readme.st_mtime, time.mktime(DATE + (0, 0, -1)))

    def test_one_edition_the_xnview_libraries_and_downloads_that_fail(self):
        server = winelib.serve_site(os.path.join(self.art, "site"), xnview=True, rules={
            "/files/agedphoto.zip": "status-404", "/files/blurglow.zip": "status-404"})
        with open(os.path.join(server.root, "files", "cafcolours.zip"), "wb") as f:
            f.write(b"<html>Not a ZIP archive</html>")
        run = self.install(server, ["Quorvane Studio"])
        self.assertEqual(run.cmd("@60000 message"), RETRY % "aged Photo")
        run.cmd("answer no")
        self.assertEqual(run.cmd("@60000 message"), RETRY % "Blur & Glow")
        server.set_rules({})  # the server is back
        run.cmd("answer yes")
        self.assertEqual(self.finish(run, [("Error|Unable to read cafcolours.zip !", "ok"),
                                           (QUESTION % "Quorvane Studio", "no")]), 180)
        self.assertEqual(catalogue_site.tree(self.folder("Quorvane Studio", "Plugins")),
                         catalogue_site.installed_files(
                             ["Blur & Glow", "Importation XnView", "Sharpen Pro"]))
        self.assertEqual(catalogue_site.tree(self.folder("Quorvane")), ["Quorvane.exe"])
        dlls = winelib.xnview_files(self.wine)
        self.assertEqual(len(dlls), 1, dlls)
        self.assertTrue(os.path.isfile(os.path.join(os.path.dirname(dlls[0]), "XnViewDLL",
                                                    "readme.txt")))


if __name__ == "__main__":
    winelib.require_programs("qvk", "uidriver")
    unittest.main(verbosity=2)
