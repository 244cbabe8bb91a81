"""The folder's natural order ignores letter case beyond ASCII: a.png, é1.png
and É2.png step in the order a, é1, É2 (É and é fold alike, so the numbers
decide), whatever C runtime the program links."""

import kestrelon_harness as kh
from PIL import Image

SIZE = (1280, 720)
CENTRE = (640, 360)
COLOURS = {"a.png": (255, 0, 0), "\u00e91.png": (0, 255, 0), "\u00c92.png": (0, 0, 255)}


def test_non_ascii_capitals_fold_in_the_order(run_app, tmp_path):
    for name, colour in COLOURS.items():
        Image.new("RGB", (320, 240), colour).save(tmp_path / name)
    app = run_app([kh.to_windows_path(tmp_path / "a.png")], size=SIZE)
    app.wait_window()
    seen = []
    for step, expected in enumerate(["a.png", "\u00e91.png", "\u00c92.png", "a.png"]):
        if step:
            app.key("Right")
        shown = kh.wait_until(
            lambda: kh.near(app.screenshot("fold").getpixel(CENTRE), COLOURS[expected]), 10)
        seen.append(app.screenshot("fold").getpixel(CENTRE))
        assert shown, f"step {step}: expected {expected!r}, the screen shows {seen}"
    app.close_with_f11()
