"""Closing at any moment: F11 or the bar's close button, pressed at a random
moment of a random scenario, always ends the program with exit code 1 and
without a crash (the prefetch of a large folder, GIF frames, video opening and
playback, the end of a clip, the idle screen)."""
import random
import shutil
import subprocess
import time

import pytest

import kestrelon_harness as kh

RUNS = 50
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


PLAN = [(random.Random(SEED + n).choice(["idle", "folder", "gif", "video", "video-end"]),
         random.Random(SEED + 100 + n).uniform(0.0, 2.0),
         random.Random(SEED + 200 + n).choice(["F11", "button"])) for n in range(RUNS)]


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
        time.sleep(0.2)
        app.click(*CLOSE_BUTTON)
    else:
        app.key("F11")
    code = app.wait_exit(10)
    assert code == 1, f"exit code {code}"
    output = app.output()
    assert not any(word in output for word in CRASH_WORDS), output[-2000:]
