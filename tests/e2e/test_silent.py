"""qvk.exe -silent under Wine: one run per situation an administrator meets, each checked on the
console output, the exit code, the files in the Wine prefix and the requests the server saw."""

import glob
import json
import os
import re
import shutil
import subprocess
import unittest

import catalogue_site
import winelib

HERE = os.path.dirname(os.path.abspath(__file__))

NAMES = sorted((p[0] for p in catalogue_site.DEFAULT_PLUGINS), key=str.lower)
INI = "[Plugins]\r\nLoadPlugins=0\r\n"
CONFIGURED = "[Plugins]\r\nLoadPlugins = 1\r\nPluginsBar = 1\r\n"
QV, QVS = "C:\\Program Files\\Quorvane\\", "C:\\Program Files\\Quorvane Studio\\"


class Silent(unittest.TestCase):
    def setUp(self):
        self.wine = winelib.Wine()
        self.art = winelib.fresh_dir(os.path.join(winelib.artifacts_dir("test_silent"),
                                                  self._testMethodName[5:]))
        self.drive = os.path.join(self.wine.prefix, "drive_c")
        for dll in glob.glob(os.path.join(self.drive, "windows", "*", "XnViewDLL*")):
            shutil.rmtree(dll) if os.path.isdir(dll) else os.remove(dll)
        for work in self.work_folders():  # left by a run that another test stopped midway
            shutil.rmtree(work)
        self.runs = 0

    def serve(self, rules=None, xnview=False):
        path = os.path.join(self.art, "rules.json")
        with open(path, "w") as f:
            json.dump(rules or {}, f)
        self.server = winelib.own_plugin_server(
            os.path.join(self.art, "site"), lambda root, address: catalogue_site.build_site(
                root, address, xnview=xnview), rules=path)
        self.addCleanup(self.server.stop)

    def editions(self, editions, registered=True):
        context = winelib.installed_editions(self.wine, editions, INI, registered)
        context.__enter__()
        self.addCleanup(context.__exit__, None, None, None)

    def silent(self, *args, locale=None):
        """Runs qvk.exe -silent -debug against the server; (exit code, output, qvk.log)."""
        self.runs += 1
        cwd = winelib.fresh_dir(os.path.join(self.art, "cwd%d" % self.runs))
        url = "-url=%s|/plugins.php" % self.server.address
        proc = self.wine.start(winelib.qvk_exe(), ["-silent", "-debug", url] + list(args), cwd=cwd,
                               locale=locale, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL)
        try:
            out = proc.communicate(timeout=90)[0].decode("cp1252")
        finally:
            winelib.stop_process(proc)
        with open(os.path.join(self.art, "output%d.txt" % self.runs), "w") as f:
            f.write(out)
        with open(os.path.join(cwd, "qvk.log"), "rb") as f:
            log = f.read().decode("cp1252")
        self.assertEqual(self.work_folders(), [])
        return proc.returncode, out, log

    def work_folders(self):
        return glob.glob(os.path.join(self.drive, "users", "**", "qvk"), recursive=True)

    def plugins(self, edition):
        return catalogue_site.tree(winelib.editor_folder(self.wine, edition, "Plugins"))

    def ini(self, edition):
        with open(winelib.editor_folder(self.wine, edition, "Quorvane.ini"), newline="") as f:
            return f.read()

    def fetched(self):
        return [r["path"] for r in self.server.requests()]

    def dlls(self):
        return glob.glob(os.path.join(self.drive, "windows", "*", "XnViewDLL.8bf"))

    def test_every_plugin_into_both_registered_editions_in_the_locales_language(self):
        self.serve(xnview=True)
        self.editions(winelib.EDITIONS)
        code, out, log = self.silent(locale="de_DE")
        self.assertEqual(code, 0, out)
        self.assertTrue(out.startswith("QVK 1.5.0.0, unattended installation (Deutsch)\r\n"), out)
        for edition, folder in (("Quorvane", QV), ("Quorvane Studio", QVS)):
            self.assertIn("Wollen Sie die Einstellungen von %s aktualisieren um die Plug-ins zu "
                          "benutzen? -> Yes\r\n" % edition, out)
            self.assertIn("  Installed into %sPlugins\\: %s\r\n" % (folder, ", ".join(NAMES)), out)
            self.assertIn("  %sQuorvane.ini: updated\r\n" % folder, out)
            self.assertEqual(self.plugins(edition), catalogue_site.installed_files(NAMES))
            self.assertEqual(self.ini(edition), CONFIGURED)
        shown = [int(p) for p in re.findall(r": (\d+)%\r\n", out)]
        self.assertEqual(shown, sorted(set(shown)))  # a line only when the value moves on
        self.assertEqual(shown[-1], 100)
        self.assertEqual(len(self.dlls()), 1)
        self.assertRegex(out, r"  Installed into C:\\windows\\system32\\?: XnViewDll.zip\r\n")
        self.assertTrue(out.endswith("  Log: qvk.log\r\nExit code: 0 (everything asked for is "
                                     "installed and configured)\r\n"), out)
        self.assertIn("Unattended answer: Yes", log)
        self.assertTrue(log.endswith("It's finished... Bye !\r\n" + out[out.index("Summary:"):]))

    def test_named_plugins_only_in_french_without_configuration(self):
        self.serve(xnview=True)
        self.editions(["Quorvane"])
        code, out, _ = self.silent("-plugins=blur & GLOW; importation xnview;CAF\u00c9 colours",
                                   "-lang=fr", "-noconfig")
        self.assertEqual(code, 0, out)
        self.assertIn("(Fran\u00e7ais)", out.splitlines()[0])
        self.assertIn("Voulez-vous mettre \u00e0 jour la configuration de Quorvane pour utiliser "
                      "les plugins ? -> No\r\n", out)
        self.assertEqual(self.plugins("Quorvane"), catalogue_site.installed_files(
            ["Blur & Glow", "Caf\u00e9 Colours", "Importation XnView"]))
        self.assertEqual(len(self.dlls()), 1)
        self.assertEqual(self.ini("Quorvane"), INI)
        self.assertEqual(self.fetched(), ["/plugins.php"] + ["/files/%s.zip" % f for f in (
            "blurglow", "cafcolours", "importationxnview", "XnViewDll")])

    def test_unknown_name_or_malformed_option_installs_nothing(self):
        self.serve()
        self.editions(["Quorvane"])
        for args, why, requests in [
                (["-plugins=Sharpen Pro;Nope"], "Not in the catalogue: Nope", ["/plugins.php"]),
                (["-lang=it"], "Malformed option -lang=it: use -lang=fr, -lang=en or -lang=de",
                 [])]:
            before = len(self.fetched())
            code, out, _ = self.silent(*args)
            self.assertEqual(code, 4, out)
            self.assertIn("\r\n%s\r\nSummary:\r\n  Nothing installed\r\n" % why, out)
            self.assertEqual(self.fetched()[before:], requests)
            self.assertEqual(self.plugins("Quorvane"), [])
            self.assertEqual(self.ini("Quorvane"), INI)

    def test_catalogue_server_down(self):
        self.serve()
        self.editions(["Quorvane"])
        self.server.stop()
        code, out, log = self.silent()
        self.assertEqual(code, 2, out)
        self.assertEqual(re.findall(r"Failed to download file ! Do you want to retry\? -> (\w+)",
                                    out), ["Yes", "No"])
        self.assertTrue(out.endswith("  Nothing installed\r\n  Log: qvk.log\r\n"
                                     "Exit code: 2 (the catalogue could not be read)\r\n"), out)
        self.assertEqual(self.plugins("Quorvane"), [])
        self.assertTrue(log.endswith("\r\nNo\r\n" + out[out.index("Summary:"):]))

    def test_one_archive_missing(self):
        self.serve({"/files/agedphoto.zip": "status-404"})
        self.editions(["Quorvane"])
        # A folder where one plugin file goes: the archive reads well, that file is not written.
        os.makedirs(winelib.editor_folder(self.wine, "Quorvane", "Plugins", "SharpenPro.8bf", "x"))
        code, out, _ = self.silent()
        self.assertEqual(code, 1, out)
        self.assertEqual(re.findall(r"file aged Photo ! Do you want to retry\? -> (\w+)", out),
                         ["Yes", "No"])
        self.assertEqual(self.fetched().count("/files/agedphoto.zip"), 2)
        installed = catalogue_site.installed_files(NAMES[1:])
        installed.remove("SharpenPro.8bf")
        self.assertEqual(self.plugins("Quorvane"), installed)
        self.assertEqual(self.ini("Quorvane"), CONFIGURED)
        self.assertIn("  Failed: Sharpen Pro (not every file of sharpenpro.zip could be written); "
                      "aged Photo (download failed)\r\n", out)
        self.assertIn("\r\nExit code: 1 (some plugins failed)\r\n", out)

    def test_folders_given_without_registry_entries(self):
        self.serve()
        self.editions(winelib.EDITIONS, registered=False)
        code, out, _ = self.silent()
        self.assertEqual(code, 3, out)
        self.assertIn("You must select at least one Quorvane version! -> OK\r\n", out)
        self.assertEqual(self.fetched(), ["/plugins.php"])
        os.remove(winelib.editor_folder(self.wine, "Quorvane Studio", "qv-studio.exe"))
        code, out, _ = self.silent("-qvdir=" + QV[:-1], "-qvsdir=" + QVS)
        self.assertEqual(code, 0, out)
        self.assertIn("Quorvane Studio hasn't been found in the specified directory. Do you want "
                      "to retype the directory? -> No\r\n", out)  # given, so taken as it is
        for edition in winelib.EDITIONS:
            self.assertEqual(self.plugins(edition), catalogue_site.installed_files(NAMES))
            self.assertEqual(self.ini(edition), CONFIGURED)


class OptionTable(unittest.TestCase):
    def test_readme_lists_every_option_the_program_reads(self):
        root = os.path.dirname(os.path.dirname(HERE))
        with open(os.path.join(root, "README.md"), encoding="utf-8") as f:
            rows = [line.split(" | ") for line in f if line.startswith("| `-")]
        known = set()
        for name in ("driver/options.cpp", "driver/silent.cpp", "win32/fault_triggers.cpp"):
            with open(os.path.join(root, "src", name)) as f:
                known |= set(re.findall(r'"(-[a-z]+)=?"', f.read()))
        self.assertEqual({o for row in rows for o in re.findall(r"`(-[a-z]+)", row[0])}, known)
        self.assertTrue(all(len(row) == 2 and len(row[1]) > 20 for row in rows), rows)


if __name__ == "__main__":
    winelib.require_programs("qvk", "uidriver")
    unittest.main()
