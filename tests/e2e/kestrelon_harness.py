"""Drives the real kestrelon.exe under Wine on a private Xvfb display.

One Xvfb runs at a time, at a fixed screen size; changing the size restarts it
together with the prefix's wineserver (Wine's desktop belongs to one display).
Every process started here is killed by pid; wineserver -k acts on our own
prefix only.
"""
import os
import subprocess
import time
from pathlib import Path

from PIL import Image

HERE = Path(__file__).resolve().parent
SOURCE = HERE.parent.parent
HARNESS = SOURCE / "tests" / "harness"
BUILD = Path(os.environ.get("KESTRELON_BUILD", SOURCE / "build" / "win")).resolve()
EXE = BUILD / "kestrelon.exe"
WINE = "/usr/lib/wine/wine64" if os.path.exists("/usr/lib/wine/wine64") else "wine64"
WINESERVER = "/usr/lib/wine/wineserver" if os.path.exists("/usr/lib/wine/wineserver") else "wineserver"
TITLE = "Kestrelon1.0.3"
ARTIFACTS = BUILD / "e2e-artifacts"


def wine_environment():
    env = dict(os.environ)
    env.update({
        "WINEPREFIX": str(BUILD / "wineprefix"),
        "WINEDEBUG": "-all",
        "WINEARCH": "win64",
        "WINEDLLOVERRIDES": "mscoree,mshtml=",
        "HOME": str(BUILD / "winehome"),
        "KESTRELON_BUILD": str(BUILD),
    })
    return env


def ensure_prefix():
    subprocess.run(["bash", "-c", f'. "{HARNESS}/wine-env" && kestrelon_prefix_ready'],
                   env=wine_environment(), check=True)


def to_windows_path(path):
    """Z: maps the Unix root in a Wine prefix."""
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


class Display:
    """A private Xvfb of one size."""

    def __init__(self):
        self.proc = None
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

    def stop(self):
        stop_wineserver()
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
        self.proc = subprocess.Popen([WINE, str(exe), *[str(a) for a in args]], env=env,
                                     cwd=str(cwd or Path(exe).parent),
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.window = None

    # ---- X side ----
    def xdotool(self, *args, check=False):
        return subprocess.run(["xdotool", *args], env=self.env, capture_output=True, text=True,
                              check=check)

    def wait_window(self, timeout=30.0):
        """Waits for the full-screen main window; returns its X id."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if self.proc.poll() is not None:
                raise AssertionError(f"kestrelon exited early with {self.proc.returncode}")
            out = self.xdotool("search", "--onlyvisible", "--name", f"^{TITLE}$").stdout.split()
            for wid in out:
                geo = self.xdotool("getwindowgeometry", wid).stdout
                if f"{self.display.size[0]}x{self.display.size[1]}" in geo:
                    self.window = wid
                    return wid
            time.sleep(0.2)
        raise AssertionError("main window did not appear")

    def screenshot(self, name=None):
        path = ARTIFACTS / f"{name or 'shot'}.png"
        ARTIFACTS.mkdir(parents=True, exist_ok=True)
        subprocess.run(["import", "-window", "root", str(path)], env=self.env, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return Image.open(path).convert("RGB")

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

    def output(self):
        out, err = self.proc.communicate(timeout=5) if self.proc.poll() is not None else (b"", b"")
        return out.decode(errors="replace") + err.decode(errors="replace")

    def close(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()


def pixel(image, x, y):
    return image.getpixel((x, y))


def near(colour, expected, tolerance=24):
    return all(abs(int(a) - int(b)) <= tolerance for a, b in zip(colour, expected))


def region_colours(image, box, step=4):
    """The set of distinct colours in a box (left, top, right, bottom), sampled."""
    left, top, right, bottom = box
    return {image.getpixel((x, y)) for x in range(left, right, step) for y in range(top, bottom, step)}


def fraction_matching(image, box, predicate, step=4):
    left, top, right, bottom = box
    total = hits = 0
    for x in range(left, right, step):
        for y in range(top, bottom, step):
            total += 1
            hits += bool(predicate(image.getpixel((x, y))))
    return hits / max(total, 1)


def set_prefix_dpi(display, dpi):
    """Sets the prefix's screen DPI (LogPixels); takes effect for the next app.
    The wineserver is stopped first and after, so the value is read afresh."""
    stop_wineserver()
    subprocess.run([WINE, "reg", "add", r"HKCU\Control Panel\Desktop", "/v", "LogPixels",
                    "/t", "REG_DWORD", "/d", str(dpi), "/f"], env=wine_environment(),
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    stop_wineserver()


def wait_until(probe, timeout=10.0, interval=0.15):
    """Calls probe() until it returns a true value or the timeout passes; returns the last value."""
    deadline = time.monotonic() + timeout
    while True:
        value = probe()
        if value or time.monotonic() >= deadline:
            return value
        time.sleep(interval)


def map_drive(letter, folder):
    """Makes drive `letter` of the test prefix show `folder` (a symlink in dosdevices)."""
    link = BUILD / "wineprefix" / "dosdevices" / f"{letter.lower()}:"
    if link.is_symlink() or link.exists():
        link.unlink()
    link.symlink_to(Path(folder).resolve())
    return link


def unmap_drive(letter):
    link = BUILD / "wineprefix" / "dosdevices" / f"{letter.lower()}:"
    if link.is_symlink():
        link.unlink()
