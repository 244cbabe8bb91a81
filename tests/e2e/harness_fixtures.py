"""Fixtures: the files the tests open (GIFs, clips) and a watch on the
folders the program must leave untouched."""
import contextlib
import fcntl
import os
import subprocess
from pathlib import Path


@contextlib.contextmanager
def exclusive(folder):
    """Holds a lock beside `folder` while the files in it are made or checked:
    two test workers that both find them missing make them once."""
    folder = Path(folder)
    folder.parent.mkdir(parents=True, exist_ok=True)
    with open(folder.with_name(folder.name + ".lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        yield folder


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
