#!/usr/bin/env python3
"""The download step of the real qvk.exe under Wine against curl, in one run.

    bench/download_bench.sh            (builds the Windows programs first; needs root for port 80)
    bench/download_bench.sh https      (the same over TLS: catalogue and archive on port 443)

A loopback plugin server (tools/plugin_server.py) offers one plugin whose archive is a real ZIP
of BENCH_SIZE_MB megabytes (default 64). The UI driver walks the wizard to the folder page and
presses "Install >"; the program's time runs from that click until the download loop has put the
total bar at 100, its last act before the main loop starts the install thread. curl then fetches
the same file from the same server BENCH_CURL_ROUNDS times (default 3), and the ratio of curl's
median time to the program's is printed: 1.0 means as fast as curl. With "https" the server
also answers over TLS with a certificate of its own test authority, which the run's Wine prefix
trusts in its root store (the program checks the chain through CryptoAPI) and curl through
--cacert; both then fetch the https:// address.

Environment: BENCH_SIZE_MB, BENCH_CURL_ROUNDS, BENCH_ADDRESS (default 127.0.0.249), BENCH_DIR
(default build/bench/download), QVK_WIN_BUILD_DIR / QVK_WIN64_BUILD_DIR (default build/win32
and build/win64). It makes its own Wine prefix and Xvfb display and ends both."""

import contextlib
import glob
import os
import statistics
import subprocess
import sys
import time
import zipfile

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(SOURCE, "tools"))
import catalogue_site  # noqa: E402
import winelib  # noqa: E402

NEXT, HEADING, TOTAL_BAR, QVCHECK = 10, 31, 15, 19


def say(text):
    print("[bench] " + text, flush=True)


def make_archive(path, size):
    # Stored, so the archive is as large as its data; random data, as a compressed plugin is.
    with zipfile.ZipFile(path, "w", zipfile.ZIP_STORED) as archive:
        archive.writestr("big/data.bin", os.urandom(size))


def walk_to_folders(run):
    run.cmd("window Language", timeout_ms=winelib.START_MS)
    run.cmd("click 1")
    run.cmd("window Installation", timeout_ms=winelib.START_MS)
    run.cmd("click %d" % NEXT)
    run.cmd("waitvisible 11 1")
    run.cmd("click %d" % NEXT)
    run.cmd("@60000 waittext %d End of analysis." % HEADING)
    run.cmd("waitenabled %d 1" % NEXT)
    run.cmd("click %d" % NEXT)
    run.cmd("waittext %d Please select plugins" % HEADING)
    run.cmd("click %d" % NEXT)
    run.cmd("waittext %d Indicate in which directory" % HEADING)
    run.cmd("check %d 1" % QVCHECK)


def program_seconds(run, limit):
    start = time.monotonic()
    run.cmd("click %d" % NEXT)
    while run.cmd("state %d" % TOTAL_BAR) != "100":
        if time.monotonic() - start > limit:
            raise winelib.WineError("the download did not end within %d s" % limit)
        time.sleep(0.005)
    return time.monotonic() - start


def curl_seconds(url, out, args=()):
    start = time.monotonic()
    subprocess.run(["curl", "-sf"] + list(args) + ["-o", out, url], check=True, timeout=600)
    return time.monotonic() - start


def main():
    scheme = "https" if sys.argv[1:] == ["https"] else "http"
    size = int(os.environ.get("BENCH_SIZE_MB", "64")) * 1024 * 1024
    rounds = int(os.environ.get("BENCH_CURL_ROUNDS", "3"))
    address = os.environ.get("BENCH_ADDRESS", "127.0.0.249")
    work = os.path.abspath(os.environ.get("BENCH_DIR",
                                          os.path.join(SOURCE, "build", "bench", "download")))
    state_path = winelib.outside_ctest(work)

    root = winelib.fresh_dir(os.path.join(work, "site"))
    catalogue_site.build_site(root, address, plugins=[("Big Archive", "Data.", "B / 1 / 64 MB")],
                              scheme=scheme)
    certs = os.path.join(work, "certs") if scheme == "https" else None
    host = scheme + "://" + address if certs else address
    archive = os.path.join(root, "files", catalogue_site.archive_name("Big Archive"))
    make_archive(archive, size)
    expected = os.path.getsize(archive)

    winelib.setup(state_path)
    try:
        wine = winelib.Wine(state_path)
        editor = winelib.editor_folder(wine, "Quorvane")
        os.makedirs(editor, exist_ok=True)
        open(os.path.join(editor, "Quorvane.exe"), "wb").close()
        cwd = winelib.fresh_dir(os.path.join(work, "cwd"))
        with contextlib.ExitStack() as stack:
            stack.enter_context(winelib.PluginServer(root, address, tls_certs=certs))
            curl_args = []
            if certs:
                with open(os.path.join(certs, address, "ca.der"), "rb") as f:
                    stack.enter_context(winelib.trusted_root(wine, f.read()))
                curl_args = ["--cacert", os.path.join(certs, address, "ca.pem")]
            run = stack.enter_context(winelib.run_qvk(
                ["-url=%s|/plugins.php" % host], cwd, timeout=900, wine=wine,
                artifacts=winelib.artifacts_dir()))
            walk_to_folders(run)
            program = program_seconds(run, 600)
            fetched = glob.glob(os.path.join(wine.prefix, "drive_c", "users", "**", "qvk",
                                             os.path.basename(archive)), recursive=True)
            if not fetched or os.path.getsize(fetched[0]) != expected:
                raise winelib.WineError("the program's copy is missing or incomplete: %s" % fetched)
            url = "%s://%s/files/%s" % (scheme, address, os.path.basename(archive))
            out = os.path.join(work, "curl.out")
            curl = statistics.median(curl_seconds(url, out, curl_args) for _ in range(rounds))
            if os.path.getsize(out) != expected:
                raise winelib.WineError("curl's copy is incomplete")
            os.remove(out)
    finally:
        winelib.cleanup(state_path)
    mb = expected / 1048576.0
    say("%s, %.1f MB: qvk.exe under Wine %.2f s (%.1f MB/s), curl %.2f s (%.1f MB/s, median of %d)"
        % (scheme, mb, program, mb / program, curl, mb / curl, rounds))
    say("ratio (curl time / qvk.exe time): %.2f" % (curl / program))
    return 0


if __name__ == "__main__":
    sys.exit(main())
