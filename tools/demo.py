#!/usr/bin/env python3
"""The demo: a local plugin server with a catalogue of real plugin archives, and the wizard run
against it under Wine.

With a display of your own (DISPLAY set) the wizard opens there and you click through it; with
none (or --auto), it runs on a private Xvfb display and is walked through by the UI driver,
page by page, leaving a screenshot of each page and the debug log in build/demo/."""
import argparse
import os
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
sys.path.insert(0, os.path.join(ROOT, "tools"))
import catalogue_site  # noqa: E402
import winelib  # noqa: E402

ADDRESS = "127.0.0.2"
WORK = os.path.join(ROOT, "build", "demo")


def say(text):
    print("[demo] %s" % text, flush=True)


def walk(run, shots, plugins):
    """Language dialog to the folder page, a screenshot per page, then a confirmed Cancel."""
    def shot(name):
        path = run.screenshot(name)
        shots.append(path)
        say("page %-12s %s" % (name, path))

    run.cmd("window Language", timeout_ms=winelib.START_MS)
    shot("language")
    run.cmd("click 1")
    run.cmd("window Installation", timeout_ms=winelib.START_MS)
    shot("welcome")
    run.cmd("click 10")
    run.cmd("waitvisible 11 1")
    shot("notes")
    run.cmd("click 10")
    # The click is only posted: wait for the thread's last words, not for a Next still enabled.
    run.cmd("@30000 waittext 31 End of analysis.")
    run.cmd("waitenabled 10 1")
    shot("catalogue")
    say("catalogue heading: %s" % run.cmd("text 31"))
    run.cmd("click 10")
    run.cmd("waitvisible %d 1" % (100 + plugins - 1))
    boxes = int(run.cmd("count 100 199"))
    say("plugin list: %d boxes, first %r" % (boxes, run.cmd("text 100")))
    shot("plugins")
    run.cmd("click 10")
    run.cmd("waitvisible 19 1")
    shot("folders")
    # Downloading and installing come with the next steps of the program; end here in order.
    run.cmd("click 9")
    say("question: %s" % run.cmd("message"))
    run.cmd("answer yes")
    return run.wait(30)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--auto", action="store_true", help="walk the wizard on a private display")
    args = parser.parse_args()
    auto = args.auto or not os.environ.get("DISPLAY")

    site = winelib.fresh_dir(os.path.join(WORK, "site"))
    entries = catalogue_site.build_site(site, ADDRESS, layout=0, xnview=True)
    say("catalogue with %d plugins in %s" % (len(entries), site))
    cwd = winelib.fresh_dir(os.path.join(WORK, "run"))
    url_option = "-url=%s|/plugins.php" % ADDRESS

    with winelib.PluginServer(site, ADDRESS) as server:
        say("plugin server on http://%s/" % ADDRESS)
        if auto:
            state = os.path.join(WORK, "wine", "state.json")
            winelib.setup(state)
            try:
                wine = winelib.Wine(state)
                shots = []
                os.makedirs(os.path.join(WORK, "shots"), exist_ok=True)
                with winelib.run_qvk(["-debug", url_option], cwd, wine=wine, timeout=240,
                                     artifacts=os.path.join(WORK, "shots")) as run:
                    code = walk(run, shots, len(entries))
            finally:
                winelib.cleanup(state)
        else:
            exe = winelib.qvk_exe()
            loader = winelib.loader_for(exe)
            env = dict(os.environ, WINEPREFIX=os.path.join(WORK, "prefix"), WINEDEBUG="-all")
            if loader == winelib.LOADER64:
                env["WINELOADER"] = loader
            winelib.map_fonts(env, loader)
            say("starting %s on %s" % (exe, os.environ["DISPLAY"]))
            code = subprocess.call([loader, exe, "-debug", url_option], cwd=cwd, env=env)
        say("requests served: %d" % len(server.requests()))
    say("qvk.exe ended with exit code %s; its log: %s" % (code, os.path.join(cwd, "qvk.log")))
    return 0 if code == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
