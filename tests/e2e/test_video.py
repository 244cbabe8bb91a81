"""Video mode end to end under Wine: every container plays in the panel, the
user's file and folder are never changed, the poster covers the end of a
clip, and files without a playable video fall back to the idle screen."""
import os
import stat
import time

import pytest

import kestrelon_harness as kh
from test_idle_screen import wait_idle_screen

SIZE = (1280, 720)
# A moving test pattern (its counter and gradient change every frame).
PATTERN = ["-f", "lavfi", "-i", "testsrc=size=320x180:rate=25:duration={seconds}"]
TONE = ["-f", "lavfi", "-i", "sine=frequency=440:duration={seconds}"]

# name: (with sound, codec arguments)
FORMATS = {
    "h264-aac.mp4": (True, ["-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:a", "aac"]),
    "h264.mp4": (False, ["-c:v", "libx264", "-pix_fmt", "yuv420p"]),
    "mpeg4.avi": (True, ["-c:v", "mpeg4", "-c:a", "mp3"]),
    "mpeg1.mpeg": (True, ["-c:v", "mpeg1video", "-c:a", "mp2", "-f", "mpeg"]),
    "h264.mov": (True, ["-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:a", "aac"]),
    "wmv2.wmv": (True, ["-c:v", "wmv2", "-c:a", "wmav2"]),
    "vp8.webm": (True, ["-c:v", "libvpx", "-pix_fmt", "yuv420p", "-c:a", "libvorbis"]),
    "vp9.webm": (False, ["-c:v", "libvpx-vp9", "-pix_fmt", "yuv420p"]),
}


def clip_args(seconds, sound, codecs):
    inputs = [a.format(seconds=seconds) for a in PATTERN]
    if sound:
        inputs += [a.format(seconds=seconds) for a in TONE]
    return inputs + codecs + ["-shortest"]


@pytest.fixture(scope="module")
def clips(tmp_path_factory):
    folder = tmp_path_factory.mktemp("clips")
    made = {}
    for name, (sound, codecs) in FORMATS.items():
        made[name] = kh.make_clip(folder / name, *clip_args(8, sound, codecs))
    return made


def wait_for_video(app, timeout=12.0):
    """Screenshots until the screen is no longer black; returns the first picture."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        image = app.screenshot("video-wait")
        if kh.dark_fraction(image) < 0.5:
            return image
        assert app.alive(), "kestrelon ended"
        time.sleep(0.3)
    raise AssertionError("no video appeared")


def assert_plays(app, name):
    first = wait_for_video(app)
    later = app.wait_screen(lambda image: kh.mean_difference(first, image) > 0.5, f"video-{name}", 5)
    assert kh.dark_fraction(later) < 0.5, "the picture went black"
    assert kh.mean_difference(first, later) > 0.5, "the picture does not change over time"


@pytest.mark.parametrize("name", list(FORMATS))
def test_container_plays_in_the_panel(run_app, clips, name):
    app = run_app([kh.to_windows_path(clips[name])], size=SIZE)
    app.wait_window()
    assert_plays(app, name)
    app.close_with_f11()


def test_p_pauses_the_picture(run_app, clips):
    app = run_app([kh.to_windows_path(clips["h264-aac.mp4"])], size=SIZE)
    app.wait_window()
    wait_for_video(app)
    time.sleep(0.5)
    app.key("p")
    assert app.wait_settled(timeout=5), "the picture does not stop"
    paused = app.screenshot("video-paused")
    time.sleep(0.8)
    still = app.screenshot("video-paused-later")
    assert kh.dark_fraction(paused) < 0.5
    assert kh.mean_difference(paused, still) < 0.2, "the picture moved while paused"
    app.close_with_f11()


def assert_plays_and_folder_unchanged(run_app, target, name):
    """Plays `target` and closes; nothing in its folder changed meanwhile."""
    folder = target.parent
    before = kh.folder_state(folder)
    with kh.FolderWatch(folder) as watch:
        app = run_app([kh.to_windows_path(target)], size=SIZE)
        app.wait_window()
        assert_plays(app, name)
        app.close_with_f11()
    assert watch.changes == []
    assert kh.folder_state(folder) == before


def test_mp4_named_avi_beside_an_mp4_plays_and_nothing_changes(run_app, clips, tmp_path):
    folder = tmp_path / "videos"
    folder.mkdir()
    target = folder / "clip.avi"
    target.write_bytes(clips["h264.mp4"].read_bytes())
    (folder / "clip.mp4").write_bytes(b"another file the user keeps")
    assert_plays_and_folder_unchanged(run_app, target, "misnamed-avi")


def test_mp4_named_wmv_in_a_read_only_folder_plays_and_nothing_changes(run_app, clips, tmp_path):
    folder = tmp_path / "read-only"
    folder.mkdir()
    target = folder / "clip.wmv"
    target.write_bytes(clips["h264-aac.mp4"].read_bytes())
    target.chmod(0o444)
    folder.chmod(stat.S_IRUSR | stat.S_IXUSR | stat.S_IRGRP | stat.S_IXGRP | stat.S_IROTH | stat.S_IXOTH)
    try:
        assert_plays_and_folder_unchanged(run_app, target, "misnamed-wmv")
    finally:
        folder.chmod(0o755)


@pytest.mark.parametrize("kind", ["audio-only", "damaged"])
def test_unplayable_file_shows_idle_screen(run_app, tmp_path, kind):
    path = tmp_path / "broken.mp4"
    if kind == "audio-only":
        kh.make_clip(path, *[a.format(seconds=2) for a in TONE], "-c:a", "aac")
    else:
        head = bytes([0, 0, 0, 0x20]) + b"ftypisom"
        path.write_bytes(head + os.urandom(30000))
    app = run_app([kh.to_windows_path(path)], size=SIZE)
    app.wait_window()
    wait_idle_screen(app, SIZE, f"idle-{kind}")
    app.close_with_f11()


def test_f11_at_once_after_start_exits_1(run_app, clips):
    app = run_app([kh.to_windows_path(clips["vp9.webm"])], size=SIZE)
    app.wait_window()
    app.close_with_f11()


def watch_under_popup(app, seconds, x=640, y=360):
    """Samples the screen pixel (x, y) for `seconds` beside a watcher of the
    pop-up window (looked up through X, as its moments can be short). Returns
    (whether the pop-up was ever up, the colours sampled while it was up)."""
    import subprocess
    import threading
    main = app.wait_window()
    popups = [w for w in kh.find_windows(app, f"^{kh.TITLE}$", visible_only=False)
              if tuple(w[3:]) == SIZE and w[0] != main]
    assert len(popups) == 1, popups
    popup_id = popups[0][0]

    shown = []  # (monotonic time, pop-up viewable)
    def watch():
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            info = subprocess.run(["xwininfo", "-id", popup_id], env=app.env, capture_output=True,
                                  text=True).stdout
            shown.append((time.monotonic(), "IsViewable" in info))
    watcher = threading.Thread(target=watch)
    watcher.start()
    start = time.monotonic()
    samples = kh.sample_pixel(app.display.name, x, y, seconds, interval=0.003)
    watcher.join()

    def popup_up(t):
        before = [v for (when, v) in shown if when <= t]
        return bool(before) and before[-1]
    return any(v for _, v in shown), [colour for t, colour in samples if popup_up(start + t)]


def test_end_of_clip_shows_the_first_frame_in_the_pop_up(run_app, tmp_path):
    """A clip whose first frame alone is red (the rest blue, 1.5 s in all):
    while the pop-up window is up at the clip's end, the screen shows red, the
    poster."""
    clip = kh.make_clip(tmp_path / "first-red.mp4",
                        "-f", "lavfi", "-i", "color=red:size=320x240:rate=25:duration=0.04",
                        "-f", "lavfi", "-i", "color=blue:size=320x240:rate=25:duration=1.5",
                        "-filter_complex", "[0:v][1:v]concat=n=2:v=1[v]", "-map", "[v]",
                        "-c:v", "libx264", "-pix_fmt", "yuv420p")
    app = run_app([kh.to_windows_path(clip)], size=SIZE)
    appeared, under_popup = watch_under_popup(app, 7.0)
    assert appeared, "the pop-up never appeared"
    assert any(kh.near(c, (255, 0, 0), 60) for c in under_popup), "the pop-up did not show the red first frame"
    app.close_with_f11()


# Widths that are not a multiple of 4 (854, 426, 1366) and heights of 270,
# 480 and 1080, encoded as countless web videos are (H.264 High, yuv420p).
@pytest.mark.parametrize("width,height", [(854, 480), (426, 270), (1366, 1080)])
def test_common_web_video_sizes_play(run_app, tmp_path, width, height):
    clip = kh.make_clip(tmp_path / f"web-{width}x{height}.mp4",
                        "-f", "lavfi", "-i", f"testsrc=size={width}x{height}:rate=25:duration=8",
                        "-c:v", "libx264", "-profile:v", "high", "-pix_fmt", "yuv420p")
    app = run_app([kh.to_windows_path(clip)], size=SIZE)
    app.wait_window()
    assert_plays(app, f"{width}x{height}")
    app.close_with_f11()


def test_bt709_poster_keeps_its_colours(run_app, tmp_path):
    """An HD clip converted with the BT.709 matrix and tagged so: its first
    frame is R 200, G 40, B 40 (the rest blue). The poster shown by the pop-up
    at the clip's end has that colour; decoded with the standard-definition
    coefficients it would be about R 186, G 23, B 42."""
    clip = kh.make_clip(tmp_path / "first-red-bt709.mp4",
                        "-f", "lavfi", "-i", "color=c=0xC82828:size=1280x720:rate=25:duration=0.04",
                        "-f", "lavfi", "-i", "color=blue:size=1280x720:rate=25:duration=1.5",
                        "-filter_complex",
                        "[0:v][1:v]concat=n=2:v=1,scale=out_color_matrix=bt709:out_range=tv[v]",
                        "-map", "[v]", "-c:v", "libx264", "-pix_fmt", "yuv420p",
                        "-color_primaries", "bt709", "-color_trc", "bt709", "-colorspace", "bt709")
    app = run_app([kh.to_windows_path(clip)], size=SIZE)
    # Under Wine a first pass of this HD clip takes about five seconds.
    appeared, under_popup = watch_under_popup(app, 12.0)
    assert appeared, "the pop-up never appeared"
    reds = [c for c in under_popup if kh.near(c, (200, 40, 40), 30)]
    assert reds, f"the pop-up did not show the red poster: {sorted(set(under_popup))[:10]}"
    # Encoding rounds a little; the two rows differ by 14 in red and 17 in green.
    assert all(kh.near(c, (200, 40, 40), 8) and not kh.near(c, (186, 23, 42), 6) for c in reds), \
        f"the poster's red is off: {sorted(set(reds))}"
    app.close_with_f11()
