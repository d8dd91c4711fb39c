#!/usr/bin/env python3
"""Many plugins behind a slow link: the whole unattended job of the real qvk.exe under Wine
against curl + unzip, in one run.

    bench/parallel_bench.sh        (builds the Windows programs first; BENCH_BUILD=0 skips that)

Every transfer of both sides goes through bench/relay.py (40 ms each way, 2 MB/s for the whole
link, a round trip at connect), one fresh relay per measurement, so that no side inherits the
other's queue. Two sets of plugins, each a catalogue page in the layout tools/catalogue_site.py
writes and real ZIP archives:

  small  BENCH_SMALL_COUNT plugins (default 200) of about 50 KB each. The program: `qvk.exe
         -silent -url=RELAY|/plugins.php` for every plugin into both registered editions,
         timed from process start to exit, its catalogue and archives served by
         tools/plugin_server.py (one reply per connection). The peer: one curl over one
         kept-open HTTP/1.1 connection fetching the page and every archive, then `unzip -o -q`
         of each archive into two folders. The plugin server closes every connection after one
         reply, so curl's side is served by a keep-alive HTTP/1.1 server (Python's http.server)
         over the same files behind the same kind of relay. For reference also curl --parallel
         --parallel-max 4 from that server. Ratio: peer time / program time.
  large  5 plugins of BENCH_LARGE_MB MB each (default 20): the program with its default number
         of connections against -connections=1. Ratio: time(-connections=1) / time(default).

Each time is the median of BENCH_ROUNDS rounds (default 3; BENCH_LARGE_ROUNDS for the large set,
default BENCH_ROUNDS), the sides taking turns within a round. Environment also: BENCH_DIR
(default build/bench/parallel), BENCH_DEBUG=1 (the program writes its -debug log, kept per
round in BENCH_DIR/cwd-*), QVK_WIN_BUILD_DIR / QVK_WIN64_BUILD_DIR (default build/win32 and
build/win64). It makes its own Wine prefix and Xvfb display and ends both, and every server
and relay it starts, by pid."""

import contextlib
import http.server
import io
import os
import random
import shutil
import socket
import statistics
import subprocess
import sys
import threading
import time
import zipfile

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(SOURCE, "tools"))
import catalogue_site  # noqa: E402
import winelib  # noqa: E402

DELAY_MS, RATE = 40, 2_000_000  # bench/relay.py's own defaults, passed explicitly
PORT = 80
WORDS = [b"Filter", b"Effect", b"Layer", b"Colour", b"Kernel", b"\x00\x00\x00\x00"]


def say(text):
    print("[bench] " + text, flush=True)


# --- the plugin sets ---------------------------------------------------------------------------

def plugin_data(rng, size):
    """A plugin file as compilers leave them: blocks of machine code that deflate cannot shrink
    between tables and strings that it can."""
    out = bytearray()
    while len(out) < size:
        out += rng.randbytes(2048)
        out += b" ".join(rng.choice(WORDS) + b"%d" % rng.randrange(10000) for _ in range(300))[:2048]
    return bytes(out[:size])


def write_set(root, relay, plugins, make_file, method):
    """Writes the catalogue page and one archive per plugin, its file's bytes from
    make_file(name); the links point at the relay, so that every transfer crosses the link.
    Returns the paths a client fetches, the page first."""
    winelib.fresh_dir(os.path.join(root, "files"))
    entries = []
    for name in plugins:
        safe = "".join(c for c in name if c.isalnum())
        file_name = catalogue_site.archive_name(name)
        with zipfile.ZipFile(os.path.join(root, "files", file_name), "w", method) as archive:
            archive.writestr(safe + ".8bf", make_file(name))
            archive.writestr(safe + "/readme.txt", "Read me for %s\r\n" % name)
        entries.append((name, "http://%s/files/%s" % (relay, file_name), "Effect %s." % name,
                        "Author / 1.0 / %d KB" % (os.path.getsize(os.path.join(
                            root, "files", file_name)) // 1024)))
    with open(os.path.join(root, "plugins.php"), "wb") as out:
        out.write(catalogue_site.catalogue_page(entries).encode("cp1252"))
    return ["/plugins.php"] + ["/files/" + catalogue_site.archive_name(n) for n in plugins]


# --- the link and the peer's server ------------------------------------------------------------

class Relay(winelib._Stopped):
    """A fresh bench/relay.py from port 80 of `listen` to `target`, stopped by its pid."""

    def __init__(self, listen, target, target_port=PORT):
        self.proc = winelib._track(subprocess.Popen(
            [sys.executable, os.path.join(SOURCE, "bench", "relay.py"), "%s:%d" % (listen, PORT),
             "%s:%d" % (target, target_port), "--delay-ms", str(DELAY_MS), "--rate", str(RATE)],
            stdin=subprocess.DEVNULL, start_new_session=True))

        def listening():
            if self.proc.poll() is not None:
                raise winelib.WineError("the relay on %s ended at start (exit %d)"
                                        % (listen, self.proc.returncode))
            # A bare connect, closed at once: the relay passes the close on, no request is made.
            with contextlib.suppress(OSError), socket.create_connection((listen, PORT), 1):
                return True
        winelib.wait_until(listening, 10, "the relay on %s" % listen)
        time.sleep(3 * DELAY_MS / 1000.0)  # let the probe's own connection go by

    def stop(self):
        winelib.stop_process(self.proc)


class KeepAliveServer(winelib._Stopped):
    """http.server over HTTP/1.1 (Content-Length, connections kept open), threaded, on a
    loopback address; counts the connections that carried requests and the requests."""

    def __init__(self, root, address, port=8080):
        if not address.startswith("127."):
            raise winelib.WineError("loopback addresses only: " + address)
        counts = self.counts = {"connections": 0, "requests": 0}
        lock = threading.Lock()

        class Handler(http.server.SimpleHTTPRequestHandler):
            protocol_version = "HTTP/1.1"
            disable_nagle_algorithm = True

            def __init__(self, *args, **kw):
                self.served = 0
                super().__init__(*args, directory=root, **kw)

            def handle_one_request(self):
                super().handle_one_request()
                if getattr(self, "command", None):
                    with lock:
                        counts["requests"] += 1
                        counts["connections"] += self.served == 0
                    self.served += 1
                    self.command = None

            def log_message(self, *args):
                pass

        self.server = http.server.ThreadingHTTPServer((address, port), Handler)
        self.server.daemon_threads = True
        self.address, self.port = address, port
        self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)
        self.thread.start()

    def reset(self):
        self.counts.update(connections=0, requests=0)

    def stop(self):
        self.server.shutdown()
        self.server.server_close()


# --- the two sides -----------------------------------------------------------------------------

class Program:
    """qvk.exe -silent under the bench's prefix, both editions registered there."""

    def __init__(self, wine, work, debug):
        self.wine, self.work, self.debug = wine, work, debug
        self.exe = winelib.qvk_exe()
        self.loader = winelib.loader_for(self.exe)
        self.runs = 0

    def reset(self):
        """Each edition as installed anew, no work folder left by an earlier round."""
        for edition, (exe, _) in winelib.EDITIONS.items():
            folder = winelib.editor_folder(self.wine, edition)
            shutil.rmtree(os.path.join(folder, "Plugins"), ignore_errors=True)
            with open(os.path.join(folder, "Quorvane.ini"), "w", newline="") as f:
                f.write(winelib.INI)
        for folder in winelib.work_folders(self.wine):
            shutil.rmtree(folder)

    def run(self, relay, args=(), limit=900, warm=True):
        """Seconds from start to exit; raises on a failed job (its console output is kept
        beside the working folder)."""
        if warm:
            # A Wine process started after half a minute with none takes up to 10 s more to
            # start (Wine's own services come back): a cost of the emulation, not of the job,
            # paid here outside the timer.
            self.run(relay, ["-help"], limit=120, warm=False)
        self.reset()
        self.runs += 1
        cwd = winelib.fresh_dir(os.path.join(self.work, "cwd-%02d" % self.runs))
        command = winelib.LAUNCHER + [self.loader, self.exe, "-silent", "-url=%s|/plugins.php"
                                      % relay] + (["-debug"] if self.debug else []) + list(args)
        output = os.path.join(self.work, "output-%02d.txt" % self.runs)
        # Into a file, not a pipe: the Wine services the program may start inherit its output
        # and can hold a pipe open for seconds after the program has ended.
        with open(output, "wb") as out:
            start = time.monotonic()
            proc = winelib._track(subprocess.Popen(
                command, cwd=cwd, env=self.wine.env(self.loader), stdin=subprocess.DEVNULL,
                stdout=out, stderr=subprocess.DEVNULL))
            try:
                proc.wait(timeout=limit)
            except subprocess.TimeoutExpired:
                raise winelib.WineError("qvk.exe %s did not end within %d s"
                                        % (" ".join(args), limit))
            finally:
                winelib.stop_process(proc)
            seconds = time.monotonic() - start
        with open(output, "rb") as f:
            out = f.read().decode("cp1252", "replace")
        if proc.returncode != 0:
            raise winelib.WineError("qvk.exe %s: exit %d\n%s" % (" ".join(args), proc.returncode,
                                                               out[-3000:]))
        return seconds

    def check(self, names):
        want = catalogue_site.installed_files(names)
        for edition in winelib.EDITIONS:
            got = catalogue_site.tree(winelib.editor_folder(self.wine, edition, "Plugins"))
            if got != want:
                raise winelib.WineError("%s holds %d files, not the %d of the set"
                                        % (edition, len(got), len(want)))


def curl_job(relay, paths, work, names, parallel):
    """curl fetching every path over the relay into a fresh folder, then unzip of every
    archive into two fresh edition folders; the seconds of the whole and of the fetch alone."""
    down = winelib.fresh_dir(os.path.join(work, "peer", "downloads"))
    editions = [winelib.fresh_dir(os.path.join(work, "peer", e, "Plugins"))
                for e in winelib.EDITIONS]
    config = os.path.join(work, "peer", "curl.conf")
    with open(config, "w") as f:
        for path in paths:
            f.write('url = "http://%s%s"\noutput = "%s"\n'
                    % (relay, path, os.path.join(down, os.path.basename(path))))
    archives = [os.path.join(down, os.path.basename(p)) for p in paths if p.endswith(".zip")]
    extra = ["--parallel", "--parallel-max", "4"] if parallel else []
    start = time.monotonic()
    fetched = subprocess.run(["curl", "-sS", "-f", "--no-progress-meter", "--http1.1"] + extra
                             + ["-K", config], timeout=900, stdin=subprocess.DEVNULL,
                             stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    if fetched.returncode != 0:
        raise winelib.WineError("curl: exit %d\n%s" % (fetched.returncode, fetched.stdout.decode()))
    fetch = time.monotonic() - start
    for archive in archives:
        for folder in editions:
            subprocess.run(["unzip", "-o", "-q", archive, "-d", folder], check=True, timeout=120)
    seconds = time.monotonic() - start
    want = catalogue_site.installed_files(names)
    for folder in editions:
        if catalogue_site.tree(folder) != want:
            raise winelib.WineError("curl + unzip left an incomplete %s" % folder)
    return seconds, fetch


# --- the run -----------------------------------------------------------------------------------

def median(times):
    return statistics.median(times)


def row(label, times):
    return "  %-50s %7.2f s   %-20s" % (label, median(times),
                                     " ".join("%.2f" % t for t in times))


def main():
    rounds = int(os.environ.get("BENCH_ROUNDS", "3"))
    large_rounds = int(os.environ.get("BENCH_LARGE_ROUNDS", str(rounds)))
    small_count = int(os.environ.get("BENCH_SMALL_COUNT", "200"))
    large_mb = int(os.environ.get("BENCH_LARGE_MB", "20"))
    debug = os.environ.get("BENCH_DEBUG", "0") not in ("", "0")
    work = os.path.abspath(os.environ.get("BENCH_DIR",
                                          os.path.join(SOURCE, "build", "bench", "parallel")))
    state_path = winelib.outside_ctest(work)
    for tool in ("curl", "unzip"):
        if not shutil.which(tool):
            say("%s is not installed (tools/setup.sh, or apt-get install curl unzip)" % tool)
            return 2
    # This process's own addresses: the plugin server, the peer's server, the link's near end.
    server_address, peer_address, relay = (winelib.loopback(k) for k in (0, 1, 2))

    rng = random.Random(25)
    small = ["Plugin %03d" % i for i in range(small_count)]
    large = ["Large %d" % (i + 1) for i in range(5)]
    small_root, large_root = (os.path.join(work, n, "site") for n in ("small", "large"))
    small_paths = write_set(small_root, relay, small, lambda _: plugin_data(rng, 72 * 1024),
                            zipfile.ZIP_DEFLATED)
    large_paths = write_set(large_root, relay, large, lambda _: rng.randbytes(large_mb << 20),
                            zipfile.ZIP_STORED)
    small_bytes = sum(os.path.getsize(os.path.join(small_root, p.lstrip("/")))
                      for p in small_paths)
    large_bytes = sum(os.path.getsize(os.path.join(large_root, p.lstrip("/")))
                      for p in large_paths)
    say("small set: %d archives, %.1f MB in all (%.0f KB each); large set: 5 x %d MB, stored"
        % (small_count, small_bytes / 1e6, small_bytes / 1024.0 / small_count, large_mb))

    times = {k: [] for k in ("qvk", "curl1", "curl4", "qvk4", "qvk1")}
    counts, fetches = {}, {"curl1": [], "curl4": []}
    winelib.setup(state_path)
    try:
        wine = winelib.Wine(state_path)
        program = Program(wine, work, debug)
        with contextlib.ExitStack() as stack:
            stack.enter_context(winelib.installed_editions(wine, winelib.EDITIONS, winelib.INI))
            server = stack.enter_context(winelib.PluginServer(small_root, server_address,
                                                              lifetime=3600))
            peer = stack.enter_context(KeepAliveServer(small_root, peer_address))
            for r in range(rounds):
                before = len(server.requests())
                with Relay(relay, server_address):
                    times["qvk"].append(program.run(relay))
                program.check(small)
                counts["qvk"] = len(server.requests()) - before
                for key, parallel in (("curl1", False), ("curl4", True)):
                    peer.reset()
                    with Relay(relay, peer_address, peer.port):
                        total, fetch = curl_job(relay, small_paths, work, small, parallel)
                    times[key].append(total)
                    fetches[key].append(fetch)
                    counts[key] = dict(peer.counts, fetch=median(fetches[key]))
                say("small round %d: qvk %.2f s, curl keep-alive %.2f s, curl --parallel %.2f s"
                    % (r + 1, times["qvk"][-1], times["curl1"][-1], times["curl4"][-1]))
            if counts["curl1"]["connections"] != 1:
                raise winelib.WineError("curl's peer run used %d connections, not one"
                                        % counts["curl1"]["connections"])
            server.stop()
            server = stack.enter_context(winelib.PluginServer(large_root, server_address,
                                                              lifetime=3600))
            for r in range(large_rounds):
                for key, args in (("qvk4", []), ("qvk1", ["-connections=1"])):
                    with Relay(relay, server_address):
                        times[key].append(program.run(relay, args))
                    program.check(large)
                say("large round %d: default %.2f s, -connections=1 %.2f s"
                    % (r + 1, times["qvk4"][-1], times["qvk1"][-1]))
    finally:
        winelib.cleanup(state_path)

    m = {k: median(v) for k, v in times.items()}
    print()
    print("Link (bench/relay.py, fresh per measurement): %d ms each way, %.1f MB/s shared by "
          "every connection, one round trip at connect; loopback only" % (DELAY_MS, RATE / 1e6))
    print("Small set: %d plugins, %.1f MB; large set: 5 x %d MB (%.1f MB)"
          % (small_count, small_bytes / 1e6, large_mb, large_bytes / 1e6))
    print("Each time: process start to exit (qvk.exe -silent under Wine, 64-bit twin), or curl "
          "+ unzip into two folders; median of %d rounds (large set %d), rounds listed"
          % (rounds, large_rounds))
    print()
    print(row("small  qvk.exe -silent, default connections", times["qvk"])
          + "   plugin_server.py, %d requests" % counts["qvk"])
    print(row("small  curl, one kept-open connection + unzip", times["curl1"])
          + "   http.server HTTP/1.1, %(connections)d conn, %(requests)d requests, "
          "curl alone %(fetch).2f s" % counts["curl1"])
    print(row("small  curl --parallel-max 4 + unzip (reference)", times["curl4"])
          + "   http.server HTTP/1.1, %(connections)d conn, %(requests)d requests, "
          "curl alone %(fetch).2f s" % counts["curl4"])
    print(row("large  qvk.exe -silent, default connections", times["qvk4"]))
    print(row("large  qvk.exe -silent -connections=1", times["qvk1"]))
    print()
    print("  ratio small: curl one connection / qvk.exe      %5.2f   (target >= 1.5)"
          % (m["curl1"] / m["qvk"]))
    print("  ratio small: curl --parallel 4 / qvk.exe        %5.2f   (reference)"
          % (m["curl4"] / m["qvk"]))
    print("  ratio large: -connections=1 / default           %5.2f   (target >= 0.95)"
          % (m["qvk1"] / m["qvk4"]))
    return 0


if __name__ == "__main__":
    sys.exit(main())
