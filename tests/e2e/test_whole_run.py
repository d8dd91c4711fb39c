"""qvk.exe under Wine from the language dialog to "Installation finished.", against a loopback
plugin server; each walk checks the files it leaves in the prefix: the unpacked plugins, their
attributes, the editors' configuration files, the XnView libraries and no work folder."""

import glob
import os
import shutil
import time
import unittest
import zipfile

import winelib

EDITIONS = {"Quorvane": ("Quorvane.exe", 19), "Quorvane Studio": ("qv-studio.exe", 20)}
NAMES = [p[0] for p in winelib.catalogue_site.DEFAULT_PLUGINS]
QUESTION = "Question|Do you want to update %s configuration in order to use plugins?"
DATE = (2008, 8, 15, 12, 30, 10)


def unpacked(names, *extra):
    """The files catalogue_site puts in these plugins' archives, as found below Plugins."""
    safe = ["".join(c for c in n if c.isascii() and c.isalnum()) for n in names]
    return sorted([s + ".8bf" for s in safe] + [s + "/readme.txt" for s in safe] + list(extra))


def tree(folder):
    return sorted(os.path.relpath(os.path.join(d, f), folder)
                  for d, _, files in os.walk(folder) for f in files)


class WholeRun(unittest.TestCase):
    def setUp(self):
        self.art = winelib.fresh_dir(os.path.join(winelib.artifacts_dir(), self._testMethodName))
        self.wine = winelib.Wine()
        for edition, (exe, _) in EDITIONS.items():  # every walk starts with bare editor folders
            open(os.path.join(winelib.fresh_dir(self.folder(edition)), exe), "wb").close()
        for dll in glob.glob(self.wine.path("C:\\windows\\*\\XnViewDLL*")):
            shutil.rmtree(dll) if os.path.isdir(dll) else os.remove(dll)

    def folder(self, edition, *rest):
        return os.path.join(self.wine.path("C:\\Program Files\\" + edition), *rest)

    def install(self, server, editions):
        """Every plugin ticked, these editions chosen, "Install >". No -debug: its console would
        wait for a key at the end."""
        run = winelib.run_qvk(["-url=%s|/plugins.php" % server.address],
                              winelib.fresh_dir(os.path.join(self.art, "cwd")), "en_US", 240,
                              self.wine, self.art)
        self.addCleanup(run.stop)
        run.cmds("@30000 window Language", "click 1", "@30000 window Installation", "click 10",
                 "waitvisible 11 1", "click 10", "@60000 waittext 31 End of analysis.",
                 "click 10", "waittext 31 Please select", "click 10", "waittext 31 Indicate in which",
                 *["check %d %d" % (box, e in editions) for e, (_, box) in EDITIONS.items()],
                 "click 10")
        return run

    def finish(self, run, answers):
        """The configuration questions answered, the last box: the total bar's end, exit 0, no
        work folder left."""
        for edition, answer in answers:
            self.assertEqual(run.cmd("@120000 message"), QUESTION % edition)
            run.cmd("answer " + answer)
        self.assertEqual(run.cmd("@120000 message"), "Information|Installation finished.")
        run.screenshot("finished")
        total = int(run.cmd("state 15"))
        run.cmd("answer ok")
        self.assertEqual(run.wait(60), 0)
        self.assertEqual(glob.glob(os.path.join(self.wine.prefix, "drive_c", "users", "**", "qvk"),
                                   recursive=True), [])
        return total

    def test_both_editions_a_slow_archive_and_the_configuration_files(self):
        server = winelib.serve_site(os.path.join(self.art, "site"),
                                    rules={"/files/sharpenpro.zip": "split-body"})
        with zipfile.ZipFile(os.path.join(server.root, "files", "sharpenpro.zip"), "a") as z:
            z.writestr("SharpenPro/data.bin", os.urandom(150000))  # 256 bytes per 5 ms: ~3 s
        with zipfile.ZipFile(os.path.join(server.root, "files", "blurglow.zip"), "w") as z:
            z.writestr("BlurGlow.8bf", b"plugin Blur & Glow\n" * 200, zipfile.ZIP_DEFLATED)
            readme = zipfile.ZipInfo("BlurGlow/readme.txt", date_time=DATE)
            readme.create_system, readme.external_attr = 0, 0x01  # DOS, read-only
            z.writestr(readme, b"Read me for Blur & Glow\r\n", zipfile.ZIP_DEFLATED)
        ini = {"Quorvane": b"[View]\nZoom=2\n\n [plugins]\npluginsbar=0",
               "Quorvane Studio": b"[Plugins]\r\nPluginsBar=0\r\n"}
        for edition, text in ini.items():
            with open(self.folder(edition, "Quorvane.ini"), "wb") as f:
                f.write(text)
        run = self.install(server, EDITIONS)
        run.cmd("@60000 waittext 31 Downloading: sharpenpro.zip (")
        want = {"state 15": "80", "enabled 10": "0", "visible 14": "1", "text 32": "Total progress"}
        self.assertEqual(run.check(want), want)  # four of five fetched
        run.screenshot("downloading")
        self.assertEqual(self.finish(run, [("Quorvane", "yes"), ("Quorvane Studio", "no")]), 200)
        ini["Quorvane"] = b"[View]\r\nZoom = 2\r\n[plugins]\r\nPluginsBar = 1\r\nLoadPlugins = 1\r\n"
        for edition, (exe, _) in EDITIONS.items():
            self.assertEqual(tree(self.folder(edition)), sorted(
                [exe, "Quorvane.ini"] + ["Plugins/" + f for f in unpacked(NAMES, "SharpenPro/data.bin")]))
            with open(self.folder(edition, "Quorvane.ini"), "rb") as f:
                self.assertEqual(f.read(), ini[edition])
            readme = self.folder(edition, "Plugins", "BlurGlow", "readme.txt")
            self.assertEqual(os.stat(readme).st_mode & 0o222, 0, "the read-only attribute was lost")
            self.assertEqual(os.stat(readme).st_mtime, time.mktime(DATE + (0, 0, -1)))
        with open(self.folder("Quorvane", "Plugins", "BlurGlow.8bf"), "rb") as f:
            self.assertEqual(f.read(), b"plugin Blur & Glow\n" * 200)

    def test_one_edition_the_xnview_libraries_and_downloads_that_fail(self):
        server = winelib.serve_site(os.path.join(self.art, "site"), xnview=True, rules={
            "/files/agedphoto.zip": "status-404", "/files/blurglow.zip": "status-404"})
        with open(os.path.join(server.root, "files", "cafcolours.zip"), "wb") as f:
            f.write(b"<html>Not a ZIP archive</html>")
        run = self.install(server, ["Quorvane Studio"])
        retry = "Warning|Failed to download file %s ! Do you want to retry?"
        self.assertEqual(run.cmd("@60000 message"), retry % "aged Photo")
        run.cmd("answer no")
        self.assertEqual(run.cmd("@60000 message"), retry % "Blur & Glow")
        server.set_rules({})  # the server is back
        run.cmd("answer yes")
        self.assertEqual(run.cmd("@60000 message"), "Error|Unable to read cafcolours.zip !")
        run.cmd("answer ok")
        self.assertEqual(self.finish(run, [("Quorvane Studio", "no")]), 180)  # 4 of 5 fetched opened
        self.assertEqual(tree(self.folder("Quorvane Studio", "Plugins")),
                         unpacked(["Blur & Glow", "Importation XnView", "Sharpen Pro"]))
        self.assertEqual(tree(self.folder("Quorvane")), ["Quorvane.exe"])
        dlls = glob.glob(self.wine.path("C:\\windows\\*\\XnViewDLL.8bf"))
        self.assertEqual(len(dlls), 1, dlls)
        self.assertTrue(os.path.isfile(os.path.join(os.path.dirname(dlls[0]), "XnViewDLL", "readme.txt")))


if __name__ == "__main__":
    winelib.require_programs("qvk", "uidriver")
    unittest.main(verbosity=2)
