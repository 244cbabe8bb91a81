"""The control bar's texts in each mode, end to end: the image name and its
"[003 / 012]" index follow the arrow keys, and a GIF shows its file name.
The exact strings are checked by the Windows-side tests of the bar; here the
rendered text must be there, in its box, and change when the image changes."""
import subprocess
import time

from PIL import Image

import kestrelon_harness as kh

SIZE = (1280, 720)
BAR_X, BAR_Y = (SIZE[0] - 700) // 2, SIZE[1] - 180
TEXT = (230, 230, 250)
NAME_BOX = (BAR_X + 50, BAR_Y + 20, BAR_X + 466, BAR_Y + 60)
INDEX_BOX = (BAR_X + 467, BAR_Y + 20, BAR_X + 630, BAR_Y + 60)


def text_pixels(image, box):
    left, top, right, bottom = box
    return frozenset((x, y) for x in range(left, right) for y in range(top, bottom)
                     if kh.near(image.getpixel((x, y)), TEXT, 40))


def show_bar(app, box, name):
    """Shows the bar and returns the first screenshot with text in `box`."""
    app.click(640, 300)
    assert kh.wait_for_windows(app, f"^{kh.TITLE}$", timeout=5, size=(700, 80)), "no bar"
    return app.wait_screen(lambda image: len(text_pixels(image, box)) > 40, name)


def test_image_name_and_index_follow_the_keys(run_app, tmp_path):
    names = [f"img{i}.png" for i in range(1, 13)]
    for i, name in enumerate(names):
        Image.new("RGB", (64, 36), (20 * i, 100, 200 - 10 * i)).save(tmp_path / name)
    app = run_app([kh.to_windows_path(tmp_path / "img3.png")], size=SIZE)
    app.wait_window()
    first = show_bar(app, INDEX_BOX, "bar-text-img3")
    name3, index3 = text_pixels(first, NAME_BOX), text_pixels(first, INDEX_BOX)
    assert len(name3) > 40 and len(index3) > 40, "name or index text missing"
    # "[003 / 012]" and "[004 / 012]" differ only in one digit; so do the names.
    app.key("Right")
    second = app.wait_screen(lambda image: text_pixels(image, INDEX_BOX) != index3, "bar-text-img4")
    name4, index4 = text_pixels(second, NAME_BOX), text_pixels(second, INDEX_BOX)
    assert name4 != name3 and index4 != index3
    assert len(index4 ^ index3) < len(index3), "more than one character changed"
    # Back again: the very same pixels as before.
    app.key("Left")
    back = app.wait_screen(lambda image: text_pixels(image, INDEX_BOX) == index3, "bar-text-img3-again")
    assert text_pixels(back, NAME_BOX) == name3 and text_pixels(back, INDEX_BOX) == index3
    app.close_with_f11(5)


def test_gif_bar_shows_the_file_name(run_app, tmp_path):
    gif = kh.make_gif(tmp_path / "dancing.gif", (64, 48),
                      [("red", 10, None, None), ("blue", 10, None, None)])
    app = run_app([kh.to_windows_path(gif)], size=SIZE)
    app.wait_window()
    gif_box = (BAR_X + 50, BAR_Y + 20, BAR_X + 583, BAR_Y + 60)
    image = show_bar(app, gif_box, "bar-text-gif")
    assert len(text_pixels(image, gif_box)) > 40, "GIF name missing"
    app.close_with_f11(5)


TIME_BOX = (BAR_X + 451, BAR_Y + 11, BAR_X + 690, BAR_Y + 30)
TRACK_BAND = (BAR_X + 100, BAR_Y + 40, BAR_X + 635, BAR_Y + 62)
KNOB_FILL = (100, 100, 120)


def knob_x(image):
    """Leftmost column of the knob's fill colour on the track band."""
    left, top, right, bottom = TRACK_BAND
    for x in range(left, right):
        if any(kh.near(image.getpixel((x, y)), KNOB_FILL, 12) for y in range(top, bottom)):
            return x
    return None


def test_video_time_advances_and_p_pauses_it(run_app, tmp_path):
    clip = tmp_path / "bar clip.mp4"
    subprocess.run(["ffmpeg", "-y", "-loglevel", "error", "-f", "lavfi", "-i",
                   "testsrc=size=320x240:rate=25:duration=20", "-c:v", "libx264",
                   "-pix_fmt", "yuv420p", str(clip)], check=True)
    app = run_app([kh.to_windows_path(clip)], size=SIZE)
    app.wait_window()
    first = show_bar(app, TIME_BOX, "bar-video-1")
    # The knob moves one pixel in 20 s / 507 = 40 ms; the time text each second.
    second = app.wait_screen(lambda image: text_pixels(image, TIME_BOX) != text_pixels(first, TIME_BOX)
                             and (knob_x(image) or 0) > (knob_x(first) or 0), "bar-video-2", 5)
    t1, t2 = text_pixels(first, TIME_BOX), text_pixels(second, TIME_BOX)
    assert len(t1) > 40, "time text missing"
    assert t1 != t2, "the time text does not advance"
    assert len(text_pixels(first, (BAR_X + 113, BAR_Y + 11, BAR_X + 451, BAR_Y + 30))) > 20, "name"
    k1, k2 = knob_x(first), knob_x(second)
    assert k1 is not None and k2 is not None and k2 > k1, (k1, k2)
    app.key("p")
    assert app.wait_settled(timeout=5), "the picture and the time do not stop"
    paused = app.screenshot("bar-video-paused")
    time.sleep(2.0)
    still = app.screenshot("bar-video-paused-later")
    assert text_pixels(paused, TIME_BOX) == text_pixels(still, TIME_BOX), "time moved while paused"
    assert knob_x(paused) == knob_x(still)
    app.close_with_f11(5)
