"""Image folders: natural order, stepping with wrap-around, damaged and
undecodable entries, upright photographs and fitted placement, drive roots and
bare file names."""
import shutil
import time

from PIL import Image

import kestrelon_harness as kh

DATA = kh.SOURCE / "tests" / "image" / "data"
BLACK = (0, 0, 0)


def solid(path, colour, size=(64, 36)):
    """A picture of one colour; the format follows the extension unless it is not
    one PIL knows in that case (IMG3.PNG, picture.Jpg)."""
    formats = {".png": "PNG", ".jpg": "JPEG", ".jpeg": "JPEG", ".webp": "WEBP", ".gif": "GIF"}
    fmt = formats[path.suffix.lower()]
    options = {"quality": 95, "subsampling": 0} if fmt == "JPEG" else {}
    if fmt == "WEBP":
        options = {"lossless": True}
    Image.new("RGB", size, colour).save(path, fmt, **options)


def screen_colour(app, name, points):
    image = app.screenshot(name)
    return [kh.pixel(image, x, y) for x, y in points]


def wait_colour(app, name, expected, points, timeout=6.0, tolerance=24):
    """Waits until every sample point shows `expected`; returns the last samples."""
    last = []

    def probe():
        last[:] = screen_colour(app, name, points)
        return all(kh.near(c, expected, tolerance) for c in last)

    kh.wait_until(probe, timeout)
    return last


# ---- one folder, every kind of entry, stepped through both ways ----

# Listed, in the natural order the viewer must show them; None: shows black.
LISTED = [
    (".hidden.png", (250, 130, 0)),    # a hidden file (dot files are hidden under Wine)
    (".y.jpg", None),                  # a hidden folder: listed, never decodes
    ("a1.jpg", (200, 30, 30)),
    ("a01.jpg", (30, 160, 30)),
    ("broken.jpg", None),              # damaged
    ("img1.jpg", (30, 30, 200)),
    ("img2.jpg", (220, 220, 30)),
    ("IMG3.PNG", (30, 200, 200)),
    ("img10.jpg", (200, 30, 200)),
    ("photo (2).jpg", (120, 120, 120)),
    ("photo.jpg", (250, 250, 250)),
    ("z.webp", None),                  # no WebP codec under Wine
]
NOT_LISTED = [("picture.Jpg", (100, 60, 20)), ("anim.gif", (20, 100, 60))]


def make_mixed_folder(folder):
    for name, colour in LISTED:
        if name == ".y.jpg":
            (folder / name).mkdir()
        elif name == "broken.jpg":
            (folder / name).write_bytes(b"\xff\xd8\xff\xe0 not a picture at all" * 20)
        else:
            solid(folder / name, colour or (90, 200, 90))
    for name, colour in NOT_LISTED:
        solid(folder / name, colour)
    (folder / "notes.txt").write_text("not an image")
    (folder / "x.jpg").mkdir()  # a visible folder with an image's name
    solid(folder / "x.jpg" / "inside.jpg", (10, 90, 250))


def test_folder_steps_in_natural_order_and_wraps(run_app, tmp_path):
    make_mixed_folder(tmp_path)
    app = run_app([kh.to_windows_path(tmp_path / ".hidden.png")])
    app.wait_window()
    points = [(640, 360), (20, 20), (1260, 700), (300, 500)]  # 16:9 pictures fill the screen

    def expect(step, index):
        name, colour = LISTED[index]
        if colour is None:
            # Black once the step has happened, and still black a few ticks later.
            samples = wait_colour(app, f"mixed-{step:02d}", BLACK, points, tolerance=0)
            time.sleep(0.3)
            samples += screen_colour(app, f"mixed-{step:02d}", points)
            assert all(c == BLACK for c in samples), (step, name, samples)
        else:
            samples = wait_colour(app, f"mixed-{step:02d}", colour, points)
            assert all(kh.near(c, colour) for c in samples), (step, name, colour, samples)

    expect(0, 0)
    # Twelve steps right: every listed entry in order, then back to the first.
    for step in range(1, 13):
        app.key("Right")
        expect(step, step % len(LISTED))
    # Left from the first wraps to the last, then goes on backwards.
    app.key("Left")
    expect(13, 11)
    app.key("Left")
    expect(14, 10)
    # A burst of presses faster than the paints: every press still counts.
    app.key(*(["Right"] * 7 + ["Left"] * 2), delay_ms=5)
    expect(15, (10 + 5) % len(LISTED))
    assert app.alive()


# ---- upright photographs, pictures as stored, fitted placement ----

QUADRANTS = {"tl": (230, 30, 30), "tr": (30, 200, 30), "bl": (30, 30, 230), "br": (230, 230, 30)}


def fit(bw, bh, w, h):
    """The panel's fitted destination of a bw x bh picture on a w x h screen at 96 DPI."""
    if bh / bw > h / w:
        dw = h / (bh / bw)
        left = (w - dw) * 0.5
        return left, 0.0, left + dw, float(h)
    dh = w / (bw / bh)
    top = (h - dh) * 0.5
    return 0.0, top, float(w), top + dh


def assert_quadrants(image, size, label):
    left, top, right, bottom = fit(64, 48, *size)
    cx, cy = (left + right) / 2, (top + bottom) / 2
    qw, qh = (right - left) / 4, (bottom - top) / 4
    where = {"tl": (cx - qw, cy - qh), "tr": (cx + qw, cy - qh),
             "bl": (cx - qw, cy + qh), "br": (cx + qw, cy + qh)}
    for key, (x, y) in where.items():
        got = kh.pixel(image, int(x), int(y))
        assert kh.near(got, QUADRANTS[key], 40), (label, key, got)
    assert kh.pixel(image, int(left) - 4, int(cy)) == BLACK, label


def assert_fitted(image, size, bw, bh, colour, label):
    left, top, right, bottom = fit(bw, bh, *size)
    cx, cy = int((left + right) / 2), int((top + bottom) / 2)
    inside = [(int(left) + 2, cy), (int(right) - 3, cy), (cx, int(top) + 2), (cx, int(bottom) - 3)]
    for x, y in inside:
        assert kh.near(kh.pixel(image, x, y), colour), (label, "inside", x, y)
    outside = [(int(left) - 3, cy), (int(right) + 2, cy), (cx, int(top) - 3), (cx, int(bottom) + 2)]
    for x, y in outside:
        if 0 <= x < size[0] and 0 <= y < size[1]:
            assert kh.pixel(image, x, y) == BLACK, (label, "outside", x, y)


TALL = (300, 900, (250, 120, 40))
WIDE = (1600, 200, (40, 120, 250))
SEPARATOR = (200, 0, 200)


def make_photo_folder(folder):
    # A solid picture after each photograph ("orient1-mm.jpg", "orient1-sep.png",
    # ...) makes every step visible although upright photographs look alike.
    for n in range(1, 9):
        shutil.copy(DATA / f"orient{n}-mm.jpg", folder / f"orient{n}-mm.jpg")
        solid(folder / f"orient{n}-sep.png", SEPARATOR)
    shutil.copy(DATA / "quad.png", folder / "quad.png")
    shutil.copy(DATA / "quad-exif6.png", folder / "quad-exif6.png")
    solid(folder / "tall.png", TALL[2], TALL[:2])
    solid(folder / "wide.png", WIDE[2], WIDE[:2])


def wait_fitted(app, size, picture, label):
    bw, bh, colour = picture
    left, top, right, bottom = fit(bw, bh, *size)
    centre = [(int((left + right) / 2), int((top + bottom) / 2)), (int(left) + 2, int(top) + 2)]
    wait_colour(app, label, colour, centre)
    assert_fitted(app.screenshot(label), size, bw, bh, colour, label)


def test_photographs_upright_and_pictures_fitted(run_app, tmp_path):
    make_photo_folder(tmp_path)
    size = (1280, 720)
    app = run_app([kh.to_windows_path(tmp_path / "orient1-mm.jpg")], size=size)
    app.wait_window()
    left, top, right, bottom = fit(64, 48, *size)
    top_left = [(int(left + (right - left) / 4), int(top + (bottom - top) / 4))]
    # Each photograph upright, each followed by its separator; then the PNGs as stored.
    labels = [f"orient{n}" for n in range(1, 9)] + ["png-exif6", "png"]
    for step, label in enumerate(labels):
        if step:
            app.key("Right")
        wait_colour(app, f"photo-{label}", QUADRANTS["tl"], top_left, 8.0, 40)
        assert_quadrants(app.screenshot(f"photo-{label}"), size, label)
        if label.startswith("orient"):
            app.key("Right")
            samples = wait_colour(app, f"sep-{label}", SEPARATOR, [(640, 360)])
            assert kh.near(samples[0], SEPARATOR), (label, samples)
    app.key("Right")
    wait_fitted(app, size, TALL, "tall-1280")
    app.key("Right")
    wait_fitted(app, size, WIDE, "wide-1280")


def test_fitted_pictures_at_1920x1080(run_app, tmp_path):
    solid(tmp_path / "tall.png", TALL[2], TALL[:2])
    solid(tmp_path / "wide.png", WIDE[2], WIDE[:2])
    size = (1920, 1080)
    app = run_app([kh.to_windows_path(tmp_path / "tall.png")], size=size)
    app.wait_window()
    wait_fitted(app, size, TALL, "tall-1920")
    app.key("Right")
    wait_fitted(app, size, WIDE, "wide-1920")


# ---- where the folder part names no folder of its own, or a drive root ----

ABC = [("a.png", (220, 40, 40)), ("b.png", (40, 200, 40)), ("c.png", (40, 40, 220))]


def test_drive_root_folder(run_app, tmp_path):
    for name, colour in ABC:
        solid(tmp_path / name, colour)
    kh.map_drive("k", tmp_path)
    try:
        app = run_app(["K:\\b.png"])
        app.wait_window()
        centre = [(640, 360)]
        for step, (name, colour) in enumerate([ABC[1], ABC[2], ABC[0]]):
            if step:
                app.key("Right")
            samples = wait_colour(app, f"root-{name}", colour, centre)
            assert kh.near(samples[0], colour), (name, samples)
    finally:
        kh.unmap_drive("k")


def test_bare_file_name_lists_the_current_folder(run_app, tmp_path):
    for name, colour in ABC:
        solid(tmp_path / name, colour)
    app = run_app(["b.png"], cwd=tmp_path)
    app.wait_window()
    centre = [(640, 360)]
    for step, (name, colour) in enumerate([ABC[1], ABC[0]]):
        if step:
            app.key("Left")
        samples = wait_colour(app, f"bare-{name}", colour, centre)
        assert kh.near(samples[0], colour), (name, samples)
