"""qvk.exe -silent under Wine: one run per situation an administrator meets, each checked on the
console output, the exit code, the files in the Wine prefix and the requests the server saw."""

import os
import subprocess
import unittest
import zipfile

import winelib
from winelib import CONFIGURED, INI, QV, QVS, catalogue_site

NAMES = sorted((p[0] for p in catalogue_site.DEFAULT_PLUGINS), key=str.lower)


class Silent(unittest.TestCase):
    def setUp(self):
        winelib.start_unattended_case(self, "test_silent")

    def serve(self, editions, rules=None, xnview=False, registered=True):
        self.server = winelib.serve_site(os.path.join(self.art, "site"), rules=rules, xnview=xnview)
        self.addCleanup(self.server.stop)
        self.enterContext(winelib.installed_editions(self.wine, editions, INI, registered))

    def silent(self, *args, locale=None, log="qvk.log"):
        """Runs qvk.exe -silent -debug against the server; (exit code, output, the log)."""
        url = "-url=%s|/plugins.php" % self.server.address
        code, out, cwd = winelib.run_in_case(self, ["-silent", "-debug", url] + list(args),
                                             locale=locale)
        self.assertEqual(winelib.work_folders(self.wine), [])
        if log != "qvk.log":  # none written, or one outside it
            self.assertEqual(os.listdir(cwd), [])
        return code, out, "\r\n".join(winelib.read_log(cwd, log) + [""]) if log else ""

    def assert_edition(self, edition, names, ini):
        """The files of these plugins below its Plugins folder, its Quorvane.ini."""
        self.assertEqual(catalogue_site.tree(winelib.editor_folder(self.wine, edition, "Plugins")),
                         catalogue_site.installed_files(names))
        with open(winelib.editor_folder(self.wine, edition, "Quorvane.ini"), newline="") as f:
            self.assertEqual(f.read(), ini)

    def fetched(self):
        return [r["path"] for r in self.server.requests()]

    def test_every_plugin_into_both_registered_editions_in_the_locales_language(self):
        self.serve(winelib.EDITIONS, xnview=True)
        code, out, log = self.silent(locale="de_DE")
        self.assertEqual(code, 0, out)
        self.assertTrue(out.startswith("QVK 1.5.0.0, unattended installation (Deutsch)\r\n"), out)
        for edition in winelib.EDITIONS:
            self.assert_edition(edition, NAMES, CONFIGURED)
        self.assertEqual(len(winelib.xnview_files(self.wine)), 1)
        self.assertRegex(out, r"  Installed into C:\\windows\\system32\\?: XnViewDll.zip\r\n")
        self.assertTrue(log.endswith("It's finished... Bye !\r\n" + out[out.index("Summary:"):]))

    def test_nothing_installed_for_an_unknown_name_or_no_server(self):
        self.serve(["Quorvane"])
        for args, code, why, requests in [
                (["-plugins=Sharpen Pro;Nope"], 4, "Not in the catalogue: Nope", ["/plugins.php"]),
                ([], 2, "Failed to download file ! Do you want to retry? -> No", [])]:
            if code == 2:  # the server down
                self.server.stop()
            before = len(self.fetched())
            got, out, _ = self.silent(*args)
            self.assertEqual(got, code, out)
            self.assertIn("%s\r\nSummary:\r\n  Nothing installed\r\n  Log: qvk.log\r\n"
                          "Exit code: %d (" % (why, code), out)
            self.assertEqual(self.fetched()[before:], requests)
            self.assert_edition("Quorvane", [], INI)

    def test_a_named_log_one_that_cannot_be_made_and_the_help(self):
        self.serve(["Quorvane"])
        code, out, log = self.silent("-plugins=Sharpen Pro", "-log=..\\qvk run.log",
                                     log="../qvk run.log")  # from the current folder
        self.assertEqual(code, 0, out)
        self.assertIn("\r\n  Log: ..\\qvk run.log\r\n", out)
        self.assertTrue(log.startswith("Debug mode launched\r\n"))
        self.assertEqual(self.fetched(), ["/plugins.php", "/files/sharpenpro.zip"])
        code, out, _ = self.silent("-log=no such\\qvk.log", log=None)
        self.assertEqual(code, 4, out)
        self.assertIn('Cannot create the log file "no such\\qvk.log" (3: ', out)
        code, out, _ = self.silent("-help", log=None)
        self.assertEqual(code, 0, out)
        self.assertTrue(out.startswith("QVK 1.5.0.0, the Quorvane Plugins Pack installer\r\n"), out)
        self.assertEqual(len(self.fetched()), 2)  # neither run asked the server anything

    def test_one_archive_missing(self):
        self.serve(["Quorvane"], {"/files/agedphoto.zip": "status-404"})
        # A folder where one plugin file goes: the archive reads well, that file has no place,
        # and none of that plugin's files is installed. It asks nothing, yet it fails the run.
        os.makedirs(winelib.editor_folder(self.wine, "Quorvane", "Plugins", "SharpenPro.8bf", "x"))
        code, out, _ = self.silent()
        self.assertEqual(code, 1, out)
        self.assertEqual(self.fetched().count("/files/agedphoto.zip"), 2)
        self.assert_edition("Quorvane", NAMES[1:4], CONFIGURED)
        self.assertIn("  Failed: aged Photo (download failed); Sharpen Pro (not every file of "
                      "sharpenpro.zip could be installed: SharpenPro.8bf: could not be written, a "
                      "folder has that name)\r\n", out)

    def test_archives_as_the_real_tools_make_them(self):
        """Info-ZIP, bsdtar ("./" names), 7-Zip, Python ("Folder/./"): names past the ANSI page."""
        tools = {"infozip": ["zip", "-qr"], "bsdtar": ["bsdtar", "--format", "zip", "-cf"],
                 "sevenzip": ["7z", "a", "-bd", "-bso0"], "python": None}
        expected = []

        def build(root, address):
            os.makedirs(os.path.join(root, "files"))
            entries = []
            for tool, command in tools.items():
                path = os.path.join(root, "files", tool + ".zip")
                source = winelib.fresh_dir(os.path.join(self.art, "src", tool))
                files = {tool + ".8bf": tool, tool + "/readme.txt": "read me",
                         "\u5199\u771f/" + tool + ".txt": "cjk"}
                for rel, text in files.items():
                    os.makedirs(os.path.dirname(os.path.join(source, rel)), exist_ok=True)
                    with open(os.path.join(source, rel), "w") as f:
                        f.write(text)
                if command:
                    subprocess.run(command + [path, "."], cwd=source, check=True)
                else:
                    with zipfile.ZipFile(path, "w") as z:
                        for rel, text in files.items():
                            z.writestr(rel.replace("/", "/./", 1), text)
                expected.extend(files)
                entries.append((tool, "http://%s/files/%s.zip" % (address, tool), tool,
                                "A / 1 / 1 KB"))
            with open(os.path.join(root, "plugins.php"), "wb") as f:
                f.write(catalogue_site.catalogue_page(entries).encode("cp1252"))

        self.server = winelib.own_plugin_server(os.path.join(self.art, "site"), build)
        self.addCleanup(self.server.stop)
        self.enterContext(winelib.installed_editions(self.wine, winelib.EDITIONS, INI))
        code, out, _ = self.silent()
        self.assertEqual(code, 0, out)
        for edition in winelib.EDITIONS:
            plugins = winelib.editor_folder(self.wine, edition, "Plugins")
            self.assertEqual(catalogue_site.tree(plugins), sorted(expected))

    def test_folders_given_without_registry_entries_and_named_plugins_only(self):
        self.serve(winelib.EDITIONS, registered=False, xnview=True)
        code, out, _ = self.silent()
        self.assertEqual(code, 3, out)
        self.assertEqual(self.fetched(), ["/plugins.php"])
        os.remove(winelib.editor_folder(self.wine, "Quorvane Studio", "qv-studio.exe"))
        code, out, _ = self.silent("-qvdir=" + QV[:-1], "-qvsdir=" + QVS, "-noconfig",
                                   "-plugins=blur & GLOW; importation xnview;CAF\u00c9 colours")
        self.assertEqual(code, 0, out)  # the Studio folder given, so taken as it is
        for edition in winelib.EDITIONS:
            self.assert_edition(edition, ["Blur & Glow", "Caf\u00e9 Colours",
                                          "Importation XnView"], INI)
        self.assertEqual(len(winelib.xnview_files(self.wine)), 1)
        # The archives come over several connections at once: the set is the test's.
        self.assertEqual(sorted(self.fetched()[1:]), sorted(["/plugins.php"] + ["/files/%s.zip" % f
            for f in ("blurglow", "cafcolours", "importationxnview", "XnViewDll")]))


if __name__ == "__main__":
    winelib.require_programs("qvk", "uidriver")
    unittest.main()
