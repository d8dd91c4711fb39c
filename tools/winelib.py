"""The Wine environment of the demo, the download benchmark and the end-to-end tests: the
Windows programs under Wine on an Xvfb display, driven through uidriver.exe, which answers one
line per command, with the loopback plugin server and the prefix's registry. One test run shares
one prefix and one display: `winelib.py setup` (a CTest fixture) starts Xvfb, makes the prefix and writes the state
file named by QVK_WINE_STATE, `winelib.py cleanup` ends them. QVK_WIN_BUILD_DIR names the shipped
32-bit build, QVK_WIN64_BUILD_DIR its 64-bit twin, run where 32-bit programs cannot start;
QVK_E2E_ARTIFACTS a test's folder. Every wait is bounded; what is started is stopped by its pid."""

import atexit
import contextlib
import glob
import hashlib
import json
import os
import queue
import re
import shlex
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import threading
import time

SOURCE_DIR = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(SOURCE_DIR, "tools"))
import catalogue_site  # noqa: E402

WINE_DIR = os.environ.get("QVK_WINE_DIR", "/usr/lib/wine")
LOADER32, LOADER64 = os.path.join(WINE_DIR, "wine"), os.path.join(WINE_DIR, "wine64")
# What Wine processes that may start 32-bit code are started through: tools/lane32.sh's "run",
# which the 32-bit lane sets, so that they run under qemu-i386 where the kernel cannot run them.
LAUNCHER = shlex.split(os.environ.get("QVK_WINE_LAUNCHER", ""))
SKIP = 77  # CTest's SKIP_RETURN_CODE for the e2e tests
DRIVER_TIMEOUT_MS = 10000
START_MS = 30000  # for a program's first window: a start under Wine on a loaded machine is slow
# wineboot fills the prefix's 32-bit half too: minutes when that code runs under qemu-i386.
BOOT_TIMEOUT = 720 if os.environ.get("QVK_WINE_ALLOW_QEMU") else 240
LOCALES = ("en_US", "fr_FR", "de_DE")
I386, AMD64 = 0x14C, 0x8664


class WineError(Exception):
    """The harness could not do what was asked (Wine, Xvfb or a process misbehaved)."""


class WineUnavailable(WineError):
    """This host cannot run the given program under Wine at all."""


class DriverError(AssertionError):
    """uidriver.exe answered "error ..." (the answer is the message)."""


class _Stopped:
    """A context manager that calls its stop() on leaving."""

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()


_started = []  # every Popen this module started, stopped at exit whatever happened
atexit.register(lambda: [stop_process(p, 2.0) for p in reversed(_started)])


def _track(proc):
    _started.append(proc)
    return proc


def stop_process(proc, grace=3.0):
    """Ends one process we started, by its pid: TERM, then KILL after `grace` seconds."""
    for end in (proc.terminate, proc.kill) if proc is not None else ():
        with contextlib.suppress(subprocess.TimeoutExpired, ProcessLookupError):
            if proc.poll() is None:
                end()
            proc.wait(timeout=grace)
            return


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
    offset = int.from_bytes(head[0x3C:0x40], "little")
    if head[:2] != b"MZ" or head[offset:offset + 4] != b"PE\0\0":
        raise WineError("%s is not a Windows program" % path)
    return int.from_bytes(head[offset + 4:offset + 6], "little")


def _can_exec(path):
    try:  # ENOEXEC: no ia32 emulation in the kernel for a 32-bit loader
        subprocess.run(LAUNCHER + [path, "--version"], capture_output=True, timeout=20)
    except (OSError, subprocess.TimeoutExpired):
        return False
    return True


def _qemu_runs_32bit():
    """True when 32-bit programs would start through qemu-i386 user emulation (binfmt_misc):
    seen with qemu 7.2 and Wine 8.0, the loader churns for a minute, then dies."""
    for entry in glob.glob("/proc/sys/fs/binfmt_misc/*"):
        with contextlib.suppress(OSError), open(entry) as f:
            text = f.read()
            if text.startswith("enabled") and "qemu-i386" in text:
                return True
    return False


_runnable = {}


def loader_for(exe):
    """The Wine loader that runs this program, or WineUnavailable with the reason."""
    machine = pe_machine(exe)
    loader = {I386: LOADER32, AMD64: LOADER64}.get(machine)
    if loader == LOADER32 and _qemu_runs_32bit() and not os.environ.get("QVK_WINE_ALLOW_QEMU"):
        raise WineUnavailable("%s would run through qemu-i386, under which Wine does not start "
                              "(set QVK_WINE_ALLOW_QEMU=1 to try)" % exe)
    if loader not in _runnable:
        _runnable[loader] = loader is not None and _can_exec(loader)
    if not _runnable[loader]:
        raise WineUnavailable("%s (PE machine 0x%x): this host cannot execute %s (32-bit programs "
                              "need ia32 emulation in the kernel)" % (exe, machine, loader))
    return loader


# Where each program lies in a build folder.
PROGRAMS = {"qvk": "src/win32/qvk.exe", "uidriver": "tools/uidriver/uidriver.exe",
            "faults": "src/win32/qvk-faults.exe"}


def programs(*names):
    """Paths of these programs, all from the first build that Wine can run here (so that the
    driver always matches the program it drives); WineUnavailable with every build's reason."""
    reasons, absent = [], []
    for folder in filter(None, map(os.environ.get, ("QVK_WIN_BUILD_DIR", "QVK_WIN64_BUILD_DIR"))):
        paths = {n: os.path.join(folder, PROGRAMS[n]) for n in names}
        absent += [p for p in paths.values() if not os.path.isfile(p)]
        try:
            if all(map(os.path.isfile, paths.values())) and all(map(loader_for, paths.values())):
                return paths
        except WineUnavailable as why:
            reasons.append(str(why))
    if absent:  # a build that was asked for but is not there is a fault, not a host limit
        raise WineError("not built: %s" % ", ".join(absent))
    raise WineUnavailable("; ".join(reasons) or "no Windows build given (QVK_WIN_BUILD_DIR)")


def require_programs(*names):
    """For a test's start: the programs' paths, or exit with the skip code when no given build
    of them can run on this host."""
    try:
        return programs(*names)
    except WineUnavailable as why:
        print("SKIPPED: %s" % why, flush=True)
        sys.exit(SKIP)


def qvk_exe():
    """The qvk.exe that runs here: the product's where possible, else its 64-bit twin's."""
    return programs("qvk", "uidriver")["qvk"]


# --- the shared environment: display + prefix ------------------------------------------------

def ensure_locales():
    """Generates the locales the tests use, once; a no-op when they exist."""
    out = subprocess.run(["locale", "-a"], capture_output=True, text=True, timeout=20).stdout
    have = {line.strip().lower() for line in out.splitlines()}
    missing = [loc for loc in LOCALES if loc.lower() + ".utf8" not in have]
    if missing and os.geteuid() != 0:
        raise WineError("locales %s are missing; run tools/setup.sh as root" % missing)
    for loc in missing:
        subprocess.run(["localedef", "-i", loc, "-c", "-f", "UTF-8", loc + ".UTF-8"],
                       check=True, timeout=120, stdout=subprocess.DEVNULL)
    return missing


def start_xvfb(log_path, first=90, last=400):
    """Starts Xvfb on the first free display number; returns (number, Popen)."""
    for n in range(first, last + 1):
        if os.path.exists("/tmp/.X%d-lock" % n) or os.path.exists("/tmp/.X11-unix/X%d" % n):
            continue
        with open(log_path, "ab") as log:
            proc = subprocess.Popen(["Xvfb", ":%d" % n, "-screen", "0", "1024x768x24",
                                     "-nolisten", "tcp"], stdout=log, stderr=log,
                                    stdin=subprocess.DEVNULL, start_new_session=True)
        try:
            wait_until(lambda: proc.poll() is not None or os.path.exists("/tmp/.X11-unix/X%d" % n),
                       15, "Xvfb :%d" % n)
        except WineError:
            stop_process(proc)
            raise
        if proc.poll() is None:
            return n, proc  # else another server took the number between our look and its start
    raise WineError("no free X display between :%d and :%d" % (first, last))


def wine_env(prefix, display, loader, locale=None):
    env = {k: v for k, v in os.environ.items()
           if not (k.startswith("LC_") or k in ("LANG", "LANGUAGE", "WINELOADER", "WINEDEBUG",
                                                "WINEPREFIX", "DISPLAY", "WINEARCH"))}
    name = (locale or "en_US") + ".UTF-8"
    env.update(WINEPREFIX=prefix, DISPLAY=":%d" % display, WINEDEBUG="-all", LANG=name,
               LC_ALL=name, WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d")
    if loader == LOADER64:
        env["WINELOADER"] = LOADER64  # as Debian's wine script does when wine64 runs alone
    return env


def map_fonts(env, loader):
    """Wine has no Arial, and the face it falls back on is wider: the welcome picture's lines
    would be cut where Windows shows them whole. fonts-liberation's Liberation Sans has Arial's
    metrics; Wine reads HKCU\\Software\\Wine\\Fonts\\Replacements when a face is missing."""
    if not subprocess.run(["fc-list", "Liberation Sans"], capture_output=True, text=True,
                          timeout=30).stdout.strip():
        raise WineError("font Liberation Sans is not installed (fonts-liberation)")
    code, said = reg(env, loader, "add", r"HKCU\Software\Wine\Fonts\Replacements", "/v", "Arial",
                     "/t", "REG_SZ", "/d", "Liberation Sans", "/f")
    if code != 0:
        raise WineError("reg could not map Arial to Liberation Sans (exit %d): %s" % (code, said))


def setup(state_path):
    """Fixture setup: display, prefix and a persistent wineserver, recorded in `state_path`."""
    work = os.path.dirname(os.path.abspath(state_path))
    os.makedirs(work, exist_ok=True)
    if os.path.exists(state_path):  # left by a run that never cleaned up
        cleanup(state_path)
    generated = ensure_locales()
    loader = next((l for l in (LOADER64, LOADER32) if _can_exec(l)), None)
    server = next((s for s in (os.path.join(WINE_DIR, n) for n in ("wineserver64", "wineserver32",
                  "wineserver")) if os.path.isfile(s) and _can_exec(s)), shutil.which("wineserver"))
    if not loader or not server:
        raise WineError("no runnable Wine loader and server in %s" % WINE_DIR)
    prefix = os.path.join(work, "prefix")
    shutil.rmtree(prefix, ignore_errors=True)
    display, xvfb = start_xvfb(os.path.join(work, "xvfb.log"))
    state = {"display": display, "xvfb_pid": xvfb.pid, "prefix": prefix, "work": work,
             "wineserver": server, "boot_loader": loader, "locales_generated": generated}
    with open(state_path, "w") as f:  # written first, so that cleanup finds Xvfb on failure
        json.dump(state, f, indent=1)
    env = wine_env(prefix, display, loader)
    started = time.monotonic()
    os.makedirs(prefix)
    # A persistent server keeps later starts at a fraction of a second; cleanup ends it. It
    # lives on after this process: it must not hold CTest's output pipe open.
    with open(os.path.join(work, "wineboot.log"), "wb") as log:
        subprocess.run([server, "-p"], env=env, timeout=30, check=True, stdin=subprocess.DEVNULL,
                       stdout=log, stderr=log)
        # Through the launcher, so that the prefix gets its 32-bit half (syswow64 and the
        # registry's 32-bit view) even where 32-bit code runs only under the emulator.
        boot = subprocess.run(LAUNCHER + [loader, "wineboot", "-i"], env=env, stdout=log,
                              stderr=log, stdin=subprocess.DEVNULL, timeout=BOOT_TIMEOUT)
        if not os.path.isdir(os.path.join(prefix, "drive_c", "windows")):
            raise WineError("wineboot made no prefix (exit %d), see wineboot.log" % boot.returncode)
        map_fonts(env, loader)
    print("wine ready: display :%d, prefix %s, wineboot %.1f s"
          % (display, prefix, time.monotonic() - started), flush=True)
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
        return
    with open(state_path) as f:
        state = json.load(f)
    env = wine_env(state["prefix"], state["display"], state["boot_loader"])
    for flag in ("-k", "-w"):
        with contextlib.suppress(OSError, subprocess.TimeoutExpired):
            subprocess.run([state["wineserver"], flag], env=env, timeout=30,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    pid = state["xvfb_pid"]
    if _pid_is(pid, "Xvfb"):  # never signal a pid that now belongs to someone else
        os.kill(pid, signal.SIGTERM)
        with contextlib.suppress(WineError):
            wait_until(lambda: not _pid_is(pid, "Xvfb"), 5, "Xvfb to end")
        if _pid_is(pid, "Xvfb"):
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
        with open(state_path) as f:
            self.state = json.load(f)
        self.display, self.prefix = self.state["display"], self.state["prefix"]

    def env(self, loader, locale=None):
        return wine_env(self.prefix, self.display, loader, locale)

    def start(self, exe, args=(), cwd=None, locale=None, **popen):
        loader = loader_for(exe)
        print("wine: starting %s (PE machine 0x%x)" % (exe, pe_machine(exe)), flush=True)
        return _track(subprocess.Popen(LAUNCHER + [loader, exe] + list(args), cwd=cwd,
                                       env=self.env(loader, locale), **popen))

    def screenshot(self, path):
        subprocess.run(["import", "-window", "root", "-display", ":%d" % self.display, path],
                       check=True, timeout=30, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return path

    def path(self, windows_path):
        """Where a C: path of the prefix lies on this host, names matched without regard to case
        as Windows does."""
        path = os.path.join(self.prefix, "drive_c")
        for part in [p for p in windows_path.split(":", 1)[1].split("\\") if p]:
            names = os.listdir(path) if os.path.isdir(path) else []
            path = os.path.join(path, next((n for n in names if n.lower() == part.lower()), part))
        return path


def outside_ctest(work):
    """Sets up a program run outside CTest, such as a benchmark: the programs where
    tools/build-windows.sh leaves them (unless named), and a prefix and artifacts of its own
    below `work`. Returns the path of the prefix's state file."""
    os.environ.setdefault("QVK_WIN_BUILD_DIR", os.path.join(SOURCE_DIR, "build", "win32"))
    os.environ.setdefault("QVK_WIN64_BUILD_DIR", os.path.join(SOURCE_DIR, "build", "win64"))
    os.environ["QVK_E2E_ARTIFACTS"] = os.path.join(work, "artifacts")
    state_path = os.environ["QVK_WINE_STATE"] = os.path.join(work, "wine", "state.json")
    return state_path


def artifacts_dir(name=None):
    """The test's folder for screenshots, transcripts and its working folder."""
    base = os.environ.get("QVK_E2E_ARTIFACTS") or os.path.join(os.getcwd(), "e2e-artifacts",
                                                               name or "adhoc")
    os.makedirs(base, exist_ok=True)
    return base


def fresh_dir(path):
    shutil.rmtree(path, ignore_errors=True)
    os.makedirs(path)
    return path


def read_log(cwd, name="qvk.log"):
    """The log as far as the program has written it: its lines, cp1252, without line ends."""
    with open(os.path.join(cwd, name), "rb") as f:
        return f.read().decode("cp1252").split("\r\n")[:-1]


def work_folders(wine):
    """The program's work folders ("qvk" in a user's temp folder) now in the prefix."""
    return sorted(glob.glob(os.path.join(wine.prefix, "drive_c", "users", "**", "qvk"),
                            recursive=True))


# The driver's quoting rule for every text on its lines (tools/uidriver/uidriver.cpp says it whole):
# UTF-8, with backslash, "|", CR, LF, TAB and the other control characters escaped.
_ESCAPES = {"\\": "\\\\", "|": "\\|", "\r": "\\r", "\n": "\\n", "\t": "\\t"}


def quote(text):
    """A text as a driver command takes it: `"window " + quote(title)`."""
    return "".join(_ESCAPES.get(c) or ("\\x%02x" % ord(c) if ord(c) < 32 or c == "\x7f" else c)
                   for c in text)


def unescape(text):
    """A text of a driver answer as the window holds it."""
    return re.sub(r"\\(x[0-9a-fA-F]{2}|.)", lambda m: {"r": "\r", "n": "\n", "t": "\t"}.get(
        m[1], chr(int(m[1][1:], 16)) if len(m[1]) == 3 else m[1]), text)


def split_texts(answer):
    """The texts of an answer that holds several ("windows", "message"), each unescaped."""
    if not answer:
        return []
    fields = re.findall(r"((?:\\.|[^\\|])*)(\||$)", answer)
    return [unescape(f) for f, _ in fields[:1 + [end for _, end in fields].index("")]]


class Driver(_Stopped):
    """uidriver.exe over pipes: d.cmd("text 31") -> "Please read..."; raises DriverError with
    the driver's answer on "error ...". A transcript of the exchange goes to `transcript`."""

    def __init__(self, wine, exe=None, locale=None, cwd=None, transcript=None):
        exe = exe or programs("uidriver")["uidriver"]
        self._log = open(transcript, "a", encoding="utf-8") if transcript else None
        self.proc = wine.start(exe, cwd=cwd, locale=locale, stdin=subprocess.PIPE,
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self._lines = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for raw in iter(self.proc.stdout.readline, b""):
            self._lines.put(raw.rstrip(b"\r\n").decode("utf-8", errors="replace"))
        self._lines.put(None)

    def cmd(self, line, timeout_ms=None):
        """Sends one command; returns the text after "ok" (unescaped), "" for a plain "ok".
        A text in `line` must be quoted: "window " + quote(title)."""
        return unescape(self.ask(line, timeout_ms))

    def texts(self, line, timeout_ms=None):
        """The texts of an answer that holds several: texts("windows") -> the titles."""
        return split_texts(self.ask(line, timeout_ms))

    def ask(self, line, timeout_ms=None):
        """Sends one command; the answer after "ok" as it came, still quoted."""
        if timeout_ms is not None:
            line = "@%d %s" % (timeout_ms, line)
        ms = int(line[1:].split()[0]) if line.startswith("@") else DRIVER_TIMEOUT_MS
        if self.proc.poll() is not None:
            raise WineError("uidriver.exe has ended (exit %s)" % self.proc.returncode)
        if self._log:
            self._log.write("> %s\n" % line)
        self.proc.stdin.write(line.encode("utf-8") + b"\n")
        self.proc.stdin.flush()
        try:
            answer = self._lines.get(timeout=ms / 1000.0 + 20)
        except queue.Empty:
            raise WineError("uidriver.exe gave no answer to %r" % line)
        if answer is None:
            raise WineError("uidriver.exe ended while answering %r" % line)
        if self._log:
            self._log.write("< %s\n" % answer)
            self._log.flush()
        if answer == "ok" or answer.startswith("ok "):
            return answer[3:]
        if answer.startswith("error"):
            raise DriverError("%s -> %s" % (line, unescape(answer)))
        raise WineError("unexpected answer %r to %r" % (answer, line))

    def stop(self):
        if self.proc.poll() is None:
            with contextlib.suppress(OSError, subprocess.TimeoutExpired):
                self.proc.stdin.write(b"quit\n")
                self.proc.stdin.flush()
                self.proc.wait(timeout=5)
        stop_process(self.proc)
        if self._log:
            self._log.close()
            self._log = None

    close = stop  # the name it had first


class Run(_Stopped):
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
        self._driver, self.shots = None, 0

    @property
    def driver(self):
        if self._driver is None:
            self._driver = Driver(self.wine, locale=self.locale, cwd=self.cwd,
                                  transcript=os.path.join(self.artifacts, "driver.txt"))
        return self._driver

    def cmd(self, line, timeout_ms=None):
        return self.driver.cmd(line, timeout_ms)

    def texts(self, line, timeout_ms=None):
        return self.driver.texts(line, timeout_ms)

    def check(self, expected):
        """The answers to the queries of `expected` ({"text 31": "..."}), to compare whole."""
        return {query: self.cmd(query) for query in expected}

    def cmds(self, *lines):
        """Several commands in a row; the answer of the last."""
        return [self.cmd(line) for line in lines][-1]

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
        if self.running():  # the screen when a test failed is the most useful artifact
            with contextlib.suppress(OSError, subprocess.SubprocessError, WineError):
                self.screenshot("at-stop")
        if self._driver is not None:
            self._driver.stop()
        stop_process(self.proc)
        self._out.close()


def run_qvk(args, cwd, locale=None, timeout=60, wine=None, artifacts=None, exe=None):
    """Starts qvk.exe (or `exe`) with `args` in the working folder `cwd`; returns a Run."""
    return Run(wine or Wine(), exe or qvk_exe(), args, cwd, locale=locale, timeout=timeout,
               artifacts=artifacts)


def run_unattended(wine, args, cwd, locale=None, timeout=90, exe=None):
    """qvk.exe (or `exe`) with `args` (-silent among them) in `cwd`, to its end: (exit code,
    console output)."""
    proc = wine.start(exe or qvk_exe(), list(args), cwd=cwd, locale=locale,
                      stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    try:
        out = proc.communicate(timeout=timeout)[0].decode("cp1252")
    finally:
        stop_process(proc)
    return exit_code_of_account(proc.returncode, out), out


def exit_code_of_account(status, out):
    """The program's exit code from the Unix status of its run. Once a process's last Windows
    thread has ended, wineserver gives its Unix side about half a second to be gone and then
    sends it SIGKILL (process_sigkill in Wine's server/process.c); on a loaded machine the C
    library's exit handlers, waiting on threads Wine is taking down, can last that long. The
    Windows exit code is then lost to a Unix parent, but an unattended run's account, whole up
    to its last line, states it: that line is taken, and the swap said aloud."""
    whole = re.search(r"\r\nExit code: (\d+) \([^\r\n]*\)\r\n\Z", out)
    if status != -signal.SIGKILL or not whole:
        return status
    print("wine: SIGKILL from wineserver after the program's end; its exit code %s is taken "
          "from its account" % whole.group(1), file=sys.stderr, flush=True)
    return int(whole.group(1))


# --- the prefix's registry -------------------------------------------------------------------

# What start.exe says when the process it was to start died before it ran: `wine reg` goes
# through start.exe, whose new process can die in Wine's own start-up on a loaded machine.
NOT_STARTED = "Application could not be started"


def reg(env, loader, *args, attempts=3):
    """Wine's reg.exe with `args`: (exit code, its words). A reg that never got to run, which
    says nothing of the registry, is started again, aloud, up to `attempts` times in all."""
    for attempt in range(1, attempts + 1):
        # Its words go to a file: the Wine services it may start keep pipes open.
        with tempfile.TemporaryFile() as out:
            code = subprocess.run([loader, "reg"] + list(args), stdout=out, stderr=out,
                                  stdin=subprocess.DEVNULL, env=env, timeout=120).returncode
            out.seek(0)
            said = out.read().decode("utf-8", "replace").strip()
        if NOT_STARTED not in said:
            return code, said
        print("wine: reg %s did not start (attempt %d of %d): %s"
              % (args[0], attempt, attempts, said.replace("\n", " ")), file=sys.stderr, flush=True)
    raise WineError("reg %s never started in %d attempts" % (args[0], attempts))


def registry_view(exe):
    """The registry view a program reads: "32" for a 32-bit one (HKLM\\SOFTWARE redirected)."""
    return "32" if pe_machine(exe) == I386 else "64"


def _reg_text(kind, data):
    if kind == "REG_DWORD":
        return "dword:%08x" % int(data)
    if kind == "REG_SZ":
        return '"%s"' % data.replace("\\", "\\\\").replace('"', '\\"')
    if kind == "REG_BINARY":
        return "hex:" + ",".join("%02x" % b for b in data)
    code = {"REG_EXPAND_SZ": 2, "REG_MULTI_SZ": 7}[kind]
    return "hex(%d):%s" % (code, ",".join("%02x" % b for b in (data + "\0").encode("utf-16-le")))


@contextlib.contextmanager
def registry_values(wine, view, created, values):
    """Writes (key, name, kind, data) values, name "" for a key's default value, into the
    prefix's registry in that view, all from one .reg file that `reg import` reads; on exit
    deletes the keys `created`, the highest keys the values make. None of those may exist
    before: the registry is left as found. A failure shows reg's own words."""
    def in_view(*args):
        return reg(wine.env(wine.state["boot_loader"]), wine.state["boot_loader"], *args,
                   "/reg:" + view)
    present = [key for key in created if in_view("query", key)[0] == 0]
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
        code, said = in_view("import", "Z:" + f.name.replace("/", "\\")) if values else (0, "")
        if code != 0:
            raise WineError("reg import of %s failed (exit %d): %s\n%s"
                            % (f.name, code, said, "\n".join(lines)))
        yield
    finally:
        failed = [(key, said) for key in created for code, said in [in_view("delete", key, "/f")]
                  if code != 0]
        os.remove(f.name)
    if failed:  # reached only when the test itself went through
        raise WineError("could not delete %s" % failed)


def trusted_root(wine, der):
    """The certificate `der` in the prefix's root store while the context lasts: the registry
    entry Windows keeps for it (its SHA-1 names the key; the value is the certificate as a
    serialized property, id 32), which CertOpenSystemStore "ROOT" reads. Never the host's."""
    thumbprint = hashlib.sha1(der).hexdigest().upper()
    key = "HKLM\\Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\" + thumbprint
    blob = struct.pack("<III", 32, 1, len(der)) + der
    return registry_values(wine, registry_view(qvk_exe()), [key], [(key, "Blob", "REG_BINARY", blob)])


# Each edition's program and the key whose default value names its folder.
EDITIONS = {"Quorvane": ("Quorvane.exe", "HKLM\\SOFTWARE\\Quorvane"),
            "Quorvane Studio": ("qv-studio.exe", "HKLM\\SOFTWARE\\Quorvane Studio")}
# Their folders as the program names them; Quorvane.ini as the tests install it, and as the
# program leaves it once plugin loading is on.
QV, QVS = "C:\\Program Files\\Quorvane\\", "C:\\Program Files\\Quorvane Studio\\"
INI = "[Plugins]\r\nLoadPlugins=0\r\n"
CONFIGURED = "[Plugins]\r\nLoadPlugins = 1\r\nPluginsBar = 1\r\n"


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


def xnview_files(wine, name="XnViewDLL.8bf"):
    """Paths of `name` (a glob) in the prefix's system folders, where the XnView libraries go."""
    return glob.glob(os.path.join(wine.prefix, "drive_c", "windows", "*", name))


def forget_xnview(wine):
    """Removes the XnView libraries an earlier run left: a run installs them only where absent."""
    for path in xnview_files(wine, "XnViewDLL*"):
        shutil.rmtree(path) if os.path.isdir(path) else os.remove(path)


def start_unattended_case(case, group):
    """An unattended end-to-end test's start: the shared prefix, an artifacts folder of its own,
    and neither an XnView library nor a work folder left by an earlier run (one another test
    stopped midway leaves its work folder)."""
    case.wine = Wine()
    case.art = fresh_dir(os.path.join(artifacts_dir(group), case._testMethodName[5:]))
    forget_xnview(case.wine)
    for work in work_folders(case.wine):
        shutil.rmtree(work)
    case.runs = 0


def run_in_case(case, args, **run):
    """The next unattended run of a case begun by start_unattended_case, in a working folder of
    its own below the case's artifacts, its output kept beside: (exit code, output, folder)."""
    case.runs += 1
    cwd = fresh_dir(os.path.join(case.art, "cwd%d" % case.runs))
    code, out = run_unattended(case.wine, args, cwd, **run)
    with open(os.path.join(case.art, "output%d.txt" % case.runs), "w") as f:
        f.write(out)
    return code, out, cwd


# --- the loopback plugin server ---------------------------------------------------------------

def loopback(k=0):
    """The k-th loopback address of this test process. Each process has its own, so that test
    runs that share this machine never meet; 127.0.0.x, the demo's, stays clear."""
    n = (os.getpid() * 64 + k) % (64 << 16)
    return "127.%d.%d.%d" % (64 + (n >> 16), (n >> 8) & 255, 1 + (n & 255) % 254)


class PluginServer(_Stopped):
    """tools/plugin_server.py on one loopback address, port 80, serving `root`; `requests()`
    reads its request log. `rules` is a rules file or a dict that set_rules writes. Use as a
    context manager: the server is stopped by its pid."""

    def __init__(self, root, address, rules=None, lifetime=600, tls_certs=None):
        self.root, self.address = root, address
        tls = ["--tls-certs", tls_certs] if tls_certs else []
        self.log_path = os.path.join(root, "..", "requests-%s.jsonl" % address)
        self.rules_path = rules if isinstance(rules, str) else os.path.join(
            root, "..", "rules-%s.json" % address)
        if os.path.exists(self.log_path):
            os.remove(self.log_path)
        if not isinstance(rules, str):
            self.set_rules(rules or {})
        self.proc = _track(subprocess.Popen(
            [sys.executable, os.path.join(SOURCE_DIR, "tools", "plugin_server.py"), "--address",
             address, "--root", root, "--request-log", self.log_path, "--lifetime", str(lifetime),
             "--rules", self.rules_path] + tls, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
            text=True, start_new_session=True))
        lines = queue.Queue()
        threading.Thread(target=lambda: lines.put(self.proc.stdout.readline()), daemon=True).start()
        with contextlib.suppress(queue.Empty):
            if lines.get(timeout=20).strip() == "ready":
                return
        stop_process(self.proc)
        raise WineError("plugin server on %s did not start: %s"
                        % (address, self.proc.stderr.read()))

    def set_rules(self, rules):
        """Replaced in one step: the server reads the file at every request."""
        with open(self.rules_path + ".new", "w") as f:
            json.dump(rules, f)
        os.replace(self.rules_path + ".new", self.rules_path)

    def requests(self):
        if not os.path.exists(self.log_path):
            return []
        with open(self.log_path) as f:
            return [json.loads(line) for line in f if line.strip()]

    def targets(self):
        return [(r["target"], r["mode"]) for r in self.requests()]

    def stop(self):
        stop_process(self.proc)


def own_plugin_server(root, build, rules=None, attempts=5, k=0, tls_certs=None):
    """A PluginServer on this process's k-th free loopback address (tried `attempts` times),
    serving the site that `build(root, address)` writes; the server has `.address`."""
    for attempt in range(attempts):
        address = loopback(k + 8 * attempt)
        build(fresh_dir(root), address)
        try:
            return PluginServer(root, address, rules=rules, tls_certs=tls_certs)
        except WineError:  # the address is taken by another run: try the next
            if attempt == attempts - 1:
                raise


def serve_site(folder, k=0, rules=None, links_to=None, tls_certs=None, **site):
    """catalogue_site's site in `folder`, served by own_plugin_server; links_to names the host
    its links point at (default: the server's own address)."""
    return own_plugin_server(folder, lambda root, address: catalogue_site.build_site(
        root, links_to or address, **site), rules, k=k, tls_certs=tls_certs)


def unique_colours(png, x, y, w, h):
    """How many different colours a rectangle of a screenshot holds (1: a flat area)."""
    return int(subprocess.run(["convert", png, "-crop", "%dx%d+%d+%d" % (w, h, x, y), "+repage",
                               "-format", "%k", "info:"], capture_output=True, text=True,
                              timeout=30, check=True).stdout)


def main(argv):
    state_path = os.environ.get("QVK_WINE_STATE")
    if len(argv) != 2 or argv[1] not in ("setup", "cleanup") or not state_path:
        print("usage: QVK_WINE_STATE=FILE winelib.py setup|cleanup")
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
