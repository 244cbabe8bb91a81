#!/usr/bin/python3
"""Makes the small image files the Windows-side image tests decode.

Run from anywhere; writes next to this script. Needs PIL and exiftool. The
files are committed, so the tests do not depend on either tool.

The "quadrant" picture is 64 x 48 when upright: red top-left, green top-right,
blue bottom-left, yellow bottom-right. Each orientN file stores the picture so
that a viewer honouring EXIF orientation N shows it upright again (PIL's
exif_transpose mapping, inverted), in both TIFF byte orders.
"""
import shutil
import subprocess
from pathlib import Path

from PIL import Image

HERE = Path(__file__).resolve().parent
W, H = 64, 48
QUADRANTS = {"tl": (230, 30, 30), "tr": (30, 200, 30), "bl": (30, 30, 230), "br": (230, 230, 30)}

# How to store the upright picture for each orientation (the inverse of the
# turn a viewer applies when showing it).
STORE = {
    1: None,
    2: Image.Transpose.FLIP_LEFT_RIGHT,
    3: Image.Transpose.ROTATE_180,
    4: Image.Transpose.FLIP_TOP_BOTTOM,
    5: Image.Transpose.TRANSPOSE,
    6: Image.Transpose.ROTATE_90,
    7: Image.Transpose.TRANSVERSE,
    8: Image.Transpose.ROTATE_270,
}


def upright():
    image = Image.new("RGB", (W, H))
    for x in range(W):
        for y in range(H):
            key = ("t" if y < H // 2 else "b") + ("l" if x < W // 2 else "r")
            image.putpixel((x, y), QUADRANTS[key])
    return image


def exiftool(path, *args):
    subprocess.run(["exiftool", "-q", "-overwrite_original", *args, str(path)], check=True)


def patch_orientation_entry(path, new_type=None, new_value=None):
    """Rewrites the type or value of tag 274 in IFD0 of the file's Exif block."""
    data = bytearray(path.read_bytes())
    start = data.index(b"Exif\0\0") + 6
    big = data[start:start + 2] == b"MM"
    order = "big" if big else "little"
    ifd = start + int.from_bytes(data[start + 4:start + 8], order)
    count = int.from_bytes(data[ifd:ifd + 2], order)
    for n in range(count):
        entry = ifd + 2 + 12 * n
        if int.from_bytes(data[entry:entry + 2], order) == 274:
            if new_type is not None:
                data[entry + 2:entry + 4] = new_type.to_bytes(2, order)
            if new_value is not None:
                data[entry + 8:entry + 10] = new_value.to_bytes(2, order)
            path.write_bytes(bytes(data))
            return
    raise SystemExit(f"no orientation entry in {path}")


def main():
    base = upright()
    for n, op in STORE.items():
        stored = base if op is None else base.transpose(op)
        for order in ("MM", "II"):
            path = HERE / f"orient{n}-{order.lower()}.jpg"
            stored.save(path, quality=95, subsampling=0)
            exiftool(path, f"-ExifByteOrder={order}", f"-Orientation#={n}")

    # Values a viewer must ignore: stored as LONG instead of SHORT, 0 and 9.
    # (In Intel order a SHORT 6 and a LONG 6 have the same four value bytes.)
    shutil.copy(HERE / "orient6-ii.jpg", HERE / "orient6-long.jpg")
    patch_orientation_entry(HERE / "orient6-long.jpg", new_type=4)
    for value in (0, 9):
        shutil.copy(HERE / "orient6-mm.jpg", HERE / f"orient6-as{value}.jpg")
        patch_orientation_entry(HERE / f"orient6-as{value}.jpg", new_value=value)

    base.save(HERE / "quad.png")
    # A PNG carrying an EXIF orientation is still shown as stored.
    base.save(HERE / "quad-exif6.png")
    exiftool(HERE / "quad-exif6.png", "-Orientation#=6")
    base.save(HERE / "quad.webp", lossless=True)
    base.convert("P", palette=Image.Palette.ADAPTIVE, colors=8).save(HERE / "palette.png")
    base.convert("L").save(HERE / "grey.jpg", quality=95)
    subprocess.run(["convert", str(HERE / "quad.png"), "-depth", "16", f"png48:{HERE / 'deep.png'}"],
                   check=True)
    Image.new("RGBA", (8, 8), (255, 0, 0, 128)).save(HERE / "halfred.png")
    frames = [Image.new("RGB", (16, 16), c) for c in ((255, 0, 0), (0, 255, 0))]
    frames[0].save(HERE / "twoframes.gif", save_all=True, append_images=frames[1:], duration=100)
    (HERE / "damaged.jpg").write_bytes(b"\xff\xd8\xff\xe0 this is not a picture " * 8)


if __name__ == "__main__":
    main()
