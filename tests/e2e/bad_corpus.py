"""Hostile inputs for kestrelon.exe, generated on the fly (nothing large is committed).

Each case is a folder of its own with the file to open; `make_cases(root)` builds
them all and returns (name, folder, argv, options) tuples.
"""
import os
import random
import shutil
import struct
import subprocess
import zlib
from pathlib import Path

RNG = random.Random(20261207)
_making = True  # False while an existing corpus is reused: the makers do nothing


def making(function):
    def maker(*args, **kwargs):
        if _making:
            return function(*args, **kwargs)
        return None
    return maker


@making
def run(*args):
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


@making
def write(path, data):
    Path(path).write_bytes(data)


def solid_png(path, colour="red", size="160x120"):
    run("convert", "-size", size, f"xc:{colour}", f"png:{path}")


def solid_jpg(path, colour="blue", size="160x120"):
    run("convert", "-size", size, f"xc:{colour}", f"jpg:{path}")


def gif_anim(path):
    run("convert", "-delay", "10", "-size", "64x48", "xc:red", "xc:lime", "xc:blue", f"gif:{path}")


def png_chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


@making
def huge_png(path):
    """A valid PNG header claiming 100000 x 100000 pixels, with a tiny IDAT."""
    ihdr = struct.pack(">IIBBBBB", 100000, 100000, 8, 6, 0, 0, 0)
    idat = zlib.compress(b"\x00" * 64)
    Path(path).write_bytes(b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", ihdr) + png_chunk(b"IDAT", idat)
                           + png_chunk(b"IEND", b""))


@making
def gif_of_tiny_frames(path, count, left=0, top=0, screen=(1, 1)):
    """A GIF with `count` 1x1 frames (each with a Graphic Control Extension)."""
    out = bytearray(b"GIF89a" + struct.pack("<HH", *screen) + bytes([0xF0, 0, 0]))
    out += bytes([255, 0, 0, 0, 0, 255])  # two-colour global table
    out += b"\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00"
    for i in range(count):
        out += b"\x21\xF9\x04\x00" + struct.pack("<H", 1) + b"\x00\x00"
        out += b"\x2C" + struct.pack("<HHHH", left, top, 1, 1) + b"\x00"
        out += b"\x02\x02\x44\x01\x00"  # LZW: clear, index 0, end
    out += b"\x3B"
    Path(path).write_bytes(bytes(out))


@making
def lying_exif_jpeg(path, kind):
    """A real JPEG with an APP1 Exif block whose TIFF structure lies."""
    base = Path(path).with_suffix(".base.jpg")
    solid_jpg(base)
    jpeg = base.read_bytes()
    base.unlink()
    if kind == "offset-past-end":
        tiff = b"II*\x00" + struct.pack("<I", 0x7FFFFFF0)
    elif kind == "ifd-loop":
        # IFD0 at 8 with one entry; its next-IFD offset points back at itself.
        tiff = b"II*\x00" + struct.pack("<I", 8) + struct.pack("<H", 1)
        tiff += struct.pack("<HHII", 0x8769, 4, 1, 8) + struct.pack("<I", 8)
    elif kind == "huge-count":
        tiff = b"MM\x00*" + struct.pack(">I", 8) + struct.pack(">H", 0xFFFF)
        tiff += struct.pack(">HHII", 274, 3, 0xFFFFFFFF, 0x7FFFFFFF)
    else:  # orientation entry whose value offset runs off the block
        tiff = b"II*\x00" + struct.pack("<I", 8) + struct.pack("<H", 1)
        tiff += struct.pack("<HHII", 274, 3, 4, 0xFFFFFFF0) + struct.pack("<I", 0)
    payload = b"Exif\x00\x00" + tiff
    app1 = b"\xFF\xE1" + struct.pack(">H", len(payload) + 2) + payload
    Path(path).write_bytes(jpeg[:2] + app1 + jpeg[2:])


def video(path, *args):
    run("ffmpeg", "-y", "-loglevel", "error", *args, str(path))


@making
def random_bytes(path, size=4096):
    Path(path).write_bytes(bytes(RNG.getrandbits(8) for _ in range(size)))


@making
def truncated(source_maker, path, cut):
    full = Path(str(path) + ".full")
    source_maker(full)
    data = full.read_bytes()
    full.unlink()
    keep = cut if cut >= 1 else int(len(data) * cut)
    Path(path).write_bytes(data[:keep])


CORPUS_VERSION = 1

ALL_EXTENSIONS = [".png", ".PNG", ".jpg", ".JPG", ".jpeg", ".JPEG", ".webp", ".WEBP", ".gif", ".GIF",
                  ".wmv", ".WMV", ".avi", ".AVI", ".mp4", ".MP4", ".mov", ".MOV", ".webm", ".WEBM",
                  ".mpeg", ".MPEG", ".mpg", ".MPG"]


def make_cases(root):
    """Builds every case under `root`; returns a list of dicts:
    name, folder, args (list, Windows paths where needed), cwd (optional),
    mutate (optional callable run while the app runs), unchanged (bool),
    screen (optional: "idle", or the colour the whole picture shows)."""
    from kestrelon_harness import to_windows_path as win
    root = Path(root)
    # The corpus is made once per build folder; bump CORPUS_VERSION when it changes.
    global _making
    stamp = root / f".made-{CORPUS_VERSION}"
    _making = not stamp.exists()
    if _making and root.exists():
        shutil.rmtree(root)
    cases = []

    def case(name, target=None, args=None, **options):
        folder = root / name
        folder.mkdir(parents=True, exist_ok=True)
        entry = {"name": name, "folder": folder, "unchanged": True, "cwd": None, "mutate": None,
                 "screen": None}
        entry.update(options)
        entry["target"] = target
        entry["args"] = args
        cases.append(entry)
        return folder

    # ---- images ----
    for ext, maker in ((".png", solid_png), (".jpg", solid_jpg), (".gif", gif_anim)):
        for cut in (8, 100, 0.5):
            folder = case(f"truncated{ext}-{cut}")
            truncated(maker, folder / f"cut{ext}", cut)
            solid_png(folder / "neighbour.png", "green")
            cases[-1]["target"] = folder / f"cut{ext}"
    for ext in (".png", ".jpg", ".jpeg", ".webp", ".gif"):
        folder = case(f"random{ext}")
        random_bytes(folder / f"noise{ext}")
        cases[-1]["target"] = folder / f"noise{ext}"
    folder = case("zero-bytes-every-extension")
    for ext in ALL_EXTENSIONS:
        write(folder / f"empty{ext}", b"")
    cases[-1]["target"] = folder / "empty.png"
    for ext in (".gif", ".mp4", ".wmv", ".webm", ".mpg"):
        cases.append(dict(cases[-1], name=f"zero-bytes{ext}", target=folder / f"empty{ext}"))
    for kind in ("offset-past-end", "ifd-loop", "huge-count", "value-off-block"):
        folder = case(f"exif-{kind}")
        lying_exif_jpeg(folder / "liar.jpg", kind)
        cases[-1]["target"] = folder / "liar.jpg"
    folder = case("png-100000x100000")
    huge_png(folder / "huge.png")
    cases[-1]["target"] = folder / "huge.png"
    folder = case("gif-3000-tiny-frames")
    gif_of_tiny_frames(folder / "many.gif", 3000)
    cases[-1]["target"] = folder / "many.gif"
    folder = case("gif-frames-outside-screen")
    gif_of_tiny_frames(folder / "outside.gif", 5, left=5000, top=60000, screen=(10, 10))
    cases[-1]["target"] = folder / "outside.gif"

    # ---- folders ----
    folder = case("five-thousand-images", responsive=True)
    solid_png(folder / "seed.png", "purple", "32x24")
    if _making:
        seed = (folder / "seed.png").read_bytes()
        for i in range(5000):
            write(folder / f"img{i}.png", seed)
        (folder / "seed.png").unlink()
    cases[-1]["target"] = folder / "img2500.png"
    folder = case("japanese-and-emoji-names", screen=(255, 165, 0))
    for name in ("写真 1.png", "写真 10.png", "写真 2.png", "😀 smile.png", "é.png"):
        solid_png(folder / name, "orange")
    cases[-1]["target"] = folder / "😀 smile.png"
    folder = case("spaces-and-dots", screen=(0, 128, 128))
    for name in (" .png", "..png", ". .png", "a. .png", "   x   .png"):
        solid_png(folder / name, "teal")
    cases[-1]["target"] = folder / "..png"
    for total in (259, 260, 300, 511, 600):
        folder = case(f"path-{total}")
        prefix = len(win(folder)) + 1
        name_len = total - prefix
        target = folder
        while name_len > 120:  # nest folders so no component exceeds Linux limits
            target = target / ("d" * 100)
            name_len -= 101
        target.mkdir(parents=True, exist_ok=True)
        if name_len < 5:
            name_len = 5
        file = target / ("p" * (name_len - 4) + ".png")
        solid_png(file, "yellow")
        cases[-1]["target"] = file
    folder = case("folder-named-x.jpg")
    (folder / "x.jpg").mkdir(exist_ok=True)
    solid_jpg(folder / "real.jpg")
    cases[-1]["target"] = folder / "real.jpg"
    folder = case("start-file-missing")
    solid_png(folder / "other.png")
    cases[-1]["target"] = folder / "gone.png"
    folder = case("images-deleted-during-prefetch", unchanged=False)
    # Remade on every run: the case deletes most of them.
    subprocess.run(["convert", "-size", "640x480", "xc:navy", str(folder / "shot.jpg")], check=True)
    for i in range(60):
        shutil.copyfile(folder / "shot.jpg", folder / f"shot{i}.jpg")
    cases[-1]["target"] = folder / "shot0.jpg"
    cases[-1]["mutate"] = lambda f=folder: [p.unlink() for p in sorted(f.glob("shot*.jpg"))[1:40]]

    # ---- videos ----
    folder = case("mp4-without-moov")
    video(folder / "full.mp4", "-f", "lavfi", "-i", "testsrc=size=320x240:rate=25:duration=2",
          "-c:v", "libx264", "-pix_fmt", "yuv420p", "-movflags", "+faststart")
    if _making:
        data = (folder / "full.mp4").read_bytes()
        (folder / "full.mp4").unlink()
        moov = data.find(b"moov")
        write(folder / "nomoov.mp4", data[: max(moov - 4, 16)] + data[moov + 2000:])
    cases[-1]["target"] = folder / "nomoov.mp4"
    for ext in (".mp4", ".avi", ".wmv"):
        folder = case(f"random-video{ext}")
        random_bytes(folder / f"noise{ext}", 65536)
        cases[-1]["target"] = folder / f"noise{ext}"
    folder = case("audio-only")
    video(folder / "tone.mp4", "-f", "lavfi", "-i", "sine=frequency=440:duration=2", "-c:a", "aac")
    cases[-1]["target"] = folder / "tone.mp4"
    folder = case("half-second-clip")
    video(folder / "short.mp4", "-f", "lavfi", "-i", "testsrc=size=320x240:rate=25:duration=0.5",
          "-c:v", "libx264", "-pix_fmt", "yuv420p")
    cases[-1]["target"] = folder / "short.mp4"
    folder = case("webm-named-mpg")
    video(folder / "really-webm.mpg", "-f", "lavfi", "-i", "testsrc=size=320x240:rate=25:duration=2",
          "-c:v", "libvpx", "-f", "webm")
    cases[-1]["target"] = folder / "really-webm.mpg"

    # ---- command line ----
    case("no-argument", args=[], screen="idle")
    folder = case("two-arguments", screen=(255, 0, 0))  # the first one only
    solid_png(folder / "one.png")
    solid_png(folder / "two.png", "blue")
    cases[-1]["args"] = [win(folder / "one.png"), win(folder / "two.png")]
    folder = case("directory-argument", screen="idle")
    solid_png(folder / "inside.png")
    cases[-1]["args"] = [win(folder)]
    folder = case("relative-path", screen=(255, 0, 0))
    solid_png(folder / "rel.png")
    cases[-1]["args"] = ["rel.png"]
    cases[-1]["cwd"] = folder
    folder = case("quoted-path-with-spaces", screen=(0, 0, 255))
    sub = folder / "my pictures" / "summer holiday"
    sub.mkdir(parents=True, exist_ok=True)
    solid_jpg(sub / "beach day.jpg")
    cases[-1]["target"] = sub / "beach day.jpg"

    stamp.touch()
    for entry in cases:
        if entry["args"] is None:
            entry["args"] = [win(entry["target"])] if entry["target"] else []
    return cases


def snapshot(folder):
    """name -> (size, sha256, mtime_ns) of every file below `folder`."""
    import hashlib
    result = {}
    for dirpath, dirnames, filenames in os.walk(folder):
        for name in dirnames + filenames:
            path = Path(dirpath) / name
            st = path.lstat()
            digest = hashlib.sha256(path.read_bytes()).hexdigest() if path.is_file() else "dir"
            result[str(path.relative_to(folder))] = (st.st_size if path.is_file() else 0, digest,
                                                     st.st_mtime_ns)
    return result
