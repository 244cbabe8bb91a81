"""Drives the real kestrelon.exe under Wine on a private Xvfb display.

One Xvfb runs at a time, at a fixed screen size, with a window manager
(openbox) as a desktop has one; changing the size restarts both together with
the prefix's wineserver (Wine's desktop belongs to one display).
Every process started here is killed by pid; wineserver -k acts on our own
prefix only.
"""
import os
import shutil
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
        import tempfile
        self.log = tempfile.TemporaryFile()
        self.proc = subprocess.Popen([WINE, str(exe), *[str(a) for a in args]], env=env,
                                     cwd=str(cwd or Path(exe).parent),
                                     stdout=self.log, stderr=subprocess.STDOUT)
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
    link = prefix_dir() / "dosdevices" / f"{letter.lower()}:"
    if link.is_symlink() or link.exists():
        link.unlink()
    link.symlink_to(Path(folder).resolve())
    return link


def unmap_drive(letter):
    link = prefix_dir() / "dosdevices" / f"{letter.lower()}:"
    if link.is_symlink():
        link.unlink()


def find_windows(app, name, visible_only=True):
    """X windows whose name matches the regular expression: a list of
    (id, x, y, width, height) from xdotool."""
    args = ["search"] + (["--onlyvisible"] if visible_only else []) + ["--name", name]
    found = []
    for wid in app.xdotool(*args).stdout.split():
        geometry = app.xdotool("getwindowgeometry", "--shell", wid).stdout
        values = dict(line.split("=", 1) for line in geometry.split() if "=" in line)
        try:
            found.append((wid, int(values["X"]), int(values["Y"]), int(values["WIDTH"]),
                          int(values["HEIGHT"])))
        except KeyError:
            continue
    return found


def wait_for_windows(app, name, timeout=10.0, visible_only=True, size=None):
    """Waits until find_windows finds a window (of the given (width, height),
    when size is given); returns the list, or [] on timeout."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        found = [w for w in find_windows(app, name, visible_only)
                 if size is None or (w[3], w[4]) == tuple(size)]
        if found:
            return found
        time.sleep(0.1)
    return []


def window_property(app, wid, name):
    """The text xprop prints for one property of an X window ('' when unset)."""
    out = subprocess.run(["xprop", "-id", str(wid), name], env=app.env, capture_output=True,
                         text=True).stdout.strip()
    return "" if "not found" in out or "no such atom" in out else out


def cursor_visible(app):
    """True when the X pointer currently shows any opaque pixel (XFixes cursor
    image). A program that hides the cursor leaves a fully transparent one."""
    import ctypes
    import ctypes.util

    x11 = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
    xfixes = ctypes.CDLL(ctypes.util.find_library("Xfixes") or "libXfixes.so.3")

    class CursorImage(ctypes.Structure):
        _fields_ = [("x", ctypes.c_short), ("y", ctypes.c_short),
                    ("width", ctypes.c_ushort), ("height", ctypes.c_ushort),
                    ("xhot", ctypes.c_ushort), ("yhot", ctypes.c_ushort),
                    ("cursor_serial", ctypes.c_ulong),
                    ("pixels", ctypes.POINTER(ctypes.c_ulong)),
                    ("atom", ctypes.c_ulong), ("name", ctypes.c_char_p)]

    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    x11.XFree.argtypes = [ctypes.c_void_p]
    xfixes.XFixesGetCursorImage.restype = ctypes.POINTER(CursorImage)
    xfixes.XFixesGetCursorImage.argtypes = [ctypes.c_void_p]
    display = x11.XOpenDisplay(app.display.name.encode())
    if not display:
        raise RuntimeError("cannot open " + app.display.name)
    try:
        image = xfixes.XFixesGetCursorImage(display)
        if not image:
            raise RuntimeError("XFixesGetCursorImage failed")
        cursor = image.contents
        opaque = any((cursor.pixels[i] >> 24) & 0xFF for i in range(cursor.width * cursor.height))
        x11.XFree(image)
        return opaque
    finally:
        x11.XCloseDisplay(display)

def make_gif(path, canvas, frames, loop=True):
    """Writes a GIF with ImageMagick. frames: (colour, delay in hundredths, size, offset)
    tuples; colour is an ImageMagick colour name or a whole source such as
    "plasma:fractal"; size None covers the canvas, offset None is +0+0. Each
    frame keeps its own rectangle on the canvas (no optimisation, no coalescing)."""
    width, height = canvas
    args = ["convert", "-dispose", "none"]
    for colour, delay, size, offset in frames:
        fw, fh = size or canvas
        ox, oy = offset or (0, 0)
        args += ["-delay", str(delay), "-page", f"{width}x{height}+{ox}+{oy}",
                 "-size", f"{fw}x{fh}", colour if ":" in colour else f"xc:{colour}"]
    if loop:
        args += ["-loop", "0"]
    args.append(f"gif:{path}")
    subprocess.run(args, check=True)
    return path


def sample_pixel(display_name, x, y, seconds, interval=0.002, enough=None):
    """Samples one screen pixel straight from the X server for at most `seconds`
    (less once enough(samples) says so): a list of (seconds since the start,
    (r, g, b)). Fast enough (well under a millisecond a sample) to time frame
    changes that screenshots would miss."""
    import ctypes
    x11 = ctypes.cdll.LoadLibrary("libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XDefaultRootWindow.restype = ctypes.c_ulong
    x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    x11.XGetImage.restype = ctypes.c_void_p
    x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                              ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
    x11.XGetPixel.restype = ctypes.c_ulong
    x11.XGetPixel.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int]
    x11.XDestroyImage.argtypes = [ctypes.c_void_p]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    all_planes, z_pixmap = 0xFFFFFFFF, 2
    display = x11.XOpenDisplay(display_name.encode())
    if not display:
        raise AssertionError(f"cannot open display {display_name}")
    samples = []
    try:
        root = x11.XDefaultRootWindow(display)
        start = time.monotonic()
        while True:
            now = time.monotonic() - start
            if now >= seconds:
                break
            image = x11.XGetImage(display, root, x, y, 1, 1, all_planes, z_pixmap)
            value = x11.XGetPixel(image, 0, 0) if image else 0
            if image:
                x11.XDestroyImage(image)
            samples.append((now, ((value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF)))
            if enough and len(samples) % 50 == 0 and enough(samples):
                break
            time.sleep(interval)
    finally:
        x11.XCloseDisplay(display)
    return samples


def colour_runs(samples, palette, tolerance=40):
    """Collapses a pixel timeline into runs [(name, start, end)] of the palette
    colour it shows (name None for anything else)."""
    runs = []
    for t, colour in samples:
        name = next((n for n, c in palette.items() if near(colour, c, tolerance)), None)
        if runs and runs[-1][0] == name:
            runs[-1][2] = t
        else:
            runs.append([name, t, t])
    return [tuple(r) for r in runs]


# ---- video clips and folder watching (added for the video tests) ----

def make_clip(path, *ffmpeg_args):
    """Makes a clip with ffmpeg: `ffmpeg_args` are the inputs, filters and codecs;
    the container follows the name unless the args give -f. Returns the path."""
    path = Path(path)
    subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-y", *ffmpeg_args, str(path)], check=True)
    return path


def folder_state(folder):
    """Every file in a folder with its size and SHA-256."""
    import hashlib
    folder = Path(folder)
    return {p.name: (p.stat().st_size, hashlib.sha256(p.read_bytes()).hexdigest())
            for p in sorted(folder.iterdir()) if p.is_file()}


class FolderWatch:
    """Records, through inotify, every change made in a folder while it runs:
    files created, deleted, renamed, written or given new attributes. Reads
    are not recorded. Use as a context manager; `changes` lists (event, name)."""

    _EVENTS = {0x2: "modify", 0x4: "attrib", 0x8: "close-write", 0x40: "moved-from",
               0x80: "moved-to", 0x100: "create", 0x200: "delete", 0x400: "delete-self",
               0x800: "move-self"}

    def __init__(self, folder):
        self.folder = str(folder)
        self.changes = []
        self._fd = None

    def __enter__(self):
        import ctypes
        libc = ctypes.CDLL("libc.so.6", use_errno=True)
        self._fd = libc.inotify_init1(os.O_NONBLOCK)
        mask = 0
        for bit in self._EVENTS:
            mask |= bit
        if self._fd < 0 or libc.inotify_add_watch(self._fd, self.folder.encode(), mask) < 0:
            raise OSError(ctypes.get_errno(), "inotify")
        return self

    def collect(self):
        import struct
        while True:
            try:
                data = os.read(self._fd, 65536)
            except BlockingIOError:
                return self.changes
            offset = 0
            while offset < len(data):
                _, mask, _, length = struct.unpack_from("iIII", data, offset)
                name = data[offset + 16:offset + 16 + length].rstrip(b"\0").decode(errors="replace")
                offset += 16 + length
                for bit, label in self._EVENTS.items():
                    if mask & bit:
                        self.changes.append((label, name))

    def __exit__(self, *exc):
        self.collect()
        os.close(self._fd)
        return False


def dark_fraction(image, threshold=24, step=8):
    """The share of sampled pixels darker than `threshold` in every channel."""
    width, height = image.size
    return fraction_matching(image, (0, 0, width, height),
                             lambda p: max(p[:3]) < threshold, step=step)


def mean_difference(a, b, step=4):
    """Mean absolute channel difference of two same-sized screenshots, sampled."""
    width, height = a.size
    total = count = 0
    for y in range(0, height, step):
        for x in range(0, width, step):
            pa, pb = a.getpixel((x, y)), b.getpixel((x, y))
            total += sum(abs(int(u) - int(v)) for u, v in zip(pa[:3], pb[:3]))
            count += 3
    return total / max(count, 1)
