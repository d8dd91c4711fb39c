"""qvk.exe over HTTPS under Wine: the catalogue and the archives from a loopback TLS server whose
test authority only this Wine prefix's root store trusts (never the host's). A good certificate
installs; each bad one fails with nothing installed. Unattended runs, checked on the exit code,
the files, the log and the requests."""

import os
import unittest

import winelib
from winelib import INI, catalogue_site


class Https(unittest.TestCase):
    def setUp(self):
        winelib.start_unattended_case(self, "test_https")

    def serve(self, ports):
        """One plugin per port (":N" or ""), linked over https; the test authority trusted."""
        site = os.path.join(self.art, "site")
        names = []

        def build(root, address):
            entries = catalogue_site.build_site(root, address, plugins=[
                ("Plugin %d" % i, "Effect %d." % i, "Author %d / 1.%d 01/01/2008 / 1 KB" % (i, i))
                for i in range(len(ports))])
            names.extend(e[0] for e in entries)
            links = [(n, url.replace("http://" + address, "https://" + address + port), d, a)
                     for (n, url, d, a), port in zip(entries, ports)]
            with open(os.path.join(root, "plugins.php"), "wb") as f:
                f.write(catalogue_site.catalogue_page(links).encode("cp1252"))
        certs = os.path.join(self.art, "certs")
        self.server = winelib.own_plugin_server(site, build, tls_certs=certs)
        self.addCleanup(self.server.stop)
        a = self.server.address
        with open(os.path.join(certs, a, "ca.der"), "rb") as f:
            self.enterContext(winelib.trusted_root(self.wine, f.read()))
        self.enterContext(winelib.installed_editions(self.wine, ["Quorvane"], INI))
        return a, names

    def silent(self, url):
        code, out, cwd = winelib.run_in_case(self, ["-silent", "-debug", "-url=" + url],
                                             timeout=120)
        return code, out, "\r\n".join(winelib.read_log(cwd) + [""])

    def installed(self):
        return catalogue_site.tree(winelib.editor_folder(self.wine, "Quorvane", "Plugins"))

    def served(self, port, key="path"):
        return [r[key] for r in self.server.requests()
                if r["server"] == "%s:%d" % (self.server.address, port)]

    def test_trusted_https_installs_and_later_connections_resume_the_session(self):
        a, names = self.serve([""] * 3)
        code, out, log = self.silent("https://%s|/plugins.php" % a)
        self.assertEqual(code, 0, out)
        self.assertEqual(self.installed(), catalogue_site.installed_files(names))
        self.assertRegex(log, r"KiteHTTP: \* TLS TLSv1\.[23], \S+, certificate trusted\r\n")
        # Each later connection resumes the session, and its chain is still judged.
        self.assertEqual(self.served(443, "resumed"), [False] + [True] * 3)
        self.assertEqual(log.count("\r\nKiteHTTP: * TLS session resumed\r\n"
                                   "KiteHTTP: * TLS TLSv1.3, "), 3)

    def test_every_refused_certificate_fails_with_nothing_installed(self):
        refusals = ["issued for another host", "expired", "self-signed", "unknown authority"]
        a, names = self.serve([":4431", ":4432", ":4433", ":4434"])
        code, out, log = self.silent("https://%s|/plugins.php" % a)
        self.assertEqual(code, 1, out)
        self.assertEqual(self.installed(), [])
        self.assertIn("  Failed: " + "; ".join("%s (download failed)" % n for n in names), out)
        for why in refusals:  # each plugin is tried twice in the unattended mode
            refused = "\r\nKiteHTTP: certificate not trusted: %s\r\n" % why
            self.assertEqual(log.count(refused), 2, why)
        self.assertEqual(self.served(443), ["/plugins.php"])


if __name__ == "__main__":
    winelib.require_programs("qvk", "uidriver")
    unittest.main()
