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


@pytest.hookimpl(hookwrapper=True)
def pytest_runtest_makereport(item, call):
    outcome = yield
    report = outcome.get_result()
    setattr(item, "rep_" + report.when, report)
