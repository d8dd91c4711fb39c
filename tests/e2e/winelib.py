"""Harness of the end-to-end tests: runs the Windows programs under Wine on an Xvfb display and
talks to uidriver.exe, the remote control that answers one line per command.

One test run shares one Wine prefix and one display. The CTest fixture runs this file twice:
`winelib.py setup` starts Xvfb, makes the prefix (one `wineboot -i`) and writes a state file;
`winelib.py cleanup` ends the prefix's Wine processes and Xvfb. Each test reads the state file
named by QVK_WINE_STATE. Standard library only; every wait has a time-out and everything that is
started is stopped by its pid, on failure too.

    cwd = winelib.fresh_dir(os.path.join(winelib.artifacts_dir(), "cwd"))
    with winelib.run_qvk(["-debug"], cwd, locale="fr_FR") as run:
        run.cmd("window Langue", timeout_ms=winelib.START_MS)
        run.screenshot("language")
        run.cmd("click 2")
        assert run.cmd("message").startswith("Attention|")
        run.cmd("answer yes")
        assert run.wait(30) == 0

Environment (set by tests/e2e/CMakeLists.txt): QVK_WINE_STATE; QVK_WIN_BUILD_DIR, the build of
the shipped 32-bit programs, and QVK_WIN64_BUILD_DIR, their optional 64-bit twin, which runs
instead where this host cannot run 32-bit programs; QVK_E2E_ARTIFACTS (screenshots, driver
transcripts, program output). QVK_EXE, QVK_UIDRIVER and QVK_UIDRIVER_SELFTEST, when set,
name the programs directly.
"""

import atexit
import contextlib
import json
import os
import queue
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

WINE_DIR = os.environ.get("QVK_WINE_DIR", "/usr/lib/wine")
LOADER32 = os.path.join(WINE_DIR, "wine")
LOADER64 = os.path.join(WINE_DIR, "wine64")
SKIP = 77  # CTest's SKIP_RETURN_CODE for the e2e tests
DRIVER_TIMEOUT_MS = 10000
START_MS = 30000  # for a program's first window: a start under Wine on a loaded machine is slow
SCREEN = "1024x768x24"
LOCALES = ("en_US", "fr_FR", "de_DE")

I386, AMD64 = 0x14C, 0x8664


class WineError(Exception):
    """The harness could not do what was asked (Wine, Xvfb or a process misbehaved)."""


class WineUnavailable(WineError):
    """This host cannot run the given program under Wine at all."""


class DriverError(AssertionError):
    """uidriver.exe answered "error ..." (the answer is the message)."""


# --- processes -------------------------------------------------------------------------------

_started = []  # every Popen this module started, stopped at exit whatever happened


def _track(proc):
    _started.append(proc)
    return proc


def stop_process(proc, grace=3.0):
    """Ends one process we started, by its pid: TERM, then KILL after `grace` seconds."""
    if proc is None or proc.poll() is not None:
        return
    try:
        proc.terminate()
        proc.wait(timeout=grace)
    except subprocess.TimeoutExpired:
        proc.kill()
        try:
            proc.wait(timeout=grace)
        except subprocess.TimeoutExpired:
            pass
    except ProcessLookupError:
        pass


@atexit.register
def _stop_all():
    for proc in reversed(_started):
        stop_process(proc, grace=2.0)


def wait_until(predicate, timeout, what, interval=0.05):
    """Polls `predicate` until it returns a true value; raises WineError after `timeout` s."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise WineError("timed out after %.1f s waiting for %s" % (timeout, what))
        time.sleep(interval)


# --- programs and loaders --------------------------------------------------------------------

def pe_machine(path):
    """The machine field of a PE file's header (0x14c for i386, 0x8664 for x86-64)."""
    with open(path, "rb") as f:
        head = f.read(4096)
    if head[:2] != b"MZ":
        raise WineError("%s is not a Windows program" % path)
    offset = int.from_bytes(head[0x3C:0x40], "little")
    if head[offset:offset + 4] != b"PE\0\0":
        raise WineError("%s has no PE header" % path)
    return int.from_bytes(head[offset + 4:offset + 6], "little")


def _can_exec(path):
    try:
        subprocess.run([path, "--version"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=20, check=False)
        return True
    except OSError:  # ENOEXEC: the kernel runs no 32-bit code (ia32 emulation off), or missing
        return False
    except subprocess.TimeoutExpired:
        return False


def _qemu_runs_32bit():
    """True when 32-bit programs would start through qemu-i386 user emulation (binfmt_misc)."""
    base = "/proc/sys/fs/binfmt_misc"
    try:
        names = os.listdir(base)
    except OSError:
        return False
    for name in names:
        try:
            with open(os.path.join(base, name)) as f:
                entry = f.read()
        except OSError:
            continue
        if entry.startswith("enabled") and "qemu-i386" in entry:
            return True
    return False


_loader_cache = {}


def loader_for(exe):
    """The Wine loader that runs this program, or WineUnavailable with the reason."""
    machine = pe_machine(exe)
    loader = {I386: LOADER32, AMD64: LOADER64}.get(machine)
    if loader is None:
        raise WineUnavailable("%s: unknown PE machine 0x%x" % (exe, machine))
    if loader == LOADER32 and _qemu_runs_32bit() and not os.environ.get("QVK_WINE_ALLOW_QEMU"):
        # Seen with qemu 7.2 and Wine 8.0: the loader churns for a minute, then dies with
        # "failed to map the shared user data". Better a clear skip than a run of time-outs.
        raise WineUnavailable("%s would run through qemu-i386 user emulation, under which Wine "
                              "does not start (set QVK_WINE_ALLOW_QEMU=1 to try)" % exe)
    if loader not in _loader_cache:
        _loader_cache[loader] = _can_exec(loader)
    if not _loader_cache[loader]:
        kind = "32-bit" if machine == I386 else "64-bit"
        raise WineUnavailable(
            "%s is a %s program and this host cannot run %s (cannot execute %s; for 32-bit "
            "programs the kernel needs ia32 emulation, see 'dmesg | grep 32-bit')"
            % (os.path.basename(exe), kind, loader, loader))
    return loader


def describe_program(exe):
    """Which file this is, for the test's output: path, and the shipped 32-bit file or the
    64-bit twin that stands in for it where this host cannot start 32-bit programs."""
    machine = pe_machine(exe)
    shipped = os.path.basename(exe).lower() == "qvk.exe"
    if machine == I386:
        kind = "the shipped 32-bit file" if shipped else "32-bit, as shipped"
    elif machine == AMD64:
        kind = "the 64-bit twin, not the shipped file" if shipped else "64-bit twin"
    else:
        kind = "PE machine 0x%x" % machine
    return "%s (%s)" % (os.path.abspath(exe), kind)


def unrunnable_reason(*exes):
    """None when Wine can run all these programs here, else why not."""
    for exe in exes:
        if not exe or not os.path.isfile(exe):
            raise WineError("program not found: %r" % exe)
        try:
            loader_for(exe)
        except WineUnavailable as why:
            return str(why)
    return None


# Where each program lies in a build folder, and the variable that names it directly.
PROGRAMS = {
    "qvk": ("src/win32/qvk.exe", "QVK_EXE"),
    "uidriver": ("tools/uidriver/uidriver.exe", "QVK_UIDRIVER"),
    "selftest": ("tools/uidriver/uidriver_selftest.exe", "QVK_UIDRIVER_SELFTEST"),
    "kitefetch": ("tools/kitefetch/kitefetch.exe", "QVK_KITEFETCH"),
    "faults": ("src/win32/qvk-faults.exe", "QVK_FAULTS_EXE"),
}


def build_dirs():
    """The Windows builds in order of preference: the shipped 32-bit one, then its 64-bit twin."""
    return [d for d in (os.environ.get("QVK_WIN_BUILD_DIR"), os.environ.get("QVK_WIN64_BUILD_DIR"))
            if d]


def product_path(name):
    """A program of the shipped build, whether or not this host can run it."""
    rel, var = PROGRAMS[name]
    dirs = build_dirs()
    return os.environ.get(var) or (os.path.join(dirs[0], rel) if dirs else None)


_chosen = {}


def programs(*names):
    """Paths of these programs, all from the first build that Wine can run here (so that the
    driver always matches the program it drives); WineUnavailable with every build's reason."""
    key = tuple(sorted(names))
    if key in _chosen:
        return _chosen[key]
    direct = {n: os.environ.get(PROGRAMS[n][1]) for n in names}
    if all(direct.values()):
        candidates = [direct]
    else:
        candidates = [{n: os.path.join(d, PROGRAMS[n][0]) for n in names} for d in build_dirs()]
    if not candidates:
        raise WineError("no Windows build given (QVK_WIN_BUILD_DIR)")
    reasons, missing = [], []
    for paths in candidates:
        absent = [p for p in paths.values() if not os.path.isfile(p)]
        if absent:
            missing.extend(absent)
            continue
        reason = unrunnable_reason(*paths.values())
        if reason is None:
            _chosen[key] = paths
            return paths
        reasons.append(reason)
    if missing:  # a build that was asked for but is not there is a fault, not a host limit
        raise WineError("not built: %s" % ", ".join(missing))
    raise WineUnavailable("; ".join(reasons))


def require_programs(*names):
    """For a test's start: the programs' paths, or exit with the skip code when no given build
    of them can run on this host."""
    try:
        return programs(*names)
    except WineUnavailable as why:
        print("SKIPPED: %s" % why, flush=True)
        sys.exit(SKIP)


def boot_loader():
    """The loader that makes the prefix: 64-bit where it runs, so both kinds of program fit."""
    for loader in (LOADER64, LOADER32):
        if _can_exec(loader):
            return loader
    raise WineError("no runnable Wine loader in %s" % WINE_DIR)


def wineserver_path():
    for name in ("wineserver64", "wineserver32", "wineserver"):
        path = os.path.join(WINE_DIR, name)
        if os.path.isfile(path) and _can_exec_server(path):
            return path
    found = shutil.which("wineserver")
    if found:
        return found
    raise WineError("no wineserver")


def _can_exec_server(path):
    try:
        subprocess.run([path, "--version"], stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=10, check=False)
        return True
    except (OSError, subprocess.TimeoutExpired):
        return False


# --- locales ---------------------------------------------------------------------------------

def locale_name(locale):
    """'fr_FR' -> 'fr_FR.UTF-8'; a name with a code set stays as it is."""
    return locale if "." in locale else locale + ".UTF-8"


def missing_locales():
    out = subprocess.run(["locale", "-a"], capture_output=True, text=True, timeout=20).stdout
    have = {line.strip().lower().replace("utf-8", "utf8") for line in out.splitlines()}
    return [l for l in LOCALES if (l + ".utf8").lower() not in have]


def ensure_locales():
    """Generates the locales the tests use, once; a no-op when they exist."""
    missing = missing_locales()
    if not missing:
        return []
    if shutil.which("localedef") is None or os.geteuid() != 0:
        raise WineError("locales %s are missing; run tools/setup.sh as root" % missing)
    for loc in missing:
        subprocess.run(["localedef", "-i", loc, "-c", "-f", "UTF-8", loc + ".UTF-8"],
                       check=True, timeout=120, stdout=subprocess.DEVNULL)
    return missing


# --- the shared environment: display + prefix ------------------------------------------------

def _display_free(n):
    return not (os.path.exists("/tmp/.X%d-lock" % n) or os.path.exists("/tmp/.X11-unix/X%d" % n))


def start_xvfb(log_path, first=90, last=400, attempts=5):
    """Starts Xvfb on the first free display number; returns (number, Popen)."""
    n = first
    for _ in range(attempts):
        while n <= last and not _display_free(n):
            n += 1
        if n > last:
            break
        log = open(log_path, "ab")
        proc = subprocess.Popen(["Xvfb", ":%d" % n, "-screen", "0", SCREEN, "-nolisten", "tcp"],
                                stdout=log, stderr=log, stdin=subprocess.DEVNULL,
                                start_new_session=True)
        log.close()
        socket = "/tmp/.X11-unix/X%d" % n
        try:
            wait_until(lambda: proc.poll() is not None or os.path.exists(socket), 15,
                       "Xvfb :%d" % n)
        except WineError:
            stop_process(proc)
            raise
        if proc.poll() is None:
            return n, proc
        n += 1  # another server took the number between our look and its start
    raise WineError("no free X display between :%d and :%d" % (first, last))


def wine_env(prefix, display, loader, locale=None):
    env = {k: v for k, v in os.environ.items()
           if not (k.startswith("LC_") or k in ("LANG", "LANGUAGE", "WINELOADER", "WINEDEBUG",
                                                "WINEPREFIX", "DISPLAY", "WINEARCH"))}
    name = locale_name(locale or "en_US")
    env.update(WINEPREFIX=prefix, DISPLAY=":%d" % display, WINEDEBUG="-all", LANG=name,
               LC_ALL=name, WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d")
    if loader == LOADER64:
        env["WINELOADER"] = LOADER64  # as Debian's wine script does when wine64 runs alone
    return env


# Wine has no Arial, and the face it falls back on is wider: the welcome picture's lines would
# be cut where Windows shows them whole. fonts-liberation's Liberation Sans has Arial's metrics.
FONT_REPLACEMENTS = {"Arial": "Liberation Sans"}


def map_fonts(env, loader, log=subprocess.DEVNULL):
    """Maps the faces the program asks for onto Debian's metric twins in a prefix (Wine reads
    HKCU\\Software\\Wine\\Fonts\\Replacements when a face is not installed)."""
    fc_list = shutil.which("fc-list")
    for face, twin in FONT_REPLACEMENTS.items():
        if fc_list and not subprocess.run([fc_list, twin], capture_output=True, text=True,
                                          timeout=30).stdout.strip():
            raise WineError("font %r is not installed (fonts-liberation); run tools/setup.sh"
                            % twin)
        subprocess.run([loader, "reg", "add", r"HKCU\Software\Wine\Fonts\Replacements",
                        "/v", face, "/t", "REG_SZ", "/d", twin, "/f"], env=env,
                       stdin=subprocess.DEVNULL, stdout=log, stderr=log, timeout=60, check=True)


def _read_state(path):
    with open(path) as f:
        return json.load(f)


def setup(state_path):
    """Fixture setup: display, prefix and a persistent wineserver, recorded in `state_path`."""
    work = os.path.dirname(os.path.abspath(state_path))
    os.makedirs(work, exist_ok=True)
    if os.path.exists(state_path):  # left by a run that never cleaned up
        cleanup(state_path)
    generated = ensure_locales()
    loader = boot_loader()
    server = wineserver_path()
    prefix = os.path.join(work, "prefix")
    shutil.rmtree(prefix, ignore_errors=True)
    display, xvfb = start_xvfb(os.path.join(work, "xvfb.log"))
    state = {"display": display, "xvfb_pid": xvfb.pid, "prefix": prefix, "work": work,
             "wineserver": server, "boot_loader": loader}
    with open(state_path, "w") as f:  # written first, so that cleanup finds Xvfb on failure
        json.dump(state, f, indent=1)
    env = wine_env(prefix, display, loader)
    started = time.monotonic()
    os.makedirs(prefix)
    # A persistent server keeps later starts at a fraction of a second; cleanup ends it. It
    # lives on after this process: it must not hold CTest's output pipe open.
    with open(os.path.join(work, "wineserver.log"), "ab") as log:
        subprocess.run([server, "-p"], env=env, timeout=30, check=True, stdin=subprocess.DEVNULL,
                       stdout=log, stderr=log)
    with open(os.path.join(work, "wineboot.log"), "wb") as log:
        boot = subprocess.run([loader, "wineboot", "-i"], env=env, stdout=log, stderr=log,
                              stdin=subprocess.DEVNULL, timeout=240)
    if not os.path.isdir(os.path.join(prefix, "drive_c", "windows")):
        raise WineError("wineboot made no prefix (exit %d), see wineboot.log" % boot.returncode)
    with open(os.path.join(work, "fonts.log"), "wb") as log:
        map_fonts(env, loader, log)
    state["boot_seconds"] = round(time.monotonic() - started, 1)
    state["locales_generated"] = generated
    with open(state_path, "w") as f:
        json.dump(state, f, indent=1)
    print("wine ready: display :%d, prefix %s, wineboot %.1f s"
          % (display, prefix, state["boot_seconds"]), flush=True)
    return state


def _pid_is(pid, name):
    try:
        with open("/proc/%d/cmdline" % pid, "rb") as f:
            return name.encode() in f.read()
    except OSError:
        return False


def cleanup(state_path):
    """Fixture cleanup: ends the prefix's Wine processes and Xvfb (by its recorded pid)."""
    if not os.path.exists(state_path):
        print("nothing to clean up")
        return
    state = _read_state(state_path)
    env = wine_env(state["prefix"], state["display"], state.get("boot_loader", LOADER64))
    try:
        subprocess.run([state["wineserver"], "-k"], env=env, timeout=30,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run([state["wineserver"], "-w"], env=env, timeout=30,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    except (OSError, subprocess.TimeoutExpired) as why:
        print("wineserver -k: %s" % why)
    pid = state.get("xvfb_pid")
    if pid and _pid_is(pid, "Xvfb"):  # never signal a pid that now belongs to someone else
        os.kill(pid, signal.SIGTERM)
        try:
            wait_until(lambda: not _pid_is(pid, "Xvfb"), 5, "Xvfb to end")
        except WineError:
            os.kill(pid, signal.SIGKILL)
    os.remove(state_path)
    print("wine cleaned up: display :%d" % state["display"], flush=True)


# --- what the tests use ----------------------------------------------------------------------

class Wine:
    """The shared display and prefix, as the fixture set them up."""

    def __init__(self, state_path=None):
        state_path = state_path or os.environ.get("QVK_WINE_STATE")
        if not state_path or not os.path.exists(state_path):
            raise WineError("no Wine state file %r: run the e2e_wine_setup fixture first"
                            % state_path)
        self.state = _read_state(state_path)
        self.display = self.state["display"]
        self.prefix = self.state["prefix"]

    def env(self, loader, locale=None):
        return wine_env(self.prefix, self.display, loader, locale)

    def start(self, exe, args=(), cwd=None, locale=None, **popen):
        loader = loader_for(exe)
        print("wine: starting %s" % describe_program(exe), flush=True)
        return _track(subprocess.Popen([loader, exe] + list(args), cwd=cwd,
                                       env=self.env(loader, locale), **popen))

    def screenshot(self, path):
        os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
        subprocess.run(["import", "-window", "root", "-display", ":%d" % self.display, path],
                       check=True, timeout=30, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        return path


def artifacts_dir(name=None):
    """The test's folder for screenshots, transcripts and its working folder."""
    base = os.environ.get("QVK_E2E_ARTIFACTS")
    if not base:
        base = os.path.join(os.getcwd(), "e2e-artifacts", name or "adhoc")
    os.makedirs(base, exist_ok=True)
    return base


def fresh_dir(path):
    shutil.rmtree(path, ignore_errors=True)
    os.makedirs(path)
    return path


def unescape(text):
    """Undoes the driver's escaping of backslash, CR, LF and TAB."""
    out, i = [], 0
    while i < len(text):
        c = text[i]
        if c == "\\" and i + 1 < len(text):
            nxt = text[i + 1]
            out.append({"\\": "\\", "r": "\r", "n": "\n", "t": "\t"}.get(nxt, "\\" + nxt))
            i += 2
        else:
            out.append(c)
            i += 1
    return "".join(out)


class Driver:
    """uidriver.exe over pipes: d.cmd("text 31") -> "Please read..."; raises DriverError with
    the driver's answer on "error ...". A transcript of the exchange goes to `transcript`."""

    def __init__(self, wine, exe=None, locale=None, cwd=None, transcript=None):
        exe = exe or programs("uidriver")["uidriver"]
        if not exe or not os.path.isfile(exe):
            raise WineError("uidriver.exe not found: %r" % exe)
        self._log = open(transcript, "a", encoding="utf-8") if transcript else None
        self.proc = wine.start(exe, cwd=cwd, locale=locale, stdin=subprocess.PIPE,
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self._lines = queue.Queue()
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()
        self.default_ms = DRIVER_TIMEOUT_MS

    def _read(self):
        for raw in iter(self.proc.stdout.readline, b""):
            self._lines.put(raw.rstrip(b"\r\n").decode("cp1252", errors="replace"))
        self._lines.put(None)

    def _note(self, text):
        if self._log:
            self._log.write(text + "\n")
            self._log.flush()

    def cmd(self, line, timeout_ms=None):
        """Sends one command; returns the text after "ok" (unescaped), "" for a plain "ok"."""
        if timeout_ms is not None:
            line = "@%d %s" % (timeout_ms, line)
        ms = timeout_ms or self.default_ms
        if line.startswith("timeout "):
            ms = self.default_ms
        if self.proc.poll() is not None:
            raise WineError("uidriver.exe has ended (exit %s)" % self.proc.returncode)
        self._note("> " + line)
        self.proc.stdin.write(line.encode("cp1252") + b"\n")
        self.proc.stdin.flush()
        try:
            answer = self._lines.get(timeout=ms / 1000.0 + 20)
        except queue.Empty:
            raise WineError("uidriver.exe gave no answer to %r" % line)
        if answer is None:
            raise WineError("uidriver.exe ended while answering %r" % line)
        self._note("< " + answer)
        if answer == "ok":
            result = ""
        elif answer.startswith("ok "):
            result = unescape(answer[3:])
        elif answer.startswith("error"):
            raise DriverError("%s -> %s" % (line, unescape(answer)))
        else:
            raise WineError("unexpected answer %r to %r" % (answer, line))
        if line.startswith("timeout "):
            self.default_ms = int(line.split()[1])
        return result

    def try_cmd(self, line, timeout_ms=None):
        """As cmd, but returns None instead of raising on an "error" answer."""
        try:
            return self.cmd(line, timeout_ms)
        except DriverError:
            return None

    def close(self):
        if self.proc.poll() is None:
            try:
                self.proc.stdin.write(b"quit\n")
                self.proc.stdin.flush()
                self.proc.wait(timeout=5)
            except (OSError, subprocess.TimeoutExpired):
                pass
        stop_process(self.proc)
        if self._log:
            self._log.close()
            self._log = None

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


class Run:
    """One program started under Wine, with its driver; a context manager that stops both."""

    def __init__(self, wine, exe, args, cwd, locale=None, timeout=60, artifacts=None):
        self.wine, self.exe, self.cwd, self.locale = wine, exe, cwd, locale
        self.artifacts = artifacts or artifacts_dir()  # never the program's own folder
        self.deadline = time.monotonic() + timeout
        self._out = open(os.path.join(self.artifacts, "wine-output.txt"), "ab")
        try:
            self.proc = wine.start(exe, args, cwd=cwd, locale=locale, stdin=subprocess.DEVNULL,
                                   stdout=self._out, stderr=self._out)
        except BaseException:
            self._out.close()
            raise
        self._driver = None
        self.shots = 0

    @property
    def driver(self):
        if self._driver is None:
            self._driver = Driver(self.wine, locale=self.locale, cwd=self.cwd,
                                  transcript=os.path.join(self.artifacts, "driver.txt"))
        return self._driver

    def cmd(self, line, timeout_ms=None):
        return self.driver.cmd(line, timeout_ms)

    def wait(self, timeout=None):
        """The program's exit code; WineError when it is still running after `timeout` s."""
        left = self.deadline - time.monotonic()
        timeout = max(0.1, left if timeout is None else min(timeout, left))
        try:
            return self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise WineError("%s still running after %.1f s" % (os.path.basename(self.exe), timeout))

    def running(self):
        return self.proc.poll() is None

    def screenshot(self, name=None):
        self.shots += 1
        name = name or "shot-%02d" % self.shots
        return self.wine.screenshot(os.path.join(self.artifacts, name + ".png"))

    def stop(self):
        if self._driver is not None:
            self._driver.close()
        stop_process(self.proc)
        self._out.close()

    def __enter__(self):
        return self

    def __exit__(self, exc_type, *exc):
        if exc_type is not None and self.running():
            try:  # the state of the screen when a test failed is the most useful artifact
                self.screenshot("failure")
            except (OSError, subprocess.SubprocessError, WineError):
                pass
        self.stop()


def qvk_exe():
    """The qvk.exe that runs here: the product's where possible, else its 64-bit twin's."""
    return programs("qvk", "uidriver")["qvk"]


def run_qvk(args, cwd, locale=None, timeout=60, wine=None, artifacts=None):
    """Starts qvk.exe with `args` in the working folder `cwd`; returns a Run."""
    return Run(wine or Wine(), qvk_exe(), args, cwd, locale=locale, timeout=timeout,
               artifacts=artifacts)


# --- the prefix's registry -------------------------------------------------------------------

def registry_view(exe):
    """The registry view a program reads: "32" for a 32-bit one (HKLM\\SOFTWARE redirected)."""
    return "32" if pe_machine(exe) == I386 else "64"


def _reg_text(kind, data):
    if kind == "REG_DWORD":
        return "dword:%08x" % int(data)
    if kind == "REG_SZ":
        return '"%s"' % data.replace("\\", "\\\\").replace('"', '\\"')
    code = {"REG_EXPAND_SZ": 2, "REG_MULTI_SZ": 7}[kind]
    return "hex(%d):%s" % (code, ",".join("%02x" % b for b in (data + "\0").encode("utf-16-le")))


@contextlib.contextmanager
def registry_values(wine, view, created, values):
    """Writes (key, name, kind, data) values, name "" for a key's default value, into the
    prefix's registry in that view, all from one .reg file that `reg import` reads; on exit
    deletes the keys `created`, the highest keys the values make. None of those may exist
    before: the registry is left as found. A failure shows reg's own words."""
    loader = wine.state.get("boot_loader", LOADER64)

    def reg(*args):  # its words go to a file: the Wine services it may start keep pipes open
        with tempfile.TemporaryFile() as out:
            code = subprocess.run([loader, "reg"] + list(args) + ["/reg:" + view], stdout=out,
                                  stderr=out, stdin=subprocess.DEVNULL, env=wine.env(loader),
                                  timeout=120).returncode
            out.seek(0)
            return code, out.read().decode("utf-8", "replace").strip()
    present = [key for key in created if reg("query", key)[0] == 0]
    if present:
        raise WineError("the prefix already holds %s" % present)
    lines = ["Windows Registry Editor Version 5.00"]
    for key, name, kind, data in values:
        long_root = key.replace("HKLM\\", "HKEY_LOCAL_MACHINE\\").replace(
            "HKCU\\", "HKEY_CURRENT_USER\\").replace("HKCR\\", "HKEY_CLASSES_ROOT\\")
        lines += ["", "[%s]" % long_root, '%s=%s' % ('@' if name == "" else '"%s"' % name,
                                                     _reg_text(kind, data))]
    with tempfile.NamedTemporaryFile("w", suffix=".reg", encoding="utf-16", dir=wine.prefix,
                                     delete=False) as f:
        f.write("\r\n".join(lines) + "\r\n")
    try:
        code, said = reg("import", "Z:" + f.name.replace("/", "\\"))
        if code != 0:
            raise WineError("reg import of %s failed (exit %d): %s\n%s"
                            % (f.name, code, said, "\n".join(lines)))
        yield
    finally:
        failed = [(key, said) for key in created for code, said in [reg("delete", key, "/f")]
                  if code != 0]
        os.remove(f.name)
    if failed:  # reached only when the test itself went through
        raise WineError("could not delete %s" % failed)


EDITIONS = {"Quorvane": ("Quorvane.exe", "HKLM\\SOFTWARE\\Quorvane"),
            "Quorvane Studio": ("qv-studio.exe", "HKLM\\SOFTWARE\\Quorvane Studio")}


def editor_folder(wine, edition, *rest):
    return os.path.join(wine.prefix, "drive_c", "Program Files", edition, *rest)


@contextlib.contextmanager
def installed_editions(wine, editions, ini_text, registered=True):
    """Each edition "installed" anew: its folder under C:\\Program Files with nothing but its
    program and a Quorvane.ini of `ini_text`, and (when `registered`) its folder as the default
    value of its own key, which the program's registry probe reads; the keys go on exit."""
    for edition in editions:
        exe = EDITIONS[edition][0]
        with open(os.path.join(fresh_dir(editor_folder(wine, edition)), exe), "wb"):
            pass
        with open(editor_folder(wine, edition, "Quorvane.ini"), "w", newline="") as f:
            f.write(ini_text)
    keys = [EDITIONS[e][1] for e in editions] if registered else []
    values = [(EDITIONS[e][1], "", "REG_SZ", "C:\\Program Files\\%s\\" % e)
              for e in editions] if registered else []
    with registry_values(wine, registry_view(qvk_exe()), keys, values):
        yield


# --- the loopback plugin server ---------------------------------------------------------------

SOURCE_DIR = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


class PluginServer:
    """tools/plugin_server.py on one loopback address, port 80, serving `root`; `requests()`
    reads its request log. Use as a context manager: the server is stopped by its pid."""

    def __init__(self, root, address, rules=None, lifetime=600):
        self.root, self.address = root, address
        self.log_path = os.path.join(root, "..", "requests-%s.jsonl" % address)
        if os.path.exists(self.log_path):
            os.remove(self.log_path)
        args = [sys.executable, os.path.join(SOURCE_DIR, "tools", "plugin_server.py"),
                "--address", address, "--root", root, "--request-log", self.log_path,
                "--lifetime", str(lifetime)]
        if rules:
            args += ["--rules", rules]
        self.proc = _track(subprocess.Popen(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                            text=True, start_new_session=True))
        lines = queue.Queue()
        threading.Thread(target=lambda: lines.put(self.proc.stdout.readline()), daemon=True).start()
        try:
            first = lines.get(timeout=20)
        except queue.Empty:
            first = ""
        if first.strip() != "ready":
            stop_process(self.proc)
            raise WineError("plugin server on %s did not start: %s %s"
                            % (address, first, self.proc.stderr.read() if self.proc.stderr else ""))

    def requests(self):
        if not os.path.exists(self.log_path):
            return []
        with open(self.log_path) as f:
            return [json.loads(line) for line in f if line.strip()]

    def stop(self):
        stop_process(self.proc)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()


def own_plugin_server(root, build, rules=None, attempts=5):
    """A PluginServer on an address of this process's own (other runs test on this machine
    too), serving the site that `build(root, address)` writes; the server has `.address`."""
    for attempt in range(attempts):
        n = os.getpid() + attempt * 7919
        address = "127.%d.%d.%d" % (192 + (n >> 16 & 63), n >> 8 & 255, 1 + (n & 255) % 254)
        build(root, address)
        try:
            return PluginServer(root, address, rules=rules)
        except WineError:
            if attempt == attempts - 1:
                raise
    raise WineError("no plugin server")


# --- pixels from screenshots -----------------------------------------------------------------

def _convert():
    return shutil.which("convert") or shutil.which("magick")


def pixel(png, x, y):
    """(r, g, b) of one pixel of a screenshot."""
    out = subprocess.run([_convert(), png, "-crop", "1x1+%d+%d" % (x, y), "-depth", "8", "txt:-"],
                         capture_output=True, text=True, timeout=30, check=True).stdout
    for line in out.splitlines():
        if line.startswith("0,0:"):
            values = line.split("(", 1)[1].split(")", 1)[0].split(",")
            return tuple(int(float(v)) for v in values[:3])
    raise WineError("no pixel in %r" % out)


def unique_colours(png, x, y, w, h):
    """How many different colours a region of a screenshot holds (1 means a flat area)."""
    out = subprocess.run([_convert(), png, "-crop", "%dx%d+%d+%d" % (w, h, x, y), "+repage",
                          "-format", "%k", "info:"],
                         capture_output=True, text=True, timeout=30, check=True).stdout
    return int(out.strip())


def main(argv):
    if len(argv) != 2 or argv[1] not in ("setup", "cleanup"):
        print("usage: winelib.py setup|cleanup (QVK_WINE_STATE names the state file)")
        return 2
    state_path = os.environ.get("QVK_WINE_STATE")
    if not state_path:
        print("QVK_WINE_STATE is not set")
        return 2
    if argv[1] == "setup":
        try:
            setup(state_path)
        except BaseException:
            cleanup(state_path)  # leave no Xvfb behind when the prefix could not be made
            raise
    else:
        cleanup(state_path)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
