"""X11 access: xdotool, xprop, screenshots and pixels read straight from the
X server of a display. `env` carries the DISPLAY to use."""
import ctypes
import subprocess
import time

from PIL import Image


def xdotool(env, *args, check=False):
    return subprocess.run(["xdotool", *args], env=env, capture_output=True, text=True, check=check)


class ScreenReader:
    """Reads the whole screen straight from the X server over one connection
    (a tenth of the time ImageMagick's import takes); a context manager."""

    def __init__(self, display_name):
        self.x11 = xlib()
        self.display = self.x11.XOpenDisplay(display_name.encode())
        if not self.display:
            raise AssertionError(f"cannot open display {display_name}")
        self.root = self.x11.XDefaultRootWindow(self.display)
        self.size = self.x11.XDisplayWidth(self.display, 0), self.x11.XDisplayHeight(self.display, 0)

    def grab(self):
        """The screen as an RGB picture."""
        image = self.x11.XGetImage(self.display, self.root, 0, 0, *self.size, 0xFFFFFFFF, 2)
        if not image:
            raise AssertionError("XGetImage failed")
        # A 24-bit screen's ZPixmap holds 32-bit pixels in the order B, G, R, unused.
        head = ctypes.cast(image, ctypes.POINTER(XImageHead)).contents
        stride = head.bytes_per_line
        data = ctypes.string_at(head.data, stride * head.height)
        self.x11.XDestroyImage(image)
        return Image.frombuffer("RGB", self.size, data, "raw", "BGRX", stride, 1)

    def close(self):
        self.x11.XCloseDisplay(self.display)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


def screenshot(env, path):
    """The whole screen, saved to `path` and returned as RGB."""
    with ScreenReader(env["DISPLAY"]) as reader:
        picture = reader.grab()
    picture.save(path, compress_level=1)
    return picture


def wait_until(probe, timeout=10.0, interval=0.15):
    """Calls probe() until it returns a true value or the timeout passes; returns the last value."""
    deadline = time.monotonic() + timeout
    while True:
        value = probe()
        if value or time.monotonic() >= deadline:
            return value
        time.sleep(interval)


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
    import ctypes.util

    x11 = xlib()
    xfixes = ctypes.CDLL(ctypes.util.find_library("Xfixes") or "libXfixes.so.3")

    class CursorImage(ctypes.Structure):
        _fields_ = [("x", ctypes.c_short), ("y", ctypes.c_short),
                    ("width", ctypes.c_ushort), ("height", ctypes.c_ushort),
                    ("xhot", ctypes.c_ushort), ("yhot", ctypes.c_ushort),
                    ("cursor_serial", ctypes.c_ulong),
                    ("pixels", ctypes.POINTER(ctypes.c_ulong)),
                    ("atom", ctypes.c_ulong), ("name", ctypes.c_char_p)]

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


class XImageHead(ctypes.Structure):
    """The head of Xlib's XImage record, up to bits_per_pixel."""
    _fields_ = [(name, ctypes.c_int) for name in ("width", "height", "xoffset", "format")] + \
        [("data", ctypes.c_void_p)] + \
        [(name, ctypes.c_int) for name in ("byte_order", "bitmap_unit", "bitmap_bit_order",
                                           "bitmap_pad", "depth", "bytes_per_line", "bits_per_pixel")]


def xlib():
    """libX11 with the signatures of the calls that read the screen back
    (XOpenDisplay, XDefaultRootWindow, XGetImage, XGetPixel, XDestroyImage,
    XCloseDisplay)."""
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
    x11.XCloseDisplay.argtypes = x11.XFree.argtypes = [ctypes.c_void_p]
    x11.XDisplayWidth.argtypes = x11.XDisplayHeight.argtypes = [ctypes.c_void_p, ctypes.c_int]
    return x11


def sample_pixel(display_name, x, y, seconds, interval=0.002, enough=None):
    """Samples one screen pixel straight from the X server for at most `seconds`
    (less once enough(samples) says so): a list of (seconds since the start,
    (r, g, b)). Fast enough (well under a millisecond a sample) to time frame
    changes that screenshots would miss."""
    x11 = xlib()
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
