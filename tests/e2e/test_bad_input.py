"""Hostile input, end to end: the viewer stays alive and responsive, F11 ends it
with exit code 1, nothing crashes, no file it was shown is touched, and where
the picture is predictable (odd names and paths, odd command lines) it shows."""
import time

import pytest

import bad_corpus
import kestrelon_harness as kh
from test_idle_screen import assert_idle_screen, is_idle_screen

with kh.exclusive(kh.BUILD / "bad-input") as corpus:
    CASES = bad_corpus.make_cases(corpus)
CRASH_WORDS = ("Unhandled exception", "Unhandled page fault", "wine: Assertion", "Program Error")
SIZE = (1280, 720)
# The solid 160 x 120 pictures fill the screen's height, centred: 960 wide.
INSIDE = [(640, 360), (200, 20), (1080, 700)]
OUTSIDE = [(140, 360), (1140, 360)]


def shows_picture(image, colour):
    return all(kh.near(kh.pixel(image, x, y), colour) for x, y in INSIDE) and \
        all(kh.pixel(image, x, y) == (0, 0, 0) for x, y in OUTSIDE)


@pytest.mark.parametrize("case", CASES, ids=[c["name"] for c in CASES])
def test_bad_input(run_app, case):
    before = bad_corpus.snapshot(case["folder"])
    app = run_app(case["args"], cwd=case["cwd"], size=SIZE)
    app.wait_window()
    if case["mutate"]:
        time.sleep(0.5)  # into the prefetch of the folder, which the change then meets
        case["mutate"]()
    if case.get("responsive"):
        app.key(*(["Right"] * 30), delay_ms=20)
        app.key(*(["Left"] * 45), delay_ms=20)
    if case["screen"] == "idle":
        assert_idle_screen(app.wait_screen(lambda i: is_idle_screen(i, SIZE), case["name"]), SIZE)
    elif case["screen"]:
        image = app.wait_screen(lambda i: shows_picture(i, case["screen"]), case["name"])
        assert shows_picture(image, case["screen"]), [kh.pixel(image, x, y) for x, y in INSIDE + OUTSIDE]
    else:
        app.wait_settled()
    assert app.alive(), "the viewer died"
    assert not app.xdotool("search", "--name", "Program Error").stdout.strip(), "crash dialog"
    started = time.monotonic()
    app.close_with_f11()
    assert time.monotonic() - started < 3.0, "F11 took too long"
    output = app.output()
    assert not any(word in output for word in CRASH_WORDS), output[-2000:]
    if case["unchanged"]:
        assert bad_corpus.snapshot(case["folder"]) == before, "files changed"
