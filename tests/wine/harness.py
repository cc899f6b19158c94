"""Runs the Windows programs under Wine for the tests.

One `WineEnv` serves a whole test run: it starts a private Xvfb display and a
private WINEPREFIX (made fresh at the start of the run, then reused by every
test), starts programs with a time limit, maps COM ports to ptys and takes
screenshots. It ends only what it started: the programs by their process
group ids, the prefix's own wineserver, and its Xvfb by pid.

The programs are found in KAL_WIN_BIN (default: build/win-x86_64/bin). Wine
tests run the x86_64 build of the same sources as the shipped i686 programs,
because this kind of machine cannot execute 32-bit Linux code (wine32).
"""

import os
import shutil
import signal
import subprocess
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BIN = os.environ.get("KAL_WIN_BIN", os.path.join(ROOT, "build", "win-x86_64", "bin"))
WORK = os.environ.get("KAL_WINE_WORK", os.path.join(ROOT, "build", "wine"))


def _wine_loader():
    for path in ("/usr/lib/wine/wine64", "/usr/lib/x86_64-linux-gnu/wine/wine64"):
        if os.access(path, os.X_OK):
            return path
    return shutil.which("wine64") or shutil.which("wine")


def _wineserver():
    for path in ("/usr/lib/wine/wineserver64", "/usr/lib/wine/wineserver"):
        if os.access(path, os.X_OK):
            return path
    return shutil.which("wineserver")


class HarnessError(AssertionError):
    """A program under test failed in a way the harness detected (hang, no window)."""


class Program:
    """A program started under Wine, in its own process group."""

    def __init__(self, env, popen, name):
        self.env = env
        self.popen = popen
        self.name = name

    def wait(self, timeout):
        """Exit status of the program; a program still running after `timeout`
        seconds is killed and reported as hung."""
        try:
            return self.popen.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.kill()
            raise HarnessError(f"{self.name} did not end within {timeout} s (killed)")

    def running(self):
        return self.popen.poll() is None

    def kill(self):
        if self.popen.poll() is None:
            try:
                os.killpg(self.popen.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            self.popen.wait()

    def output(self):
        out = err = ""
        if self.popen.stdout:
            out = self.popen.stdout.read().decode("latin-1")
        if self.popen.stderr:
            err = self.popen.stderr.read().decode("latin-1")
        return out, err


class WineEnv:
    def __init__(self, work=WORK, bin_dir=BIN):
        self.work = work
        self.bin = bin_dir
        self.prefix = os.path.join(work, "prefix")
        self.shots = os.path.join(work, "shots")
        self.xvfb = None
        self.display = None
        self.programs = []
        self.loader = _wine_loader()
        self.server = _wineserver()

    # -- life of the environment ------------------------------------------

    def start(self):
        if not self.loader:
            raise HarnessError("no wine64 found; run scripts/setup")
        os.makedirs(self.work, exist_ok=True)
        os.makedirs(self.shots, exist_ok=True)
        self._start_xvfb()
        self._make_prefix()

    def stop(self):
        for p in self.programs:
            p.kill()
        self.programs = []
        if self.server and os.path.isdir(self.prefix):
            subprocess.run([self.server, "-k"], env=self.environ(), timeout=30,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if self.xvfb and self.xvfb.poll() is None:
            self.xvfb.terminate()
            try:
                self.xvfb.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.xvfb.kill()
                self.xvfb.wait()
        self.xvfb = None

    def _start_xvfb(self):
        r, w = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(w), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
             "-noreset"],
            pass_fds=(w,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            start_new_session=True)
        os.close(w)
        number = b""
        deadline = time.monotonic() + 30
        while not number.endswith(b"\n"):
            if time.monotonic() > deadline or self.xvfb.poll() is not None:
                raise HarnessError("Xvfb did not start")
            chunk = os.read(r, 16)
            if not chunk:
                break
            number += chunk
        os.close(r)
        self.display = ":" + number.decode().strip()

    def _make_prefix(self):
        # A fresh prefix for every run: nothing a previous run left in the
        # registry or in C:\ can influence this one.
        if os.path.isdir(self.prefix):
            subprocess.run([self.server, "-k"], env=self.environ(), timeout=30,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            shutil.rmtree(self.prefix)
        r = subprocess.run([self.loader, "wineboot", "-i"], env=self.environ(), timeout=240,
                           stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        if r.returncode != 0:
            raise HarnessError("wineboot failed:\n" + r.stdout.decode("latin-1"))
        # Wine maps COM1 to /dev/ttyS0 on its own; tests map their ports explicitly.
        for name in os.listdir(os.path.join(self.prefix, "dosdevices")):
            if name.startswith("com"):
                os.remove(os.path.join(self.prefix, "dosdevices", name))

    def environ(self, extra=None):
        env = dict(os.environ)
        env.update({
            "WINEPREFIX": self.prefix,
            "WINEARCH": "win64",
            "WINEDEBUG": "-all",
            # No network here: keep wineboot from asking for Mono and Gecko.
            "WINEDLLOVERRIDES": "mscoree,mshtml=",
            "DISPLAY": self.display or "",
        })
        if self.loader and self.loader.endswith("wine64"):
            env["WINELOADER"] = self.loader
        if self.server:
            env["WINESERVER"] = self.server
        if extra:
            env.update(extra)
        return env

    # -- programs ---------------------------------------------------------

    def exe(self, name):
        path = os.path.join(self.bin, name)
        if not os.path.exists(path):
            raise HarnessError(f"{path} is missing; build the windows tree first")
        return path

    def start_program(self, exe_path, args=(), cwd=None, capture=False):
        """Starts a Windows program; `exe_path` is a Unix path to the .exe."""
        popen = subprocess.Popen(
            [self.loader, exe_path, *args], cwd=cwd or os.path.dirname(exe_path),
            env=self.environ(), start_new_session=True, stdin=subprocess.DEVNULL,
            stdout=subprocess.PIPE if capture else subprocess.DEVNULL,
            stderr=subprocess.PIPE if capture else subprocess.DEVNULL)
        p = Program(self, popen, os.path.basename(exe_path))
        self.programs.append(p)
        return p

    def run(self, exe_path, args=(), timeout=60, cwd=None):
        """Runs a program to its end: (exit status, stdout, stderr)."""
        p = self.start_program(exe_path, args, cwd, capture=True)
        try:
            out, err = p.popen.communicate(timeout=timeout)
        except subprocess.TimeoutExpired:
            p.kill()
            raise HarnessError(f"{p.name} {' '.join(args)} did not end within {timeout} s (killed)")
        finally:
            self.programs.remove(p)
        return p.popen.returncode, out.decode("latin-1"), err.decode("latin-1")

    def winctl(self, *args, timeout=60):
        """Runs the window helper: (exit status, stdout)."""
        rc, out, _ = self.run(self.exe("winctl.exe"), [str(a) for a in args], timeout=timeout)
        return rc, out

    def install(self, names, folder=None):
        """Copies programs from the build into a private folder (the program
        folder of the run, where the loader keeps its settings file)."""
        folder = folder or tempfile.mkdtemp(prefix="run-", dir=self.work)
        for n in names:
            shutil.copy2(self.exe(n), folder)
        return folder

    # -- the desktop ------------------------------------------------------

    def x_window(self, title, timeout=30):
        """Waits for a top-level X window with exactly this title; its id."""
        deadline = time.monotonic() + timeout
        pattern = "^" + "".join("\\" + c if not c.isalnum() and c != " " else c for c in title) + "$"
        while time.monotonic() < deadline:
            r = subprocess.run(["xdotool", "search", "--name", pattern], env=self.environ(),
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=10)
            ids = r.stdout.decode().split()
            if ids:
                return ids[0]
            time.sleep(0.2)
        raise HarnessError(f"no window titled \"{title}\" appeared within {timeout} s")

    def screenshot(self, name):
        path = os.path.join(self.shots, name)
        subprocess.run(["import", "-display", self.display, "-window", "root", path],
                       check=True, timeout=30)
        return path

    # -- serial ports -----------------------------------------------------

    def map_com(self, number, device):
        """Makes COM<number> reach `device` (a pty slave or a symlink to one)."""
        link = os.path.join(self.prefix, "dosdevices", f"com{number}")
        if os.path.lexists(link):
            os.remove(link)
        os.symlink(device, link)
        return link

    def unmap_com(self, number):
        link = os.path.join(self.prefix, "dosdevices", f"com{number}")
        if os.path.lexists(link):
            os.remove(link)


_env = None


def env():
    """The environment of this test run, started on first use."""
    global _env
    if _env is None:
        e = WineEnv()
        e.start()
        _env = e
    return _env


def shutdown():
    global _env
    if _env is not None:
        _env.stop()
        _env = None
