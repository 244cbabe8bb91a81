"""The idle screen, the window itself, and the keys that work in every mode."""
import subprocess
import time

import pytest

import kestrelon_harness as kh

HELP = (250, 240, 250)
TITLE_COLOUR = (210, 200, 230)


def idle_layout(width, height):
    """The idle screen's boxes at 96 DPI (k = 1): icon, caption, twelve help lines."""
    x0, y0, m, r = width * 0.25, height / 6, height / 30, width * 0.5
    gaps = [80, 10, 0, 30, 50, 10, 0, 0, 0, 0, 0, 0]
    tops, top = [], y0
    for gap in gaps:
        top += m + gap
        tops.append(top)
    return {
        "icon": (x0, y0 - 20, x0 + 80, y0 + 60),
        "caption": (x0 + 100, y0, x0 + 100 + r, y0 + m),
        "lines": [(x0, t, x0 + r, t + m) for t in tops],
    }


def text_in_box(image, box, colour):
    left, top, right, bottom = (int(round(v)) for v in box)
    return kh.fraction_matching(image, (left, top, right, bottom),
                                lambda p: kh.near(p, colour, 40), step=1) > 0.003


def assert_idle_screen(image, size):
    width, height = size
    layout = idle_layout(width, height)
    left, top, right, bottom = (int(v) for v in layout["icon"])
    # The icon: a colourful square exactly where the layout puts it, black around it.
    inside = kh.region_colours(image, (left + 10, top + 10, right - 10, bottom - 10))
    assert len(inside) > 3 and any(max(c) > 150 for c in inside), "icon missing"
    assert kh.pixel(image, left - 6, top + 40) == (0, 0, 0)
    assert text_in_box(image, layout["caption"], TITLE_COLOUR), "caption missing"
    for n, box in enumerate(layout["lines"], 1):
        assert text_in_box(image, box, HELP), f"help line {n} missing"
    # Nothing but black in the margins.
    for x, y in [(5, 5), (width - 5, 5), (5, height - 5), (width - 5, height - 5),
                 (int(width * 0.1), int(height * 0.5))]:
        assert kh.pixel(image, x, y) == (0, 0, 0), (x, y)


def is_idle_screen(image, size):
    try:
        assert_idle_screen(image, size)
    except AssertionError:
        return False
    return True


def wait_idle_screen(app, size, name):
    """Waits for the idle screen, then holds the last screenshot to it."""
    assert_idle_screen(app.wait_screen(lambda image: is_idle_screen(image, size), name), size)


def window_geometry(app):
    out = app.xdotool("getwindowgeometry", app.window).stdout
    return out


@pytest.mark.parametrize("size", [(1280, 720), (1920, 1080)])
def test_no_argument_shows_idle_screen_and_f11_exits_1(run_app, size):
    app = run_app([], size=size)
    app.wait_window()
    wait_idle_screen(app, size, f"idle-{size[0]}x{size[1]}")
    # Captionless and covering the whole screen from 0,0.
    geometry = window_geometry(app)
    assert "Position: 0,0" in geometry and f"{size[0]}x{size[1]}" in geometry, geometry
    started = time.monotonic()
    app.close_with_f11(5)
    assert time.monotonic() - started < 1.5


@pytest.mark.parametrize("name", ["a.tif", "a.Png", "a.png.bak", "missing.png"])
def test_unsupported_or_failing_file_shows_idle_screen(run_app, tmp_path, name):
    path = tmp_path / name
    if name != "missing.png":
        subprocess.run(["convert", "-size", "64x64", "xc:red", f"png:{path}"], check=True)
    app = run_app([kh.to_windows_path(path)])
    app.wait_window()
    wait_idle_screen(app, (1280, 720), f"idle-{name}")
    app.close_with_f11(5)


def test_popup_window_exists_hidden(run_app):
    app = run_app([])
    app.wait_window()
    # The pop-up covers the whole screen, hidden; the control bar, hidden too
    # and of the same title, is 700 x 80.
    visible = {w[0] for w in kh.find_windows(app, f"^{kh.TITLE}$")}
    popups = [w for w in kh.find_windows(app, f"^{kh.TITLE}$", visible_only=False)
              if w[0] not in visible and w[3:] == (1280, 720)]
    assert len(popups) == 1, f"hidden full-screen windows: {popups}"


def test_clicks_are_accepted_and_space_minimizes(run_app):
    app = run_app([])
    app.wait_window()
    app.click(640, 360)
    assert kh.wait_for_windows(app, f"^{kh.TITLE}$", timeout=5, size=(700, 80)), "no bar"
    app.click(640, 360)
    assert kh.wait_until(lambda: len(kh.find_windows(app, f"^{kh.TITLE}$")) == 1, 5), "bar stays"
    assert app.alive()
    app.key("space")

    # Minimized: no longer the full-screen window (Wine shows an unmanaged
    # minimized window as a small title at the bottom-left corner).
    def minimized():
        state = subprocess.run(["xwininfo", "-id", app.window], env=app.env, capture_output=True,
                               text=True).stdout
        return ("IsUnMapped" in state or "-geometry 1280x720+0+0" not in state) and state
    assert kh.wait_until(minimized, 5), "still full screen"
    assert app.alive()


def test_idle_screen_at_144_dpi_reads_the_window_dpi(run_app, prefix_at_144_dpi):
    """Per-monitor aware: the drawing works in device-independent units of the
    window's DPI, so the icon square (80 units) covers 120 physical pixels and
    the text keeps its pixel size."""
    app = run_app([], size=(1280, 720))
    app.wait_window()
    image = app.wait_screen(lambda i: text_in_box(i, (480, 284, 1120, 308), HELP), "idle-144dpi")
    # Icon at (320, 100)-(400, 180) units = (480, 150)-(600, 270) pixels.
    inside = kh.region_colours(image, (495, 165, 585, 255))
    assert len(inside) > 3 and any(max(c) > 150 for c in inside), "icon missing"
    assert kh.pixel(image, 470, 210) == (0, 0, 0) and kh.pixel(image, 610, 210) == (0, 0, 0)
    assert kh.pixel(image, 540, 140) == (0, 0, 0) and kh.pixel(image, 540, 280) == (0, 0, 0)
    # The first help line: its top at y0 + m + 80k units = (120 + 16 + 53.3) * 1.5 pixels.
    top = int((120 + 24 * 2 / 3 + 80 * 2 / 3) * 1.5)
    assert text_in_box(image, (480, top, 1120, top + 24), HELP)
    app.close_with_f11(5)


def test_main_window_publishes_its_icon(run_app):
    """The task bar and Alt+Tab read the icon from the window: X's _NET_WM_ICON
    carries the class icon's large and small pictures."""
    app = run_app([])
    app.wait_window()
    icon = kh.wait_until(lambda: kh.window_property(app, app.window, "_NET_WM_ICON"), timeout=5)
    assert icon, "no _NET_WM_ICON on the main window"
    for size in ("16 x 16", "32 x 32"):
        assert f"Icon ({size})" in icon, icon[:200]
    app.close_with_f11(5)
