"""Wine and Xvfb control: the build's paths, the private Wine prefix, the
Xvfb display with its window manager, and runs of kestrelon.exe.

One Xvfb runs at a time, at a fixed screen size, with a window manager
(openbox) as a desktop has one; changing the size restarts both together with
the prefix's wineserver (Wine's desktop belongs to one display).
Every process started here is killed by pid; wineserver -k acts on our own
prefix only.
"""
import os
import shutil
import subprocess
import tempfile
import time
from pathlib import Path

import harness_x11

HERE = Path(__file__).resolve().parent
SOURCE = HERE.parent.parent
HARNESS = SOURCE / "tests" / "harness"
BUILD = Path(os.environ.get("KESTRELON_BUILD", SOURCE / "build" / "win")).resolve()
EXE = BUILD / "kestrelon.exe"
WINE = "/usr/lib/wine/wine64" if os.path.exists("/usr/lib/wine/wine64") else "wine64"
WINESERVER = "/usr/lib/wine/wineserver" if os.path.exists("/usr/lib/wine/wineserver") else "wineserver"
# The version is set once, in CMakeLists.txt; the build writes it beside the exe.
VERSION_FILE = BUILD / "version.txt"
TITLE = "Kestrelon" + (VERSION_FILE.read_text().strip() if VERSION_FILE.exists() else "?")
# Under pytest-xdist each worker runs its own Wine prefix (a clone of the
# build's prefix) and its own Xvfb, so workers never share a wineserver; each
# also keeps its screenshots apart.
WORKER = os.environ.get("PYTEST_XDIST_WORKER", "")
ARTIFACTS = BUILD / "e2e-artifacts" / WORKER if WORKER else BUILD / "e2e-artifacts"


# The prefix version tests/harness/wine-env makes (its KESTRELON_PREFIX_MARK).
PREFIX_MARK = ".kestrelon-ready-2"


def prefix_dir():
    return BUILD / (f"wineprefix-{WORKER}" if WORKER else "wineprefix")


def home_dir():
    return BUILD / (f"winehome-{WORKER}" if WORKER else "winehome")


def wine_environment():
    env = dict(os.environ)
    env.update({
        "WINEPREFIX": str(prefix_dir()),
        "WINEDEBUG": "-all",
        "WINEARCH": "win64",
        "WINEDLLOVERRIDES": "mscoree,mshtml=",
        "HOME": str(home_dir()),
        "KESTRELON_BUILD": str(BUILD),
    })
    return env


def ensure_prefix():
    """The build's prefix, made once (tests/harness/wine-env); a worker's clone
    of it: hard links for the prefix's files, real copies of the registry
    files, which Wine rewrites."""
    subprocess.run(["bash", "-c", f'. "{HARNESS}/wine-env" && kestrelon_prefix_ready'],
                   env=dict(os.environ, KESTRELON_BUILD=str(BUILD)), check=True)
    if not WORKER or (prefix_dir() / PREFIX_MARK).exists():
        return
    master, clone = BUILD / "wineprefix", prefix_dir()
    partial = clone.with_name(clone.name + ".partial")
    for path in (clone, partial, home_dir()):
        if path.exists():
            shutil.rmtree(path)
    subprocess.run(["cp", "-al", str(master), str(partial)], check=True)
    for reg in master.glob("*.reg"):
        (partial / reg.name).unlink()
        shutil.copy2(reg, partial / reg.name)
    shutil.copytree(BUILD / "winehome", home_dir(), symlinks=True)
    partial.rename(clone)


def to_windows_path(path):
    """Z: maps the Unix root in a Wine prefix."""
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


class Display:
    """A private Xvfb of one size, with openbox managing its windows."""

    def __init__(self):
        self.proc = None
        self.wm = None
        self.size = None
        self.name = None

    def ensure(self, size):
        if self.size == size and self.proc and self.proc.poll() is None:
            return
        self.stop()
        read_fd, write_fd = os.pipe()
        self.proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", f"{size[0]}x{size[1]}x24",
             "-nolisten", "tcp", "-nolisten", "unix"],
            pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_fd)
        number = b""
        with os.fdopen(read_fd, "rb") as pipe:
            while not number.endswith(b"\n"):
                chunk = pipe.read(1)
                if not chunk:
                    break
                number += chunk
        self.name = ":" + number.decode().strip()
        self.size = size
        self.start_window_manager()
        # The prefix's wineserver, with Wine's desktop and services, stays up
        # between runs (until stop): a run then starts in about half the time,
        # where it would otherwise start them afresh after any pause over 3 s.
        subprocess.run([WINESERVER, "-p"], env=wine_environment(), check=True)

    def start_window_manager(self):
        """openbox with its stock configuration (Alt+F4 closes the active
        window); returns once it has announced itself on the root window."""
        env = dict(os.environ, DISPLAY=self.name)
        self.wm = subprocess.Popen(["openbox", "--sm-disable"], env=env,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            out = subprocess.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], env=env,
                                 capture_output=True, text=True).stdout
            if "window id" in out:
                return
            if self.wm.poll() is not None:
                break
            time.sleep(0.1)
        raise AssertionError(f"openbox did not start on {self.name}")

    def stop(self):
        stop_wineserver()
        if self.wm:
            self.wm.kill()
            self.wm.wait()
            self.wm = None
        if self.proc:
            self.proc.kill()
            self.proc.wait()
        self.proc = None
        self.size = None


def stop_wineserver():
    subprocess.run([WINESERVER, "-k"], env=wine_environment(),
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run([WINESERVER, "-w"], env=wine_environment(),
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


class App:
    """One run of kestrelon.exe."""

    def __init__(self, display, args=(), exe=EXE, cwd=None, extra_env=None):
        self.display = display
        env = wine_environment()
        env["DISPLAY"] = display.name
        if extra_env:
            env.update(extra_env)
        self.env = env
        self.started = time.monotonic()
        # A file, not a pipe: the first Wine process of a prefix starts the
        # wineserver and the desktop process, which inherit its standard
        # handles and outlive it; a pipe would never reach its end.
        self.log = tempfile.TemporaryFile()
        self.proc = subprocess.Popen([WINE, str(exe), *[str(a) for a in args]], env=env,
                                     cwd=str(cwd or Path(exe).parent),
                                     stdout=self.log, stderr=subprocess.STDOUT)
        self.window = None

    # ---- X side ----
    def xdotool(self, *args, check=False):
        return harness_x11.xdotool(self.env, *args, check=check)

    def wait_window(self, timeout=30.0):
        """Waits for the full-screen main window; returns its X id."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if self.proc.poll() is not None:
                raise AssertionError(f"kestrelon exited early with {self.proc.returncode}; "
                                     f"it printed: {self.output()[-1500:]!r}")
            out = self.xdotool("search", "--onlyvisible", "--name", f"^{TITLE}$").stdout.split()
            for wid in out:
                geo = self.xdotool("getwindowgeometry", wid).stdout
                if f"{self.display.size[0]}x{self.display.size[1]}" in geo:
                    self.window = wid
                    self.wait_focus(wid, max(deadline - time.monotonic(), 5.0))
                    return wid
            time.sleep(0.2)
        raise AssertionError("main window did not appear")

    def wait_focus(self, wid, timeout):
        """Waits until the window manager has given the window the keyboard
        focus (openbox does so some 0.2-1 s after the window maps): keys typed
        before then would reach no window of the program, on a desktop too."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if self.xdotool("getwindowfocus").stdout.strip() == wid:
                return
            time.sleep(0.05)
        raise AssertionError(f"the window manager did not give the main window {wid} the focus")

    def screenshot(self, name=None):
        ARTIFACTS.mkdir(parents=True, exist_ok=True)
        return harness_x11.screenshot(self.env, ARTIFACTS / f"{name or 'shot'}.png")

    def wait_screen(self, check, name, timeout=10.0):
        """Screenshots until check(image) is true and returns that image; at
        the timeout returns the last one (saved under `name`) for the test's
        own assertion to explain."""
        deadline = time.monotonic() + timeout
        while True:
            image = self.screenshot(name)
            if check(image) or time.monotonic() >= deadline or not self.alive():
                return image
            time.sleep(0.1)

    def wait_settled(self, timeout=2.0, quiet=0.4):
        """Waits until the screen has not changed for `quiet` seconds (the
        program has drawn what it will draw), at most `timeout` seconds: an
        animation never settles and takes the whole time."""
        deadline, last, since = time.monotonic() + timeout, None, time.monotonic()
        with harness_x11.ScreenReader(self.display.name) as reader:
            while time.monotonic() < deadline and self.alive():
                image = reader.grab()
                # A few thousand pixels spread over the screen stand for it.
                now = tuple(image.getpixel((x, y)) for x in range(7, image.width, 23)
                            for y in range(5, image.height, 19))
                if now != last:
                    last, since = now, time.monotonic()
                elif time.monotonic() - since >= quiet:
                    return True
                time.sleep(0.05)
        return False

    def key(self, *keys, delay_ms=50):
        self.xdotool("key", "--delay", str(delay_ms), *keys)

    def click(self, x, y, button=1):
        self.xdotool("mousemove", str(x), str(y))
        time.sleep(0.1)
        self.xdotool("click", str(button))

    def mouse_move(self, x, y):
        self.xdotool("mousemove", str(x), str(y))

    # ---- process side ----
    def alive(self):
        return self.proc.poll() is None

    def wait_exit(self, timeout=10.0):
        try:
            self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            return None
        return self.proc.returncode

    def close_with_f11(self, timeout=10.0):
        """Presses F11, which must end the program with exit code 1."""
        self.key("F11")
        code = self.wait_exit(timeout)
        assert code == 1, f"exit code {code}"

    def output(self):
        """What the process (and Wine on its behalf) printed so far."""
        self.log.flush()
        self.log.seek(0)
        return self.log.read().decode(errors="replace")

    def dump_stacks(self, name):
        """Writes the native stacks of every thread of a live run (gdb, when
        present) beside the screenshots: Wine's own libraries and GStreamer
        show by name, which is what a stall inside the media stack needs."""
        if self.proc.poll() is not None or not shutil.which("gdb"):
            return None
        ARTIFACTS.mkdir(parents=True, exist_ok=True)
        path = ARTIFACTS / f"{name}.stacks.txt"
        with open(path, "w") as out:
            subprocess.run(["gdb", "-p", str(self.proc.pid), "-batch", "-nx",
                            "-ex", "thread apply all bt 30"],
                           stdout=out, stderr=subprocess.STDOUT, timeout=120)
        return path

    def close(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()


def set_prefix_dpi(display, dpi):
    """Sets the prefix's screen DPI (LogPixels); takes effect for the next app.
    The wineserver is stopped first and after, so the value is read afresh.
    A mark in the prefix stands while it is not at 96, so a run that ended
    before setting it back has the next session do so (reset_prefix_dpi)."""
    mark = prefix_dir() / ".kestrelon-dpi-changed"
    mark.touch()
    stop_wineserver()
    subprocess.run([WINE, "reg", "add", r"HKCU\Control Panel\Desktop", "/v", "LogPixels",
                    "/t", "REG_DWORD", "/d", str(dpi), "/f"], env=wine_environment(),
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    stop_wineserver()
    if dpi == 96:
        mark.unlink()


def reset_prefix_dpi(display):
    if (prefix_dir() / ".kestrelon-dpi-changed").exists():
        set_prefix_dpi(display, 96)


def map_drive(letter, folder):
    """Makes drive `letter` of the test prefix show `folder` (a symlink in dosdevices)."""
    link = prefix_dir() / "dosdevices" / f"{letter.lower()}:"
    if link.is_symlink() or link.exists():
        link.unlink()
    link.symlink_to(Path(folder).resolve())
    return link


def unmap_drive(letter):
    link = prefix_dir() / "dosdevices" / f"{letter.lower()}:"
    if link.is_symlink():
        link.unlink()
