"""qvk.exe over HTTPS under Wine: the catalogue and the archives from a loopback TLS server whose
test authority only this Wine prefix's root store trusts (never the host's). A good certificate
installs; each bad one, a redirect loop and a redirect from https to http fail with nothing
installed. Unattended runs, checked on the exit code, the files, the log and the requests.
The server's ports share one ticket key: only the port a session came from may resume it."""

import os
import unittest

import winelib
from winelib import CONFIGURED, INI, catalogue_site


class Https(unittest.TestCase):
    def setUp(self):
        winelib.start_unattended_case(self, "test_https")

    def serve(self, links, rules):
        """A site of len(links) plugins whose catalogue links are `links` (each a format with
        {a}, the server's address), over http and https; the test authority in the root store."""
        site = os.path.join(self.art, "site")
        names = []

        def build(root, address):
            entries = catalogue_site.build_site(root, address, plugins=[
                ("Plugin %d" % i, "Effect %d." % i, "Author %d / 1.%d 01/01/2008 / 1 KB" % (i, i))
                for i in range(len(links))])
            page = os.path.join(root, "plugins.php")
            with open(page, encoding="cp1252") as f:
                text = f.read()
            for (name, url, _, _), link in zip(entries, links):
                text = text.replace(url, link.format(a=address, f=url.rsplit("/", 1)[1]))
                names.append(name)
            with open(page, "w", encoding="cp1252") as f:
                f.write(text)
        certs = os.path.join(self.art, "certs")
        self.server = winelib.own_plugin_server(site, build, tls_certs=certs)
        self.addCleanup(self.server.stop)
        a = self.server.address
        self.server.set_rules({path: dict(rule, location=rule["location"].format(a=a))
                               for path, rule in rules.items()})
        with open(os.path.join(certs, a, "ca.der"), "rb") as f:
            self.enterContext(winelib.trusted_root(self.wine, f.read()))
        self.enterContext(winelib.installed_editions(self.wine, ["Quorvane"], INI))
        return a, names

    def silent(self, url):
        self.runs += 1
        cwd = winelib.fresh_dir(os.path.join(self.art, "cwd%d" % self.runs))
        code, out = winelib.run_unattended(self.wine, ["-silent", "-debug", "-url=" + url], cwd,
                                           timeout=120)
        log = "\r\n".join(winelib.read_log(cwd) + [""])
        with open(os.path.join(self.art, "output%d.txt" % self.runs), "w") as f:
            f.write(out + "\n----- qvk.log\n" + log)
        return code, out, log

    def installed(self):
        return catalogue_site.tree(winelib.editor_folder(self.wine, "Quorvane", "Plugins"))

    def served(self, port, key="path"):
        return [r[key] for r in self.server.requests()
                if r["server"] == "%s:%d" % (self.server.address, port)]

    def test_trusted_https_installs_and_http_is_redirected_to_it(self):
        a, names = self.serve(
            ["https://{a}/files/{f}", "http://{a}/moved/{f}", "https://{a}/deep/dir/{f}"],
            {"/start.php": {"mode": "status-301", "location": "https://{a}/plugins.php"},
             "/moved/plugin1.zip": {"mode": "status-302", "location": "https://{a}/files/plugin1.zip"},
             "/deep/dir/plugin2.zip": {"mode": "status-307", "location": "../../files/./plugin2.zip"}})
        code, out, log = self.silent("%s|/start.php" % a)
        self.assertEqual(code, 0, out)
        self.assertEqual(self.installed(), catalogue_site.installed_files(names))
        with open(winelib.editor_folder(self.wine, "Quorvane", "Quorvane.ini"), newline="") as f:
            self.assertEqual(f.read(), CONFIGURED)
        for path in ("plugins.php", "files/plugin1.zip", "files/plugin2.zip"):
            self.assertIn("\r\nKiteHTTP: * Redirected to https://%s/%s\r\n" % (a, path), log)
        self.assertRegex(log, r"KiteHTTP: \* TLS TLSv1\.[23], \S+, certificate trusted\r\n")
        # Several archives are fetched at once: the order is theirs, the set is the test's.
        self.assertEqual(sorted(self.served(80)), ["/moved/plugin1.zip", "/start.php"])
        self.assertEqual(sorted(self.served(443)), ["/deep/dir/plugin2.zip", "/files/plugin0.zip",
                                                    "/files/plugin1.zip", "/files/plugin2.zip",
                                                    "/plugins.php"])
        # Each later connection resumes the session, and its chain is still judged.
        self.assertEqual(self.served(443, "resumed"), [False] + [True] * 4)
        self.assertEqual(log.count("\r\nKiteHTTP: * TLS session resumed\r\nKiteHTTP: * TLS TLSv1.3, "), 4)

    def test_every_refused_certificate_and_redirect_fails_with_nothing_installed(self):
        refusals = ["issued for another host", "expired", "self-signed", "unknown authority"]
        # The first one leaves a trusted session, for port 443 only.
        a, names = self.serve(
            ["https://{a}/down/{f}"] +
            ["https://{a}:%d/files/{f}" % p for p in (4431, 4432, 4433, 4434)] +
            ["http://{a}/loop/{f}"],
            {"/down/plugin0.zip": {"mode": "status-308", "location": "http://{a}/files/plugin0.zip"},
             "/loop/plugin5.zip": {"mode": "status-302", "location": "/loop/plugin5.zip"}})
        code, out, log = self.silent("%s|/plugins.php" % a)
        self.assertEqual(code, 1, out)
        self.assertEqual(self.installed(), [])
        self.assertIn("  Failed: " + "; ".join("%s (download failed)" % n for n in names), out)
        for why in refusals:  # each plugin is tried twice in the unattended mode
            self.assertEqual(log.count("\r\nKiteHTTP: certificate not trusted: %s\r\n" % why), 2, why)
        self.assertEqual(log.count("\r\nKiteHTTP: too many redirects (more than 5)\r\n"), 2)
        self.assertEqual(log.count("\r\nKiteHTTP: redirect from https to http refused\r\n"), 2)
        for port in (4431, 4432, 4433, 4434):
            self.assertEqual(self.served(port), [], port)  # no request after a refused handshake
        self.assertEqual(self.served(80), ["/plugins.php"] + ["/loop/plugin5.zip"] * 12)
        self.assertEqual(self.served(443), ["/down/plugin0.zip"] * 2)

        # A catalogue whose certificate fails ends the run after its retry: exit 2.
        code, out, log = self.silent("https://%s:4432|/plugins.php" % a)
        self.assertEqual(code, 2, out)
        self.assertIn("Using URL : https://%s:4432/plugins.php\r\n" % a, log)
        self.assertEqual(log.count("\r\nKiteHTTP: certificate not trusted: expired\r\n"), 2)
        self.assertEqual(self.installed(), [])


if __name__ == "__main__":
    winelib.require_programs("qvk", "uidriver")
    unittest.main()
