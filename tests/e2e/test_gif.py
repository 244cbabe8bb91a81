"""Animated GIFs end to end: frame order and timing on screen, partial frames,
placement on the screen, and the files that cannot play."""
import struct
import time

import pytest

import kestrelon_harness as kh
from test_idle_screen import assert_idle_screen

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
    # (red 200 ms, green 500 ms, blue 100 ms), plus the paint time.
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
    for name, seconds in timed[1:]:  # the first frame also waited for the start-up paints
        # Never early (the sampling blurs a few ms); late by the paint time,
        # but not by a misread unit.
        assert scheduled[name] * 0.9 <= seconds <= scheduled[name] + 1.5, (name, seconds, timed)
    # Each frame stays for the wait of the frame after it, not for its own:
    # green (500 ms) outlasts the blue (100 ms) after it, whatever the paints cost.
    for (name, seconds), (next_name, next_seconds) in zip(timed, timed[1:]):
        if name == "green":
            assert seconds > next_seconds, timed
    print("frame times on screen (s):", [(n, round(s, 3)) for n, s in timed])

    started = time.monotonic()
    app.key("F11")
    assert app.wait_exit(5) == 1
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
    time.sleep(1.0)
    image = app.screenshot(f"gif-{canvas[0]}x{canvas[1]}-on-{screen[0]}x{screen[1]}")
    expected = place((0, 0) + canvas, canvas, screen)
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
    time.sleep(1.5)
    assert_idle_screen(app.screenshot("gif-damaged"), (1280, 720))


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
    app.key("F11")
    assert app.wait_exit(5) == 1
