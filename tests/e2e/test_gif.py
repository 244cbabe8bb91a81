"""Animated GIFs end to end: frame order and timing on screen, partial frames,
placement on the screen, and the files that cannot play."""
import struct
import subprocess
import time

import pytest

import kestrelon_harness as kh
from test_idle_screen import wait_idle_screen

RED, GREEN, BLUE, BLACK = (255, 0, 0), (0, 255, 0), (0, 0, 255), (0, 0, 0)
PALETTE = {"red": RED, "green": GREEN, "blue": BLUE, "black": BLACK}


def place(frame, canvas, screen):
    """Where a frame rectangle (l, t, r, b) of the canvas lands on the screen at 96 DPI."""
    (gw, gh), (w, h) = canvas, screen
    if gh / gw > h / w:
        s = h / gh
        ox, oy = (w - gw * s) * 0.5, 0.0
    else:
        s = w / gw
        ox, oy = 0.0, (h - gh * s) * 0.5
    l, t, r, b = frame
    return (l * s + ox, t * s + oy, r * s + ox, b * s + oy)


def filled_box(image, colour, size):
    """The box (l, t, r, b) that `colour` covers along the middle row and column."""
    w, h = size
    xs = [x for x in range(w) if kh.near(image.getpixel((x, h // 2)), colour, 40)]
    ys = [y for y in range(h) if kh.near(image.getpixel((w // 2, y)), colour, 40)]
    assert xs and ys, f"{colour} not on screen"
    return (xs[0], ys[0], xs[-1] + 1, ys[-1] + 1)


def assert_box(actual, expected, slack=2):
    assert all(abs(a - e) <= slack for a, e in zip(actual, expected)), (actual, expected)


def test_frames_play_in_order_for_their_waits_and_loop(run_app, tmp_path):
    # Delays 10, 20, 50: each frame stays for the wait of the frame after it
    # (red 200 ms, green 500 ms, blue 100 ms), the paint time not added.
    gif = kh.make_gif(tmp_path / "colours.gif", (160, 90),
                      [("red", 10, None, None), ("lime", 20, None, None), ("blue", 50, None, None)])
    app = run_app([kh.to_windows_path(gif)])
    app.wait_window()
    # Until two whole cycles after the first frame have been seen (9 runs with
    # the black before it), however slow the paints are.
    samples = kh.sample_pixel(app.display.name, 640, 360, 12.0,
                              enough=lambda s: len(kh.colour_runs(s, PALETTE)) >= 9)
    runs = kh.colour_runs(samples, PALETTE)
    assert None not in [name for name, _, _ in runs], runs
    names = [name for name, _, _ in runs]
    # Black until the first frame, and nothing but black before it.
    first = next(i for i, n in enumerate(names) if n != "black")
    assert set(names[:first]) <= {"black"} and names[first] == "red", names
    cycle = ["red", "green", "blue"]
    played = names[first:]
    assert played == [cycle[i % 3] for i in range(len(played))], names
    # A whole frame's time needs the start of the run after it.
    timed = [(n, runs[first + i + 1][1] - s) for i, (n, s, _) in enumerate(runs[first:-1])]
    assert len(timed) >= 6, runs  # looped past its end
    scheduled = {"red": 0.2, "green": 0.5, "blue": 0.1}
    # The first frame also waited for the start-up paints: the schedule is
    # counted from the second. A frame shows once its paint has ended, and
    # paints differ (20-40 ms here), so each start is late against the
    # schedule by some amount; the least late start anchors it.
    starts = [s for _, s, _ in runs[first + 1:]]
    planned = [sum(scheduled[n] for n, _ in timed[1:i + 1]) for i in range(len(starts))]
    anchor = min(s - p for s, p in zip(starts, planned))
    for i, (name, seconds) in enumerate(timed[1:]):
        late = starts[i] - planned[i] - anchor
        # Never early (the sampling blurs a few ms), except that a frame that
        # came late is cut short by as much: the frames keep to a schedule
        # and catch up. Late by a stall, but not by a misread unit.
        assert scheduled[name] * 0.9 - late <= seconds <= scheduled[name] + 1.5, (name, seconds, late, timed)
    # And the schedule is the file's: the whole cycles together last as long
    # as the frames' waits (the schedule does not drift: only the two starts'
    # paints differ).
    cycles = (len(starts) - 1) // 3 * 3
    assert abs(starts[cycles] - starts[0] - planned[cycles]) <= 0.06, (starts, timed)
    # Each frame stays for the wait of the frame after it, not for its own:
    # green (500 ms) outlasts the blue (100 ms) after it, whatever the paints cost.
    for (name, seconds), (next_name, next_seconds) in zip(timed, timed[1:]):
        if name == "green":
            assert seconds > next_seconds, timed
    print("frame times on screen (s):", [(n, round(s, 3)) for n, s in timed])

    started = time.monotonic()
    app.close_with_f11(5)
    assert time.monotonic() - started < 1.5


def test_partial_frames_change_only_their_own_rectangle(run_app, tmp_path):
    # Red canvas, then a blue patch, then a green patch; the picture with both
    # patches stays for frame 0's 1.5 s wait.
    canvas, screen = (200, 100), (1280, 720)
    blue_frame, green_frame = (20, 30, 70, 70), (120, 60, 180, 80)
    gif = kh.make_gif(tmp_path / "partial.gif", canvas,
                      [("red", 150, None, None), ("blue", 50, (50, 40), (20, 30)),
                       ("lime", 50, (60, 20), (120, 60))])
    app = run_app([kh.to_windows_path(gif)], size=screen)
    app.wait_window()
    gl, gt, gr, gb = (int(v) for v in place(green_frame, canvas, screen))
    deadline = time.monotonic() + 8
    while time.monotonic() < deadline:
        if kh.near(kh.sample_pixel(app.display.name, (gl + gr) // 2, (gt + gb) // 2, 0.001)[0][1], GREEN):
            break
        time.sleep(0.01)
    else:
        pytest.fail("the green patch never appeared")
    image = app.screenshot("gif-partial")
    assert_box(filled_box_in(image, GREEN, (gl, gt, gr, gb)), place(green_frame, canvas, screen))
    bl, bt, br, bb = place(blue_frame, canvas, screen)
    assert_box(filled_box_in(image, BLUE, (int(bl), int(bt), int(br), int(bb))), (bl, bt, br, bb))
    # The rest of the canvas is still frame 0's red; the bands outside it black.
    cl, ct, cr, cb = (int(v) for v in place((0, 0) + canvas, canvas, screen))
    for x, y in [(cl + 10, ct + 10), (cr - 10, cb - 10), (int(br) + 20, int(bt) + 5),
                 (gl - 20, gb - 5), (gl + 10, gt - 10), (640, cb - 5)]:
        assert kh.near(image.getpixel((x, y)), RED), (x, y, image.getpixel((x, y)))
    for x, y in [(640, ct - 10), (640, cb + 10), (5, 5), (1275, 715)]:
        assert image.getpixel((x, y)) == BLACK, (x, y)


def filled_box_in(image, colour, box):
    """The box that `colour` covers along the middle row and column of `box`, searched 8 px around it."""
    l, t, r, b = box
    my, mx = (t + b) // 2, (l + r) // 2
    xs = [x for x in range(l - 8, r + 8) if kh.near(image.getpixel((x, my)), colour, 40)]
    ys = [y for y in range(t - 8, b + 8) if kh.near(image.getpixel((mx, y)), colour, 40)]
    assert xs and ys, f"{colour} not in {box}"
    return (xs[0], ys[0], xs[-1] + 1, ys[-1] + 1)


@pytest.mark.parametrize("screen,canvas", [
    ((1280, 720), (60, 80)),      # smaller than the screen, tall
    ((1280, 720), (2400, 900)),   # larger, wide
    ((1920, 1080), (100, 40)),    # smaller, wide
    ((1920, 1080), (900, 2000)),  # larger, tall
])
def test_canvas_is_fitted_and_centred(run_app, tmp_path, screen, canvas):
    gif = kh.make_gif(tmp_path / "size.gif", canvas, [("lime", 10, None, None)])
    app = run_app([kh.to_windows_path(gif)], size=screen)
    app.wait_window()
    expected = place((0, 0) + canvas, canvas, screen)
    image = app.wait_screen(lambda i: kh.near(i.getpixel((screen[0] // 2, screen[1] // 2)), GREEN, 40),
                            f"gif-{canvas[0]}x{canvas[1]}-on-{screen[0]}x{screen[1]}")
    assert_box(filled_box(image, GREEN, screen), expected)
    # Black outside the canvas, on the side the fit leaves open.
    l, t, r, b = (int(v) for v in expected)
    outside = [(l - 5, screen[1] // 2), (r + 5, screen[1] // 2)] if l > 5 else \
        [(screen[0] // 2, t - 5), (screen[0] // 2, b + 5)]
    for x, y in outside:
        assert image.getpixel((x, y)) == BLACK, (x, y)


def test_damaged_gif_falls_back_to_idle_screen(run_app, tmp_path):
    good = kh.make_gif(tmp_path / "good.gif", (400, 300),
                       [("red", 10, None, None), ("plasma:fractal", 20, None, None)])
    data = good.read_bytes()
    damaged = tmp_path / "damaged.gif"
    damaged.write_bytes(data[:len(data) // 2])
    app = run_app([kh.to_windows_path(damaged)])
    app.wait_window()
    wait_idle_screen(app, (1280, 720), "gif-damaged")


def test_gif_without_frames_stays_black(run_app, tmp_path):
    # Header, a 40 x 30 logical screen with a two-colour table, trailer.
    empty = tmp_path / "empty.gif"
    empty.write_bytes(b"GIF89a" + struct.pack("<HHBBB", 40, 30, 0x80, 0, 0) +
                      bytes([0, 0, 0, 255, 255, 255]) + b";")
    app = run_app([kh.to_windows_path(empty)])
    app.wait_window()
    time.sleep(1.5)
    image = app.screenshot("gif-empty")
    assert kh.region_colours(image, (0, 0, 1280, 720), step=16) == {BLACK}
    assert app.alive()
    app.close_with_f11(5)


# ---- composition: transparency, disposal, clipping, interlacing ----
#
# Each GIF has a 32 x 18 logical screen, shown at 1280 x 720: every canvas
# pixel is a 40 x 40 block on screen, so the screen can be read back as a
# canvas by sampling the block centres and compared with the composed frames
# the test expects, worked out here from the same frame pictures.

CANVAS, SCREEN, BLOCK = (32, 18), (1280, 720), 40
DISPOSAL = {"none": 1, "background": 2, "previous": 3}
NAMED = {"R": (255, 0, 0), "G": (0, 255, 0), "B": (0, 0, 255), "W": (255, 255, 255),
         "Y": (255, 255, 0), "M": (255, 0, 255), "C": (0, 255, 255)}


def picture(size, colour, holes=()):
    """A frame picture of one colour with transparent rectangles (l, t, r, b) in it."""
    from PIL import Image
    image = Image.new("RGBA", size, NAMED[colour] + (255,))
    for l, t, r, b in holes:
        image.paste((0, 0, 0, 0), (l, t, r, b))
    return image


def stripes(size, colours):
    """A frame picture whose rows take the colours in turn (shows rows out of order)."""
    from PIL import Image
    image = Image.new("RGBA", size)
    for y in range(size[1]):
        image.paste(NAMED[colours[y % len(colours)]] + (255,), (0, y, size[0], y + 1))
    return image


def compose(frames):
    """The canvas (rows of RGB, transparent as black) showing each frame in
    turn, composed as browsers do: transparent pixels keep the canvas, clipped
    to the logical screen; after a frame, 'background' clears its rectangle to
    transparent and 'previous' puts back what it held. Starts clear."""
    width, height = CANVAS
    canvas = [[None] * width for _ in range(height)]
    shown = []
    undo = None
    for image, (left, top), disposal in frames:
        if undo:
            undo()
        before = [row[:] for row in canvas]
        box = [(x, y) for y in range(max(top, 0), min(top + image.height, height))
               for x in range(max(left, 0), min(left + image.width, width))]
        for x, y in box:
            r, g, b, a = image.getpixel((x - left, y - top))
            if a:
                canvas[y][x] = (r, g, b)
        shown.append(tuple(tuple(c or (0, 0, 0) for c in row) for row in canvas))
        if disposal == "background":
            def undo(box=box):
                for x, y in box:
                    canvas[y][x] = None
        elif disposal == "previous":
            def undo(box=box, before=before):
                for x, y in box:
                    canvas[y][x] = before[y][x]
        else:
            undo = None
    return shown


def gif_blocks(path):
    """(disposal, transparent, left, top, width, height, interlaced) of each frame, read from the file."""
    import struct as st
    data = path.read_bytes()
    pos, flags = 13, data[10]
    if flags & 0x80:
        pos += 3 * (2 << (flags & 7))
    frames, control = [], (0, False)
    while data[pos] != 0x3B:
        if data[pos] == 0x21:
            if data[pos + 1] == 0xF9:
                packed = data[pos + 3]
                control = ((packed >> 2) & 7, bool(packed & 1))
            pos += 2
        else:
            left, top, w, h, packed = st.unpack("<HHHHB", data[pos + 1:pos + 10])
            frames.append(control + (left, top, w, h, bool(packed & 0x40)))
            control = (0, False)
            pos += 10 + (3 * (2 << (packed & 7)) if packed & 0x80 else 0) + 1
        while data[pos]:
            pos += data[pos] + 1
        pos += 1
    return frames


def make_composed_gif(folder, name, frames, interlace=False, delay=30):
    """Writes the frames (picture, (left, top), disposal) as one GIF with ImageMagick,
    each keeping its own rectangle, and checks that the file holds them so."""
    args = ["convert"]
    for i, (image, (left, top), disposal) in enumerate(frames):
        png = folder / f"{name}-{i}.png"
        image.save(png)
        args += ["-delay", str(delay), "-dispose", disposal.capitalize(),
                 "-page", f"{CANVAS[0]}x{CANVAS[1]}+{left}+{top}", str(png)]
    if interlace:
        args += ["-interlace", "GIF"]
    path = folder / f"{name}.gif"
    subprocess.run(args + ["-loop", "0", f"gif:{path}"], check=True)
    written = gif_blocks(path)
    assert [(d, l, t, w, h, i) for d, _, l, t, w, h, i in written] == [
        (DISPOSAL[disposal], left, top, image.width, image.height, interlace)
        for image, (left, top), disposal in frames], written
    for (image, _, _), (_, transparent, *_rest) in zip(frames, written):
        assert transparent == (image.getextrema()[3][0] == 0), written
    return path


class CanvasReader(kh.ScreenReader):
    """Reads the screen back as a canvas: one XGetImage of the root window,
    then the pixel at the centre of each canvas block (half the time a whole
    picture of the screen takes), so every frame of a 300 ms cycle is caught
    several times."""

    def canvas(self):
        image = self.x11.XGetImage(self.display, self.root, 0, 0, SCREEN[0], SCREEN[1], 0xFFFFFFFF, 2)
        assert image
        try:
            rows = []
            for cy in range(CANVAS[1]):
                row = []
                for cx in range(CANVAS[0]):
                    v = self.x11.XGetPixel(image, cx * BLOCK + BLOCK // 2, cy * BLOCK + BLOCK // 2)
                    row.append(((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF))
                rows.append(tuple(row))
            return tuple(rows)
        finally:
            self.x11.XDestroyImage(image)


def describe(canvas):
    letter = {v: k for k, v in NAMED.items()}
    letter[(0, 0, 0)] = "."
    return "\n".join("".join(letter.get(c, "?") for c in row) for row in canvas)


HOLED = picture((32, 18), "R", holes=[(8, 4, 24, 14)])  # red with a transparent middle

COMPOSED_CASES = {
    # Over a partly transparent first frame: a kept patch that shows through
    # the hole, one cleared to transparent afterwards, one undone afterwards.
    "disposal-none-background-previous": [
        (HOLED, (0, 0), "none"),
        (picture((8, 6), "G", holes=[(2, 2, 6, 4)]), (6, 2), "none"),
        (picture((6, 6), "B"), (14, 6), "background"),
        (picture((10, 8), "W", holes=[(0, 0, 3, 3)]), (18, 8), "previous"),
        (picture((4, 4), "Y"), (2, 12), "none"),
    ],
    # The first frame goes away after it has been shown: its rectangle gets
    # back the clear canvas.
    "first-frame-previous": [
        (picture((12, 8), "M"), (2, 2), "previous"),
        (picture((10, 6), "C"), (16, 10), "none"),
        (picture((6, 4), "G"), (0, 0), "none"),
    ],
    # Frames reaching past the right and bottom edges are clipped.
    "partly-outside": [
        (picture((32, 18), "B"), (0, 0), "none"),
        (picture((10, 8), "Y", holes=[(0, 0, 2, 2)]), (26, 12), "background"),
        (picture((40, 4), "W"), (4, 16), "none"),
    ],
    # Interlaced frames: rows that came back in the wrong order would move the stripes.
    "interlaced": [
        (stripes((32, 18), "RGBWYM"), (0, 0), "none"),
        (stripes((20, 11), "CYB"), (5, 3), "background"),
        (stripes((7, 13), "GMRW"), (20, 2), "none"),
    ],
    # Frames smaller than the logical screen, nothing covering the whole of it:
    # the rest stays black.
    "small-frames": [
        (picture((6, 4), "W"), (13, 7), "none"),
        (picture((3, 3), "R"), (1, 1), "none"),
        (picture((4, 2), "G"), (27, 15), "background"),
        (picture((2, 2), "B"), (15, 8), "none"),
    ],
}


def watch_composed(app, name, expected, cycle):
    """Reads the screen as a canvas from the first frame on, for two whole
    cycles and until every expected canvas has been seen; each read must be
    one of them. Returns how often each was read."""
    black = tuple(tuple((0, 0, 0) for _ in range(CANVAS[0])) for _ in range(CANVAS[1]))
    reader = CanvasReader(app.display.name)
    seen, reads, started = {}, 0, None
    try:
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline:
            canvas = reader.canvas()
            if started is None:
                if canvas == black:  # before the first frame
                    continue
                started = time.monotonic()
            reads += 1
            if canvas not in expected:
                app.screenshot(f"gif-composed-{name}-unexpected")
                pytest.fail(f"read {reads}: not a composed frame:\n{describe(canvas)}\n"
                            f"expected one of:\n" + "\n\n".join(describe(e) for e in expected))
            seen[expected.index(canvas)] = seen.get(expected.index(canvas), 0) + 1
            if time.monotonic() - started > 2 * cycle + 0.2 and len(seen) == len(expected):
                break
    finally:
        reader.close()
    assert started is not None, "no frame ever shown"
    assert sorted(seen) == list(range(len(expected))), (seen, reads)
    print(f"{name}: {reads} reads, times each frame was read: {dict(sorted(seen.items()))}")
    return seen


@pytest.mark.parametrize("name", list(COMPOSED_CASES))
def test_frames_are_composed_as_the_file_means(run_app, tmp_path, name):
    frames = COMPOSED_CASES[name]
    gif = make_composed_gif(tmp_path, name, frames, interlace=(name == "interlaced"))
    expected = compose(frames)
    assert len(set(expected)) == len(expected), "every step must show something new"
    app = run_app([kh.to_windows_path(gif)], size=SCREEN)
    app.wait_window()
    watch_composed(app, name, expected, 0.3 * len(frames))


def test_gif_optimised_by_imagemagick_shows_its_original_frames(run_app, tmp_path):
    # A yellow square passing a red bar on a transparent background. ImageMagick
    # optimises it into partial frames that rely on transparency and on the
    # disposals (the first one included) to give back exactly these pictures.
    from PIL import Image, ImageDraw
    originals, paths = [], []
    for i in range(5):
        image = Image.new("RGBA", CANVAS, (0, 0, 0, 0))
        draw = ImageDraw.Draw(image)
        draw.rectangle((12, 2, 19, 15), fill=NAMED["R"] + (255,))
        draw.rectangle((1 + i * 6, 5, 6 + i * 6, 10), fill=NAMED["Y"] + (255,))
        paths.append(tmp_path / f"original-{i}.png")
        image.save(paths[-1])
        originals.append(tuple(tuple(image.getpixel((x, y))[:3] for x in range(CANVAS[0]))
                               for y in range(CANVAS[1])))
    gif = tmp_path / "optimised.gif"
    subprocess.run(["convert", "-delay", "30", "-dispose", "Background", *map(str, paths),
                    "-layers", "Optimize", "-loop", "0", f"gif:{gif}"], check=True)
    blocks = gif_blocks(gif)
    assert len(blocks) == 5 and {b[0] for b in blocks} >= {1, 3} and blocks[0][0] == 3, blocks
    assert any(b[1] for b in blocks) and any(b[4] < CANVAS[0] for b in blocks), blocks
    app = run_app([kh.to_windows_path(gif)], size=SCREEN)
    app.wait_window()
    watch_composed(app, "optimised", originals, 1.5)
