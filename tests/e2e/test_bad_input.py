"""Hostile input, end to end: the viewer stays alive and responsive, F11 ends it
with exit code 1, nothing crashes, and no file it was shown is touched."""
import time

import pytest

import bad_corpus
import kestrelon_harness as kh

CASES = bad_corpus.make_cases(kh.BUILD / "bad-input")
CRASH_WORDS = ("Unhandled exception", "Unhandled page fault", "wine: Assertion", "Program Error")


@pytest.mark.parametrize("case", CASES, ids=[c["name"] for c in CASES])
def test_bad_input(run_app, case):
    before = bad_corpus.snapshot(case["folder"])
    app = run_app(case["args"], cwd=case["cwd"])
    app.wait_window()
    if case["mutate"]:
        time.sleep(0.5)
        case["mutate"]()
    if case.get("responsive"):
        app.key(*(["Right"] * 30), delay_ms=20)
        app.key(*(["Left"] * 45), delay_ms=20)
    time.sleep(2.0)
    assert app.alive(), "the viewer died"
    assert not app.xdotool("search", "--name", "Program Error").stdout.strip(), "crash dialog"
    started = time.monotonic()
    app.key("F11")
    code = app.wait_exit(10)
    assert code == 1, f"exit code {code}"
    assert time.monotonic() - started < 3.0, "F11 took too long"
    output = app.output()
    assert not any(word in output for word in CRASH_WORDS), output[-2000:]
    if case["unchanged"]:
        assert bad_corpus.snapshot(case["folder"]) == before, "files changed"
