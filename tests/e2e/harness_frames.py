"""Clips whose frames carry their own number, and the reading of that number
back from the screen: the end-to-end video tests and bench/video share them.

The number is drawn as 16 blocks along the top ninth of the picture, most
significant bit at the left, white for 1 and black for 0, over a moving test
pattern. The clips have the screen's 16:9 shape, so the picture fills the
screen and block i is centred at x = (i + 0.5) / 16 of the screen's width.
One XGetImage of one screen row gives all 16 bits at once.
"""
import ctypes
import subprocess
import time
from pathlib import Path

import harness_x11

BITS = 16
RATE = 30


def make_numbered_clip(path, width, height, seconds, rate=RATE, preset="veryfast"):
    """An H.264 (yuv420p) clip at `rate` frames/s whose frame N shows N in
    blocks (made once: an existing file is reused)."""
    path = Path(path)
    if path.exists():
        return path
    band = max(height // 9, 8)
    graph = (f"testsrc2=size={width}x{height}:rate={rate}:duration={seconds}[bg];"
             f"nullsrc=size={BITS}x1:rate={rate}:duration={seconds},format=gray,"
             f"geq=lum='255*mod(floor(N/pow(2,{BITS - 1}-X)),2)',"
             f"scale={width}:{band}:flags=neighbor,format=yuv420p[bits];"
             f"[bg][bits]overlay=0:0:shortest=1,format=yuv420p[v]")
    tmp = path.with_suffix(".part.mp4")
    subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-y", "-filter_complex", graph, "-map", "[v]",
                    "-c:v", "libx264", "-preset", preset, "-g", str(rate), "-pix_fmt", "yuv420p",
                    str(tmp)], check=True)
    tmp.rename(path)
    return path


class FrameReader:
    """Reads the frame number on screen through one X connection."""

    def __init__(self, display_name, screen_size):
        self.x11 = harness_x11.xlib()
        self.display = self.x11.XOpenDisplay(display_name.encode())
        if not self.display:
            raise AssertionError(f"cannot open display {display_name}")
        self.root = self.x11.XDefaultRootWindow(self.display)
        self.width, self.height = screen_size
        self.row = max(self.height // 18, 1)  # the middle of the block band

    def close(self):
        if self.display:
            self.x11.XCloseDisplay(self.display)
            self.display = None

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def read(self):
        """The frame number on screen, or None when the band does not show
        clean blocks (no video, the pop-up's poster aside, a torn frame)."""
        image = self.x11.XGetImage(self.display, self.root, 0, self.row, self.width, 1, 0xFFFFFFFF, 2)
        if not image:
            return None
        try:
            value = 0
            for i in range(BITS):
                x = int((i + 0.5) * self.width / BITS)
                pixel = self.x11.XGetPixel(image, x, 0)
                luma = (((pixel >> 16) & 0xFF) + ((pixel >> 8) & 0xFF) + (pixel & 0xFF)) // 3
                if 64 < luma < 192:
                    return None  # neither black nor white: not our blocks
                value = value * 2 + (1 if luma >= 192 else 0)
            if value == 0 and self._black_below():
                return None  # a black screen, not frame 0 (whose picture goes on below the band)
            return value
        finally:
            self.x11.XDestroyImage(ctypes.c_void_p(image))

    def _black_below(self):
        """Whether the picture under the band is black where the clip's
        pattern never is (its colour bars, a third of the way down)."""
        image = self.x11.XGetImage(self.display, self.root, 0, self.height // 3, self.width, 1, 0xFFFFFFFF, 2)
        if not image:
            return True
        try:
            return all(self.x11.XGetPixel(image, x, 0) & 0xF0F0F0 == 0
                       for x in range(self.width // 16, self.width, self.width // 8))
        finally:
            self.x11.XDestroyImage(ctypes.c_void_p(image))

    def watch(self, seconds, interval=0.02, until=None):
        """Reads for at most `seconds` (less once until(samples) holds):
        a list of (seconds since the start, frame number or None)."""
        samples = []
        start = time.monotonic()
        while True:
            now = time.monotonic() - start
            if now >= seconds:
                break
            samples.append((now, self.read()))
            if until and until(samples):
                break
            time.sleep(interval)
        return samples


def numbers(samples):
    return [n for _, n in samples if n is not None]


def loops_seen(samples, near_start=15):
    """How many times the frame number fell back to near 0 after having
    been further on: each fall is one loop of the clip."""
    loops, highest = 0, 0
    for n in numbers(samples):
        if n < near_start and highest > 3 * near_start:
            loops += 1
            highest = n
        highest = max(highest, n)
    return loops
