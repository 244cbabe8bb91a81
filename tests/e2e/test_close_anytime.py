"""Closing at any moment: F11 or the bar's close button, pressed at a random
moment in every scenario, always ends the program with exit code 1 and
without a crash (the prefetch of a large folder, GIF frames, video opening and
playback, the end of a clip, the idle screen)."""
import random
import shutil
import subprocess
import time

import pytest

import kestrelon_harness as kh

SEED = 20261207
SIZE = (1280, 720)
CLOSE_BUTTON = ((SIZE[0] - 700) // 2 + 660, SIZE[1] - 180 + 40)
CRASH_WORDS = ("Unhandled exception", "Unhandled page fault", "wine: Assertion")
ROOT = kh.BUILD / "close-anytime"


def run(*args):
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def scenarios():
    """Builds the files once per build folder; returns name -> path (or None)."""
    stamp = ROOT / ".made-1"
    folder = ROOT / "large-folder"
    with kh.exclusive(ROOT):
        if not stamp.exists():
            if ROOT.exists():
                shutil.rmtree(ROOT)
            folder.mkdir(parents=True)
            run("convert", "-size", "2400x1600", "plasma:", "-quality", "85", str(folder / "p0.jpg"))
            for i in range(1, 120):
                shutil.copyfile(folder / "p0.jpg", folder / f"p{i}.jpg")
            kh.make_gif(ROOT / "anim.gif", (200, 150),
                        [("red", 5, None, None), ("lime", 3, None, None), ("blue", 2, (60, 40), (20, 20))])
            run("ffmpeg", "-y", "-f", "lavfi", "-i", "testsrc=size=640x360:rate=25:duration=3",
                "-f", "lavfi", "-i", "sine=duration=3", "-c:v", "libx264", "-pix_fmt", "yuv420p",
                "-c:a", "aac", "-shortest", str(ROOT / "clip.mp4"))
            stamp.touch()
    return {"idle": None, "folder": folder / "p60.jpg", "gif": ROOT / "anim.gif",
            "video": ROOT / "clip.mp4"}


# Every scenario closed both ways, once early and once late in the two seconds
# after the window shows (a moment drawn at random within each half): twenty
# runs that keep the whole spread of moments, scenarios and ways.
SCENARIOS = ["idle", "folder", "gif", "video", "video-end"]
PLAN = [(scenario, random.Random(SEED + n).uniform(half, half + 1.0), method)
        for n, (scenario, method, half) in enumerate(
            (s, m, h) for s in SCENARIOS for m in ("F11", "button") for h in (0.0, 1.0))]


@pytest.mark.parametrize("scenario,delay,method", PLAN,
                         ids=[f"{n}-{s}-{m}-{d:.2f}" for n, (s, d, m) in enumerate(PLAN)])
def test_close_at_a_random_moment(run_app, scenario, delay, method):
    files = scenarios()
    target = files["video" if scenario == "video-end" else scenario]
    app = run_app([kh.to_windows_path(target)] if target else [], size=SIZE)
    app.wait_window()
    if scenario == "video-end":
        delay += 2.5  # around the end of the 3 s clip and its restart
    time.sleep(delay)
    if method == "button":
        app.click(640, 300)            # show the bar, then press its close button
        assert kh.wait_for_windows(app, f"^{kh.TITLE}$", timeout=5, size=(700, 80)), "no bar"
        # Pressed once its white cross shows, as a user would.
        white = lambda samples: min(samples[-1][1]) > 150
        assert white(kh.sample_pixel(app.display.name, *CLOSE_BUTTON, 5, enough=white)), "no close face"
        app.click(*CLOSE_BUTTON)
    else:
        app.key("F11")
    code = app.wait_exit(10)
    assert code == 1, f"exit code {code}"
    output = app.output()
    assert not any(word in output for word in CRASH_WORDS), output[-2000:]
