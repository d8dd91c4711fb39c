"""qvk.exe -silent under Wine: one run per situation an administrator meets, each checked on the
console output, the exit code, the files in the Wine prefix and the requests the server saw."""

import os
import re
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
        self.runs += 1
        cwd = winelib.fresh_dir(os.path.join(self.art, "cwd%d" % self.runs))
        url = "-url=%s|/plugins.php" % self.server.address
        code, out = winelib.run_unattended(self.wine, ["-silent", "-debug", url] + list(args), cwd,
                                           locale)
        with open(os.path.join(self.art, "output%d.txt" % self.runs), "w") as f:
            f.write(out)
        self.assertEqual(winelib.work_folders(self.wine), [])
        if log != "qvk.log":  # none written, or one outside it
            self.assertEqual(os.listdir(cwd), [])
        return code, out, "\r\n".join(winelib.read_log(cwd, log) + [""]) if log else ""

    def assert_edition(self, edition, names, ini, lost=None):
        """The files of these plugins (but `lost`) below its Plugins folder, its Quorvane.ini."""
        self.assertEqual(catalogue_site.tree(winelib.editor_folder(self.wine, edition, "Plugins")),
                         [f for f in catalogue_site.installed_files(names) if f != lost])
        with open(winelib.editor_folder(self.wine, edition, "Quorvane.ini"), newline="") as f:
            self.assertEqual(f.read(), ini)

    def fetched(self):
        return [r["path"] for r in self.server.requests()]

    def test_every_plugin_into_both_registered_editions_in_the_locales_language(self):
        self.serve(winelib.EDITIONS, xnview=True)
        code, out, log = self.silent(locale="de_DE")
        self.assertEqual(code, 0, out)
        self.assertTrue(out.startswith("QVK 1.5.0.0, unattended installation (Deutsch)\r\n"), out)
        for edition, folder in (("Quorvane", QV), ("Quorvane Studio", QVS)):
            self.assertIn("Wollen Sie die Einstellungen von %s aktualisieren um die Plug-ins zu "
                          "benutzen? -> Yes\r\n" % edition, out)
            self.assertIn("  Installed into %sPlugins\\: %s\r\n" % (folder, ", ".join(NAMES)), out)
            self.assertIn("  %sQuorvane.ini: updated\r\n" % folder, out)
            self.assert_edition(edition, NAMES, CONFIGURED)
        self.assertEqual(len(winelib.xnview_files(self.wine)), 1)
        self.assertRegex(out, r"  Installed into C:\\windows\\system32\\?: XnViewDll.zip\r\n")
        self.assertTrue(out.endswith("  Log: qvk.log\r\nExit code: 0 (everything asked for is "
                                     "installed and configured)\r\n"), out)
        self.assertIn("Unattended answer: Yes", log)
        self.assertTrue(log.endswith("It's finished... Bye !\r\n" + out[out.index("Summary:"):]))

    def test_nothing_installed_for_an_unknown_name_a_malformed_option_or_no_server(self):
        self.serve(["Quorvane"])
        for args, code, why, requests in [
                (["-plugins=Sharpen Pro;Nope"], 4, "Not in the catalogue: Nope", ["/plugins.php"]),
                (["-lang=it"], 4, "Malformed option -lang=it: use -lang=fr, -lang=en or -lang=de", []),
                ([], 2, "Failed to download file ! Do you want to retry? -> No", [])]:
            if code == 2:  # the server down
                self.server.stop()
            before = len(self.fetched())
            got, out, log = self.silent(*args)
            self.assertEqual(got, code, out)
            self.assertIn("%s\r\nSummary:\r\n  Nothing installed\r\n  Log: qvk.log\r\nExit code: %d ("
                          % (why, code), out)
            self.assertEqual(self.fetched()[before:], requests)
            self.assert_edition("Quorvane", [], INI)
        self.assertEqual(re.findall(r"Do you want to retry\? -> (\w+)", out), ["Yes", "No"])
        self.assertTrue(out.endswith("Exit code: 2 (the catalogue could not be read)\r\n"), out)
        self.assertTrue(log.endswith("\r\nNo\r\n" + out[out.index("Summary:"):]))

    def test_a_named_log_one_that_cannot_be_made_and_the_help(self):
        self.serve(["Quorvane"])
        code, out, log = self.silent("-plugins=Sharpen Pro", "-log=..\\qvk run.log",
                                     log="../qvk run.log")  # from the current folder
        self.assertEqual(code, 0, out)
        self.assertTrue(out.endswith("\r\n  Log: ..\\qvk run.log\r\nExit code: 0 (everything asked "
                                     "for is installed and configured)\r\n"), out)
        self.assertTrue(log.startswith("Debug mode launched\r\n"))
        self.assertTrue(log.endswith("\r\n" + out[out.index("Summary:"):]))
        self.assertEqual(self.fetched(), ["/plugins.php", "/files/sharpenpro.zip"])
        code, out, _ = self.silent("-log=no such\\qvk.log", log=None)
        self.assertEqual(code, 4, out)
        self.assertIn('Cannot create the log file "no such\\qvk.log" (3: ', out)
        self.assertTrue(out.endswith(")\r\nSummary:\r\n  Nothing installed\r\nExit code: 4 ("
                                     "nothing installed: an option or a plugin name was "
                                     "refused)\r\n"), out)
        code, out, _ = self.silent("-help", log=None)
        self.assertEqual(code, 0, out)
        self.assertTrue(out.startswith("QVK 1.5.0.0, the Quorvane Plugins Pack installer\r\n"
                                       "\r\nqvk.exe [options]\r\n  -debug  "), out)
        self.assertIn("\r\n  -log=FILE           as -debug, the log written to FILE", out)
        self.assertEqual(len(self.fetched()), 2)  # neither run asked the server anything

    def test_one_archive_missing(self):
        self.serve(["Quorvane"], {"/files/agedphoto.zip": "status-404"})
        # A folder where one plugin file goes: the archive reads well, that file has no place,
        # and none of that plugin's files is installed. It asks nothing, yet it fails the run.
        os.makedirs(winelib.editor_folder(self.wine, "Quorvane", "Plugins", "SharpenPro.8bf", "x"))
        code, out, log = self.silent()
        self.assertEqual(code, 1, out)
        self.assertEqual(re.findall(r"file aged Photo ! Do you want to retry\? -> (\w+)", out),
                         ["Yes", "No"])
        self.assertEqual(self.fetched().count("/files/agedphoto.zip"), 2)
        self.assert_edition("Quorvane", NAMES[1:4], CONFIGURED)
        self.assertIn("  Failed: aged Photo (download failed); Sharpen Pro (not every file of "
                      "sharpenpro.zip could be installed: SharpenPro.8bf: could not be written, a "
                      "folder has that name)\r\n", out)
        self.assertIn("\r\nExit code: 1 (some plugins failed)\r\n", out)
        self.assertIn("\r\nEntry skipped, could not be written, a folder has that name: SharpenPro.8bf\r\n", log)
        self.assertIn("\r\nIncomplete plugin, nothing installed from it, entries skipped: 1\r\n", log)

    def test_archives_as_the_real_tools_make_them_and_links_as_pages_write_them(self):
        """Info-ZIP, bsdtar (its "./" names), 7-Zip and Python's zipfile (a "Folder/./" name),
        each with a name the ANSI code page cannot hold; two links that end in one file name,
        one with a query, one with a raw blank."""
        tools = {"infozip": ["zip", "-qr", "{out}", "."], "bsdtar": ["bsdtar", "--format", "zip", "-cf", "{out}", "."],
                 "sevenzip": ["7z", "a", "-bd", "-bso0", "{out}", "."]}
        links = {"Info Zip": "files/infozip.zip", "Lib Archive": "files/bsdtar.zip", "Seven Zip": "files/sevenzip.zip",
                 "Py Sharpen": "sharpen/plugin.zip", "Py Blur": "blur/plugin.zip", "Query": "getfile.zip?id=12",
                 "Blank Space": "files/my plugin.zip"}
        expected = []

        def build(root, address):
            entries = []
            for name, link in links.items():
                safe, path = name.replace(" ", ""), os.path.join(root, link.split("?")[0])
                os.makedirs(os.path.dirname(path), exist_ok=True)
                source = winelib.fresh_dir(os.path.join(self.art, "src", safe))
                files = {safe + ".8bf": name, safe + "/readme.txt": "read me", "\u5199\u771f/" + safe + ".txt": "cjk"}
                for rel, text in files.items():
                    os.makedirs(os.path.dirname(os.path.join(source, rel)), exist_ok=True)
                    with open(os.path.join(source, rel), "w") as f:
                        f.write(text)
                tool = next((t for t in tools if link.endswith(t + ".zip")), None)
                if tool:
                    subprocess.run([a.format(out=path) for a in tools[tool]], cwd=source, check=True)
                else:
                    with zipfile.ZipFile(path, "w") as z:
                        for rel, text in files.items():
                            z.writestr(rel.replace("/", "/./", 1) if name == "Py Sharpen" else rel, text)
                expected.extend(files)
                entries.append((name, "http://%s/%s" % (address, link), name, "A / 1 / 1 KB"))
            with open(os.path.join(root, "plugins.php"), "wb") as f:
                f.write(catalogue_site.catalogue_page(entries).encode("cp1252"))

        self.server = winelib.own_plugin_server(os.path.join(self.art, "site"), build)
        self.addCleanup(self.server.stop)
        self.enterContext(winelib.installed_editions(self.wine, winelib.EDITIONS, INI))
        code, out, log = self.silent()
        self.assertEqual(code, 0, out)
        for edition in winelib.EDITIONS:
            plugins = winelib.editor_folder(self.wine, edition, "Plugins")
            self.assertEqual(catalogue_site.tree(plugins), sorted(expected))
            with open(os.path.join(plugins, "PyBlur.8bf")) as f, open(os.path.join(plugins, "PySharpen.8bf")) as g:
                self.assertEqual((f.read(), g.read()), ("Py Blur", "Py Sharpen"))
        # The query in the request, the blank as %20.
        self.assertEqual(sorted(r["target"] for r in self.server.requests()[1:]),
                         sorted("/" + link.replace(" ", "%20") for link in links.values()))
        self.assertIn("Py Sharpen : to DL ? 1\r\nYes\r\nFile name : plugin (2).zip\r\n", log)
        self.assertIn("  Installed into %sPlugins\\: %s\r\n" % (QV, ", ".join(sorted(links, key=str.lower))), out)


    def test_folders_given_without_registry_entries_and_named_plugins_only(self):
        self.serve(winelib.EDITIONS, registered=False, xnview=True)
        code, out, _ = self.silent()
        self.assertEqual(code, 3, out)
        self.assertIn("You must select at least one Quorvane version! -> OK\r\n", out)
        self.assertEqual(self.fetched(), ["/plugins.php"])
        os.remove(winelib.editor_folder(self.wine, "Quorvane Studio", "qv-studio.exe"))
        code, out, _ = self.silent("-qvdir=" + QV[:-1], "-qvsdir=" + QVS, "-noconfig",
                                   "-plugins=blur & GLOW; importation xnview;CAF\u00c9 colours")
        self.assertEqual(code, 0, out)
        self.assertIn("Quorvane Studio hasn't been found in the specified directory. Do you want "
                      "to retype the directory? -> No\r\n", out)  # given, so taken as it is
        for edition in winelib.EDITIONS:
            self.assertIn("Do you want to update %s configuration in order to use plugins? -> No\r\n"
                          % edition, out)
            self.assert_edition(edition, ["Blur & Glow", "Caf\u00e9 Colours", "Importation XnView"], INI)
        self.assertEqual(len(winelib.xnview_files(self.wine)), 1)
        # The catalogue first; the archives then come over several connections at once.
        fetched = self.fetched()[1:]
        self.assertEqual(fetched[0], "/plugins.php")
        self.assertEqual(sorted(fetched[1:]), sorted("/files/%s.zip" % f for f in (
            "blurglow", "cafcolours", "importationxnview", "XnViewDll")))


if __name__ == "__main__":
    winelib.require_programs("qvk", "uidriver")
    unittest.main()
