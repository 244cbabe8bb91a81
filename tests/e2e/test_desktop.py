"""Closing as a desktop user does: Alt+F4 under the window manager (openbox
closes the window it holds active) ends the program with exit code 1 wherever
the pointer is and whatever is shown: the bar hidden or shown, the pointer on
the bar, a video playing, a clip at its end with the pop-up up. Keys typed
with the pointer over the bar still reach the commands, and the keyboard focus
stays with the main window while a short clip loops (its pop-up coming and
going), so no key is dropped in between."""
import time

import pytest

import kestrelon_harness as kh

SIZE = (1280, 720)
BAR_W, BAR_H = 700, 80
BAR_X, BAR_Y = (SIZE[0] - BAR_W) // 2, SIZE[1] - 180
ON_BAR = (BAR_X + 300, BAR_Y + 20)    # between the buttons, above the track
ON_CLOSE_BUTTON = (BAR_X + 660, BAR_Y + 40)
AWAY = (640, 300)
CRASH_WORDS = ("Unhandled exception", "Unhandled page fault", "wine: Assertion")


@pytest.fixture(scope="module")
def clip(tmp_path_factory):
    """3 s of H.264 with sound."""
    folder = tmp_path_factory.mktemp("alt-f4")
    return kh.make_clip(folder / "clip.mp4",
                        "-f", "lavfi", "-i", "testsrc=size=640x360:rate=25:duration=3",
                        "-f", "lavfi", "-i", "sine=duration=3", "-c:v", "libx264",
                        "-pix_fmt", "yuv420p", "-c:a", "aac", "-shortest")


def show_bar(app):
    app.click(*AWAY)
    bar = kh.wait_for_windows(app, f"^{kh.TITLE}$", timeout=5, size=(BAR_W, BAR_H))
    assert bar, "no bar"
    # Drawn: its light frame shows at the left edge.
    edge = (bar[0][1] + 1, bar[0][2] + 40)
    assert kh.wait_until(lambda: min(app.screenshot("desktop-bar").getpixel(edge)) > 100, 5), "bar not drawn"


def wait_for_popup(app, main, timeout):
    """True once the pop-up (our other full-screen window) is viewable: the
    clip is at its end and restarting."""
    import subprocess
    popups = [w[0] for w in kh.find_windows(app, f"^{kh.TITLE}$", visible_only=False)
              if tuple(w[3:]) == SIZE and w[0] != main]
    assert len(popups) == 1, popups

    def viewable():
        return "IsViewable" in subprocess.run(["xwininfo", "-id", popups[0]], env=app.env,
                                              capture_output=True, text=True).stdout
    return kh.wait_until(viewable, timeout, interval=0.02)


def alt_f4_ends_the_program(app, name):
    app.key("alt+F4")
    code = app.wait_exit(10)
    if code is None:
        app.screenshot(f"alt-f4-{name}-still-running")
    assert code == 1, f"exit code {code} after Alt+F4 ({name})"
    output = app.output()
    assert not any(word in output for word in CRASH_WORDS), output[-2000:]


@pytest.mark.parametrize("where", ["bar-hidden", "bar-shown", "pointer-on-bar"])
def test_alt_f4_on_the_idle_screen(run_app, where):
    app = run_app([], size=SIZE)
    app.wait_window()
    if where != "bar-hidden":
        show_bar(app)
        app.mouse_move(*(ON_BAR if where == "pointer-on-bar" else AWAY))
        time.sleep(0.5)
    alt_f4_ends_the_program(app, where)


def test_alt_f4_during_a_video_with_the_pointer_on_the_bar(run_app, clip):
    app = run_app([kh.to_windows_path(clip)], size=SIZE)
    app.wait_window()
    show_bar(app)
    app.mouse_move(*ON_BAR)
    time.sleep(0.5)
    assert app.alive()
    alt_f4_ends_the_program(app, "video")


def test_alt_f4_at_a_clips_end(run_app, clip):
    app = run_app([kh.to_windows_path(clip)], size=SIZE)
    main = app.wait_window()
    # The pop-up with the poster covers the screen while the clip restarts.
    assert wait_for_popup(app, main, 20.0), "the clip's end was not seen"
    alt_f4_ends_the_program(app, "clip-end")


def test_keys_over_the_bar_and_its_buttons_reach_the_commands(run_app, tmp_path):
    from PIL import Image
    colours = [(255, 0, 0), (0, 255, 0), (0, 0, 255)]
    for n, colour in enumerate(colours):
        Image.new("RGB", (320, 240), colour).save(tmp_path / f"img{n}.png")
    app = run_app([kh.to_windows_path(tmp_path / "img0.png")], size=SIZE)
    app.wait_window()
    centre = lambda: app.screenshot("keys-over-bar").getpixel((640, 300))
    assert kh.wait_until(lambda: kh.near(centre(), colours[0]), 10)
    show_bar(app)
    for step, point in enumerate([ON_BAR, ON_CLOSE_BUTTON], start=1):
        app.mouse_move(*point)
        time.sleep(0.5)
        app.key("Right")
        assert kh.wait_until(lambda: kh.near(centre(), colours[step]), 10), \
            f"Right with the pointer at {point} did not step: {centre()}"
    alt_f4_ends_the_program(app, "image-folder")


def test_focus_stays_with_the_main_window_while_a_short_clip_loops(run_app, tmp_path):
    short = kh.make_clip(tmp_path / "short.mp4",
                         "-f", "lavfi", "-i", "testsrc=size=320x240:rate=25:duration=0.5",
                         "-c:v", "libx264", "-pix_fmt", "yuv420p")
    app = run_app([kh.to_windows_path(short)], size=SIZE)
    main = app.wait_window()
    elsewhere = []
    end = time.monotonic() + 4.0
    while time.monotonic() < end:
        focus = app.xdotool("getwindowfocus").stdout.strip()
        if focus != main:
            elsewhere.append(focus)
        time.sleep(0.05)
    assert elsewhere == [], f"the focus left the main window {main}: {elsewhere}"
    app.close_with_f11()
