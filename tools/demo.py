#!/usr/bin/env python3
"""The demo: a local plugin server with a catalogue of real plugin archives, both editions of
the editor "installed" in a Wine prefix (their folders, programs, Quorvane.ini files and
registry entries), and the wizard run against them under Wine to "Installation finished.".

With a display of your own (DISPLAY set) the wizard opens there and you click through it; with
none (or --auto), it runs on a private Xvfb display and is walked through by the UI driver,
leaving a screenshot of every page in build/demo/shots/. Either way it ends by printing the
files installed, the INI lines before and after, the log's path and the exit code."""
import argparse
import json
import os
import sys
import time
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tools"))
import catalogue_site  # noqa: E402
import winelib  # noqa: E402

WORK = os.path.join(ROOT, "build", "demo")
INI_BEFORE = "[General]\r\nLanguage=en\r\n[Plugins]\r\nLoadPlugins=0\r\n"
SLOW = "sharpenpro.zip"  # served in small pieces, so that the install page is seen downloading
NEXT, CANCEL, HEADING, FILE_BAR = 10, 9, 31, 14


def say(text=""):
    print("[demo] %s" % text, flush=True)


class OwnDisplay(winelib.Wine):
    """The user's display and a prefix of the demo's own, kept between runs."""

    def __init__(self, prefix):
        self.prefix, self.display = prefix, None
        self.state = {"boot_loader": winelib.loader_for(winelib.qvk_exe())}

    def env(self, loader, locale=None):
        env = winelib.wine_env(self.prefix, 0, loader, locale)
        env["DISPLAY"] = os.environ["DISPLAY"]
        return env


def build_site(root, address):
    catalogue_site.build_site(root, address, xnview=True)
    with zipfile.ZipFile(os.path.join(root, "files", SLOW), "a") as z:
        z.writestr("SharpenPro/data.bin", os.urandom(150000))  # 256 bytes per 5 ms: ~3 s


def forget_editions(wine):
    """The registry keys a run stopped half-way left behind (the prefix outlives it)."""
    loader = wine.state["boot_loader"]
    for _, key in winelib.EDITIONS.values():
        winelib.reg(wine.env(loader), loader, "delete", key, "/f",
                    "/reg:" + winelib.registry_view(winelib.qvk_exe()))


def walk(run, shots):
    """Every page, a screenshot each; the XnView import ticked, both editions as found."""
    def shot(name):
        shots.append(run.screenshot(name))
        say("page %-20s %s" % (name, shots[-1]))

    run.cmd("window Language", timeout_ms=winelib.START_MS)
    shot("language")
    run.cmd("click 1")
    run.cmd("window Installation", timeout_ms=winelib.START_MS)
    shot("welcome")
    run.cmd("click %d" % NEXT)
    run.cmd("waitvisible 11 1")
    shot("notes")
    run.cmd("click %d" % NEXT)
    run.cmd("@30000 waittext %d End of analysis." % HEADING)
    run.cmd("waitenabled %d 1" % NEXT)
    shot("catalogue")
    run.cmd("click %d" % NEXT)
    run.cmd("waitvisible %d 1" % (100 + len(catalogue_site.DEFAULT_PLUGINS) - 1))
    names = [run.cmd("text %d" % box) for box in range(100, 100 + int(run.cmd("count 100 199")))]
    say("plugin list: %s" % ", ".join(names))
    run.cmd("check %d 1" % (100 + names.index("Importation XnView")))
    shot("plugins")
    run.cmd("click %d" % NEXT)
    run.cmd("waittext %d Install >" % NEXT)
    say("folders found: %r and %r" % (run.cmd("text 18"), run.cmd("text 21")))
    shot("folders")
    run.cmd("click %d" % NEXT)
    run.cmd("@60000 waittext %d Downloading: %s (" % (HEADING, SLOW))
    for _ in range(200):  # a fifth of the slow archive in, for the picture
        if int(run.cmd("state %d" % FILE_BAR)) >= 20:
            break
        time.sleep(0.02)
    shot("install-downloading")
    for edition in ("Quorvane", "Quorvane Studio"):
        say("question: %s" % run.cmd("@120000 message"))
        shot("configuration-" + edition.replace(" ", "-").lower())
        run.cmd("answer yes")
    say("message: %s" % run.cmd("@120000 message"))
    shot("finished")
    run.cmd("answer ok")
    # -debug: right after the box the program's console waits for a key before the last
    # clean-up. The log is written out only at the end: the screen tells when the wizard has
    # painted over the box's place (its OK button stood in an area that is plain otherwise).
    x, y = (int(v) for v in run.cmd("origin").split())
    for _ in range(50):
        if winelib.unique_colours(run.screenshot("end"), x + 100, y + 195, 300, 20) == 1:
            break
        time.sleep(0.2)
    shot("end")
    console = [t for t in run.texts("windows") if t.lower().endswith("qvk.exe")]
    if console:
        run.cmd("window " + winelib.quote(console[0]))
        run.cmd("key space")
    return run.wait(60)


def run_wizard(wine, cwd, args, auto):
    if not auto:
        exe = winelib.qvk_exe()
        say("starting %s on %s: click through the wizard" % (exe, os.environ["DISPLAY"]))
        return wine.start(exe, args, cwd=cwd).wait()
    shots = []
    with winelib.run_qvk(args, cwd, wine=wine, timeout=300,
                         artifacts=winelib.fresh_dir(os.path.join(WORK, "shots"))) as run:
        return walk(run, shots)


def report(wine, code, cwd):
    """What the run left: files per Plugins folder and in the system folder, the INIs."""
    def windows_path(path):
        relative = os.path.relpath(path, os.path.join(wine.prefix, "drive_c"))
        return "C:\\" + relative.replace("/", "\\")

    say()
    say("=== what the run left ===")
    for edition in winelib.EDITIONS:
        plugins = winelib.editor_folder(wine, edition, "Plugins")
        files = catalogue_site.tree(plugins)
        say("%s (%d files):" % (windows_path(plugins), len(files)))
        for name in files:
            say("    " + name.replace("/", "\\"))
    for dll in winelib.xnview_files(wine):
        folder = os.path.dirname(dll)
        files = [f for f in catalogue_site.tree(folder) if f.startswith("XnViewDLL")]
        say("%s, the system folder:" % windows_path(folder))
        for name in files:
            say("    " + name.replace("/", "\\"))
    for edition in winelib.EDITIONS:
        ini = winelib.editor_folder(wine, edition, "Quorvane.ini")
        with open(ini, newline="") as f:
            after = f.read()
        say("%s before: %s" % (windows_path(ini), " | ".join(INI_BEFORE.split("\r\n")[:-1])))
        say("%s after:  %s" % (windows_path(ini), " | ".join(after.split("\r\n")[:-1])))
    log = os.path.join(cwd, "qvk.log")
    say("log: %s%s" % (log, "" if os.path.exists(log) else " (not written)"))
    say("exit code: %s" % code)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--auto", action="store_true", help="walk the wizard on a private display")
    parser.add_argument("--wine", metavar="STATE", help="walk it on the display and in the prefix "
                        "of this winelib state file, as the Wine tests share them")
    options = parser.parse_args()
    auto = options.auto or options.wine or not os.environ.get("DISPLAY")

    site = winelib.fresh_dir(os.path.join(WORK, "site"))
    cwd = winelib.fresh_dir(os.path.join(WORK, "run"))
    rules = os.path.join(WORK, "rules.json")
    with open(rules, "w") as f:
        json.dump({"/files/" + SLOW: "split-body"}, f)
    state = os.path.join(WORK, "wine", "state.json")
    if options.wine:
        wine = winelib.Wine(options.wine)
        winelib.forget_xnview(wine)
    elif auto:
        winelib.setup(state)  # a fresh prefix at every run
        wine = winelib.Wine(state)
    else:
        wine = OwnDisplay(os.path.join(WORK, "prefix"))
        winelib.map_fonts(wine.env(wine.state["boot_loader"]), wine.state["boot_loader"])
        forget_editions(wine)
        winelib.forget_xnview(wine)
    try:
        with winelib.own_plugin_server(site, build_site, rules=rules) as server:
            say("plugin server on http://%s/ serving %s" % (server.address, site))
            with winelib.installed_editions(wine, winelib.EDITIONS, INI_BEFORE):
                say("editions in %s, registered" % winelib.editor_folder(wine, ""))
                args = ["-debug", "-url=%s|/plugins.php" % server.address]
                code = run_wizard(wine, cwd, args, auto)
                say("requests served: %d" % len(server.requests()))
                report(wine, code, cwd)
    finally:
        if auto and not options.wine:
            winelib.cleanup(state)
    return 0 if code == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
