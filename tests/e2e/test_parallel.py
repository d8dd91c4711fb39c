"""qvk.exe -silent fetching several archives at once under Wine, against loopback servers that
hold each reply open: how many connections were open at once (to each server), and that a run
with several connections leaves the files of the one-at-a-time run of the same job."""

import os
import unittest
import zipfile

import winelib
from winelib import INI, QV, catalogue_site

def held(names, mode):
    """Rules serving these plugins' archives in `mode`."""
    return {"/files/" + catalogue_site.archive_name(name): mode for name in names}


def most_at_once(requests, hold):
    """The most connections surely open together: each for at least `hold` seconds (the
    server's pause) from its logged request. A late log only lowers the count."""
    ends = sorted([(r["time"], 1) for r in requests] + [(r["time"] + hold, -1) for r in requests])
    most = open_now = 0
    for _, step in ends:  # at one instant an end counts before a start
        open_now += step
        most = max(most, open_now)
    return most


class Parallel(unittest.TestCase):
    def setUp(self):
        winelib.start_unattended_case(self, "test_parallel")

    def serve(self, *groups):
        """One loopback server per (plugin names, rules) group, the first holding the catalogue
        of them all."""
        entries = {}

        def build(k, names):
            def write(root, address):
                entries[k] = catalogue_site.build_site(root, address, plugins=[
                    (name, "Effect of %s." % name, "Author / 1.0 / 1 KB") for name in names])
                if k == 0:
                    every = sorted(sum(entries.values(), []), key=lambda e: e[0].lower())
                    with open(os.path.join(root, "plugins.php"), "wb") as f:
                        f.write(catalogue_site.catalogue_page(every).encode("cp1252"))
            return write
        servers = []
        for k in reversed(range(len(groups))):  # the catalogue's server last: it links to all
            names, rules = groups[k]
            server = winelib.own_plugin_server(os.path.join(self.art, "site%d" % k),
                                               build(k, names), rules, k=k)
            self.addCleanup(server.stop)
            servers.insert(0, server)
        self.servers = servers
        return servers

    def silent(self, *args):
        """qvk.exe -silent -debug into a freshly installed Quorvane: (exit code, output)."""
        url = "-url=%s|/plugins.php" % self.servers[0].address
        with winelib.installed_editions(self.wine, ["Quorvane"], INI):
            code, out, cwd = winelib.run_in_case(self, ["-silent", "-debug", url] + list(args))
        self.assertEqual(winelib.work_folders(self.wine), [])  # and so no part file in it
        self.assertEqual(os.listdir(cwd), ["qvk.log"])
        return code, out

    def archives_fetched(self, server):
        return [r for r in server.requests() if r["path"].startswith("/files/")]

    def installed(self):
        """{file below Plugins: its bytes}."""
        plugins = winelib.editor_folder(self.wine, "Quorvane", "Plugins")
        files = {}
        for rel in catalogue_site.tree(plugins):
            with open(os.path.join(plugins, rel), "rb") as f:
                files[rel] = f.read()
        return files

    def test_transfers_overlap_within_the_limits_of_the_option_and_of_each_server(self):
        names = ["Plugin %02d" % i for i in range(12)]
        # Eight asked for, six archives on each of two servers: still four to each at most,
        # though the first server's six come first in the list. One: each body (after its
        # pause) before the next request.
        for groups, args, limit in [([names], (), 4), ([names], ("-connections=2",), 2),
                                    ([names[:6], names[6:]], ("-connections=8",), 4),
                                    ([names[:5]], ("-connections=1",), 1)]:
            servers = self.serve(*[(group, held(group, "pause-500")) for group in groups])
            code, out = self.silent(*args)
            self.assertEqual(code, 0, out)
            self.assertIn("  Installed into %sPlugins\\: %s\r\n" % (QV, ", ".join(sum(groups, []))),
                          out)
            for server, group in zip(servers, groups):
                fetched = self.archives_fetched(server)
                self.assertEqual(sorted(r["path"] for r in fetched),
                                 sorted("/files/" + catalogue_site.archive_name(n) for n in group))
                self.assertIn(most_at_once(fetched, 0.5), range(min(2, limit), limit + 1),
                              (args, fetched))
                server.stop()

    def test_installs_in_list_order_when_the_first_archive_comes_last(self):
        names = ["Alpha", "Beta", "Delta", "Gamma"]
        (server,) = self.serve((names, {"/files/alpha.zip": "pause-1500"}))
        for name in ("Alpha", "Gamma"):  # which one wins depends on the order of the installs
            path = os.path.join(server.root, "files", catalogue_site.archive_name(name))
            with zipfile.ZipFile(path, "a") as z:
                z.writestr("Shared.8bf", "shared, from " + name)
        files = []
        for args in ("-connections=1", "-connections=4"):
            code, out = self.silent(args)
            self.assertEqual(code, 0, out)
            files.append(self.installed())
        self.assertEqual(files[1], files[0])
        self.assertEqual(files[1]["Shared.8bf"], b"shared, from Gamma")
        # The others were all asked for (and so fetched) while the first one was held.
        second = {r["path"]: r["time"]
                  for r in self.archives_fetched(server)[len(names):]}
        alpha = second.pop("/files/alpha.zip")
        self.assertLess(max(second.values()), alpha + 1.5, second)

    def test_a_stalled_server_and_a_refused_one_fail_only_their_own_plugins(self):
        stalled, refused, served = ["Amber", "Azure"], ["Cobalt"], ["Bronze", "Copper", "Dune"]
        a, gone, b = self.serve((stalled, held(stalled, "stall")), (refused, {}), (served, {}))
        gone.stop()
        code, out = self.silent()
        self.assertEqual(code, 1, out)
        self.assertIn("  Installed into %sPlugins\\: Bronze, Copper, Dune\r\n  Failed: Amber "
                      "(download failed); Azure (download failed); Cobalt (download failed)\r\n"
                      % QV, out)
        tries = self.archives_fetched(a)
        self.assertEqual(sorted(r["path"] for r in tries),
                         sorted(["/files/amber.zip", "/files/azure.zip"] * 2))
        # Both stalled together, and the other server's archives came meanwhile.
        retried = min(r["time"] for r in tries[2:])
        self.assertEqual({r["path"] for r in tries[:2]}, {"/files/amber.zip", "/files/azure.zip"})
        self.assertEqual(sorted(r["path"] for r in self.archives_fetched(b) if r["time"] < retried),
                         ["/files/" + catalogue_site.archive_name(n) for n in served])


if __name__ == "__main__":
    winelib.require_programs("qvk", "uidriver")
    unittest.main(verbosity=2)
