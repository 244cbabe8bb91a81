import pytest

import kestrelon_harness as kh


@pytest.fixture(scope="session")
def display():
    """The shared Xvfb; tests call display.ensure(size) for their screen size."""
    assert kh.EXE.exists(), f"{kh.EXE} is missing: build first (scripts/build)"
    kh.ensure_prefix()
    d = kh.Display()
    d.ensure((1280, 720))
    kh.reset_prefix_dpi(d)
    yield d
    d.stop()


@pytest.fixture
def run_app(display, request):
    """Starts kestrelon.exe; every app started is killed at the end of the test.
    A failing test keeps its last screenshot under the build folder."""
    apps = []

    def start(args=(), size=(1280, 720), **kwargs):
        display.ensure(size)
        app = kh.App(display, args, **kwargs)
        apps.append(app)
        return app

    yield start
    failed = getattr(request.node, "rep_call", None) is not None and request.node.rep_call.failed
    for app in apps:
        if failed and app.alive():
            try:
                app.screenshot(f"FAILED-{request.node.name}")
            except Exception:
                pass
            app.dump_stacks(f"FAILED-{request.node.name}")
        app.close()


@pytest.fixture
def prefix_at_144_dpi(display):
    kh.set_prefix_dpi(display, 144)
    yield
    kh.set_prefix_dpi(display, 96)


@pytest.hookimpl(hookwrapper=True)
def pytest_runtest_makereport(item, call):
    outcome = yield
    report = outcome.get_result()
    setattr(item, "rep_" + report.when, report)


# Cases that time what the screen shows (GIF frame waits, a clip's rate and
# its short pop-up moments, how soon F11 ends the program) carry the mark
# `timing`: scripts/test runs every other case on two workers, then these
# alone, so a second program competing for the processors cannot slow them.
TIMING_FILES = {"test_gif.py", "test_video_control.py"}
TIMING_CASES = {"test_no_argument_shows_idle_screen_and_f11_exits_1",
                "test_video_time_advances_and_p_pauses_it",
                "test_focus_stays_with_the_main_window_while_a_short_clip_loops",
                "test_end_of_clip_shows_the_first_frame_in_the_pop_up"}
# Files whose cases share clips made once per module stay on one worker
# (--dist loadgroup).
ONE_WORKER_FILES = {"test_video.py"}


def pytest_configure(config):
    config.addinivalue_line("markers", "timing: times what the screen shows; run without a second worker")


def pytest_collection_modifyitems(items):
    for item in items:
        if item.path.name in TIMING_FILES or item.originalname in TIMING_CASES:
            item.add_marker(pytest.mark.timing)
        if item.path.name in ONE_WORKER_FILES:
            item.add_marker(pytest.mark.xdist_group(item.path.name))
