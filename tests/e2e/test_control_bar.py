"""The control bar end to end in None mode (no argument), and the "Load Error"
box for a missing button image. Video-mode painting and the play/pause face
are covered by the Windows-side tests with a fake media session.

Xvfb has no compositor, so the bar's layered alpha (220) is not applied to the
screen: the checks accept a colour either opaque or at 220/255 over black, and
the alpha itself is read from the X property Wine sets for it."""
import os
import shutil
import time


import kestrelon_harness as kh
from test_idle_screen import wait_idle_screen

SIZE = (1280, 720)
BAR_W, BAR_H = 700, 80
BAR_X, BAR_Y = (SIZE[0] - BAR_W) // 2, SIZE[1] - 180
ALPHA = 220
FRAME = (160, 160, 180)
TEXT = (230, 230, 250)
CLOSE_RED = (196, 60, 60)
WHITE = (255, 255, 255)
PLAY_BLUE = (47, 111, 200)
PANEL_POINT = (640, 300)             # on the idle screen, away from the bar
CLOSE_CENTRE = (BAR_X + 660, BAR_Y + 40)


def bar_colour(image, x, y):
    """A pixel of the bar, by bar coordinates."""
    return image.getpixel((BAR_X + x, BAR_Y + y))


def near_bar_colour(colour, expected, tolerance=16):
    """Opaque, or at the bar's alpha over black (where a compositor applies it)."""
    blended = tuple(round(c * ALPHA / 255) for c in expected)
    return kh.near(colour, expected, tolerance) or kh.near(colour, blended, tolerance)


def bar_windows(app):
    return [w for w in kh.find_windows(app, f"^{kh.TITLE}$") if (w[3], w[4]) == (BAR_W, BAR_H)]


def show_bar(app):
    app.click(*PANEL_POINT)
    found = kh.wait_for_windows(app, f"^{kh.TITLE}$", timeout=5, size=(BAR_W, BAR_H))
    assert found, "the bar did not appear"
    app.wait_screen(lambda image: near_bar_colour(bar_colour(image, 1, 40), FRAME), "control-bar-shown", 5)
    return found[0]


def test_none_mode_bar_shows_hides_and_closes(run_app):
    app = run_app([], size=SIZE)
    app.wait_window()
    wait_idle_screen(app, SIZE, "control-bar-idle")
    assert bar_windows(app) == [], "the bar starts hidden"

    wid, x, y, w, h = show_bar(app)
    assert (x, y, w, h) == (BAR_X, BAR_Y, BAR_W, BAR_H)
    opacity = kh.window_property(app, wid, "_NET_WM_WINDOW_OPACITY")
    assert opacity.endswith(f"= {ALPHA * 0x01010101}"), opacity

    image = app.screenshot("control-bar-none")
    for bx, by in [(1, 40), (698, 40), (350, 1), (350, 78)]:   # the 6-pixel frame, half inside
        assert near_bar_colour(bar_colour(image, bx, by), FRAME), (bx, by, bar_colour(image, bx, by))
    # The background darkens from top to bottom.
    top, bottom = bar_colour(image, 520, 6), bar_colour(image, 520, 74)
    assert sum(top) > sum(bottom) + 60 and top[2] > top[0], (top, bottom)
    # The close face: red disc with a white cross, at 640,20 40x40.
    assert near_bar_colour(bar_colour(image, 646, 40), CLOSE_RED, 30), bar_colour(image, 646, 40)
    assert near_bar_colour(bar_colour(image, 660, 40), WHITE, 30), bar_colour(image, 660, 40)
    # "--- ファイルが開けません ---" in the large text's box, and no play/pause face.
    text = kh.fraction_matching(image, (BAR_X + 50, BAR_Y + 20, BAR_X + 466, BAR_Y + 60),
                                lambda p: near_bar_colour(p, TEXT, 40), step=1)
    assert text > 0.03, text
    assert not near_bar_colour(bar_colour(image, 26, 39), PLAY_BLUE, 40)
    # Wine re-applies the X cursor of a window when the pointer enters it; after
    # the very first click it can keep a stale one until then.
    for point in [(BAR_X + 300, BAR_Y + 40), (600, 320)]:
        app.mouse_move(*point)
        assert kh.wait_until(lambda: kh.cursor_visible(app), 3), f"the cursor shows with the bar, at {point}"

    # A second click hides the bar and the cursor.
    app.click(*PANEL_POINT)
    assert kh.wait_until(lambda: bar_windows(app) == [], 5), "the bar stays"
    app.mouse_move(BAR_X + 300, BAR_Y + 40)
    assert kh.wait_until(lambda: not kh.cursor_visible(app), 3), "the cursor hides with the bar"
    # Where the bar was, the panel is drawn again (X exposes it once the bar unmaps).
    image = app.wait_screen(lambda i: bar_colour(i, 1, 40) == (0, 0, 0), "control-bar-hidden", 5)
    assert bar_colour(image, 1, 40) == (0, 0, 0)

    # Shown again; its close button ends the program with exit code 1.
    show_bar(app)
    app.click(*CLOSE_CENTRE)
    assert app.wait_exit(5) == 1


def test_bar_keeps_its_pixel_geometry_at_144_dpi(run_app, prefix_at_144_dpi):
    """Drawing at 144 DPI scales every bar-pixel position by 96/144, so the bar
    looks as at 96 DPI: unscaled, the frame's right edge and the close face
    would land outside the 700-pixel window."""
    app = run_app([], size=SIZE)
    app.wait_window()
    wid, x, y, w, h = show_bar(app)
    assert (x, y, w, h) == (BAR_X, BAR_Y, BAR_W, BAR_H)
    image = app.screenshot("control-bar-none-144dpi")
    for bx, by in [(1, 40), (698, 40), (350, 1), (350, 78)]:
        assert near_bar_colour(bar_colour(image, bx, by), FRAME), (bx, by, bar_colour(image, bx, by))
    # The close face: trunc(640 * 2/3) = 426 units, 639 pixels; 26 units, 39 pixels wide.
    assert near_bar_colour(bar_colour(image, 645, 40), CLOSE_RED, 30), bar_colour(image, 645, 40)
    assert near_bar_colour(bar_colour(image, 658, 39), WHITE, 30), bar_colour(image, 658, 39)
    assert not near_bar_colour(bar_colour(image, 684, 40), CLOSE_RED, 60)
    text = kh.fraction_matching(image, (BAR_X + 50, BAR_Y + 20, BAR_X + 466, BAR_Y + 60),
                                lambda p: near_bar_colour(p, TEXT, 40), step=1)
    assert text > 0.03, text
    app.close_with_f11(5)


def test_keys_over_the_bar_reach_the_main_window(run_app):
    app = run_app([], size=SIZE)
    app.wait_window()
    wid = show_bar(app)[0]
    for x in (BAR_X + 300, BAR_X + 660):  # on the bar, on its close button
        app.mouse_move(x, BAR_Y + 40)
        time.sleep(0.4)
        # The bar takes neither the activation nor the focus: keys stay with
        # the main window.
        focus = app.xdotool("getwindowfocus").stdout.strip()
        assert focus == app.window and focus != wid
    app.close_with_f11(5)


def test_missing_button_image_shows_load_error_and_exits_1(run_app, tmp_path):
    shutil.copy(kh.EXE, tmp_path / "kestrelon.exe")
    (tmp_path / "pict").mkdir()
    for name in os.listdir(kh.BUILD / "pict"):
        if name != "VideoWindowButtonPlay.png":
            shutil.copy(kh.BUILD / "pict" / name, tmp_path / "pict" / name)
    app = run_app([], size=SIZE, exe=tmp_path / "kestrelon.exe")
    boxes = kh.wait_for_windows(app, "^Load Error$", timeout=20)
    assert boxes, "no Load Error box"
    wid, x, y, w, h = boxes[0]
    time.sleep(0.5)
    image = app.screenshot("load-error-box")
    # A light dialog with the red error icon at its left.
    # (x, y) is the box's client area: the window manager draws the caption
    # above it.
    inside = kh.region_colours(image, (x + 10, y, x + w - 10, y + h - 10))
    assert any(p[0] > 180 and p[1] < 100 and p[2] < 100 for p in inside), "no error icon"
    assert kh.fraction_matching(image, (x, y, x + w, y + h), lambda p: min(p) > 200) > 0.5
    assert kh.find_windows(app, f"^{kh.TITLE}$") == [], "nothing else is shown"
    assert app.alive(), "the box waits for the user"
    app.xdotool("windowfocus", wid)
    app.key("Return")
    assert app.wait_exit(10) == 1
