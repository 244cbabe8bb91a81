"""The video viewer measured from outside, as a person meets it, under Wine on
a private Xvfb at 1280x720: the real kestrelon.exe on clips whose frames carry
their number (tests/e2e/harness_frames.py), read back from the X server.

  - window to first video picture: from the moment the full-screen window is
    seen mapped to the first frame of the clip seen on screen, for each size
    (and from the launch, as the window shows only once the opening is done);
  - frames shown per second while playing: the distinct frame numbers seen in
    a few seconds of fast one-row reads (each shown frame stays on screen for
    a thirtieth of a second or more; reads come every few milliseconds), and
    how fast the frame number advances (30/s is real time). With --bar, the
    control bar is shown (a click on the picture) before the watch, as a
    user who looks at the time sees it. --seconds sets the clips' length: the
    bar's knob moves fewer pixels a second on a longer clip.

Each program (before, after) runs alternately, `--runs` times per clip; the
medians are printed with every run's figure. With --stages, each program's
opening stages (its KESTRELON_TRACE lines, app/StageTrace.h) are printed as a
table of medians in ms since the process was created, with the window and the
first picture seen from outside on the same scale.

  python3 bench/video/screen_timing.py --before A.exe --after B.exe [--runs 3] [--sizes 640x360,1920x1080,3840x2160] [--stages] [--bar] [--seconds 8]
"""
import argparse
import statistics
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tests" / "e2e"))
import kestrelon_harness as kh  # noqa: E402
from harness_frames import FrameReader, make_numbered_clip  # noqa: E402

SCREEN = (1280, 720)
CLIP_SECONDS = 8
WATCH_SECONDS = 4


def window_mapped(app, deadline):
    while time.monotonic() < deadline:
        out = app.xdotool("search", "--onlyvisible", "--name", f"^{kh.TITLE}$").stdout.split()
        if any(f"{SCREEN[0]}x{SCREEN[1]}" in app.xdotool("getwindowgeometry", w).stdout for w in out):
            return time.monotonic()
        if not app.alive():
            raise AssertionError("kestrelon ended")
    raise AssertionError("no window")


def read_stages(trace, mapped_ms, shown_ms):
    """{stage: ms since the process was created} of one run's trace (first
    line of each stage), with the window and first picture seen from outside
    put on the trace's scale through its "window shown" line."""
    stages = {}
    if not trace.exists():
        return stages
    for line in trace.read_text().splitlines():
        at, _thread, name = line.split(" ", 2)
        stages.setdefault(name, float(at))
    trace.unlink()
    if "window shown" in stages and mapped_ms is not None:
        offset = stages["window shown"] - mapped_ms
        stages["(window seen)"] = mapped_ms + offset
        if shown_ms is not None:
            stages["(first picture seen)"] = shown_ms + offset
    return stages


def one_run(display, exe, clip, trace=None, bar=False):
    """(seconds from window to first picture, distinct frames shown per
    second, frame-number advance per second, seconds from launch to first
    picture, stages)."""
    env = {"KESTRELON_TRACE": kh.to_windows_path(trace)} if trace else None
    app = kh.App(display, [kh.to_windows_path(clip)], exe=exe, extra_env=env)
    try:
        mapped = window_mapped(app, time.monotonic() + 60)
        with FrameReader(display.name, SCREEN) as reader:
            first = reader.watch(30, interval=0.001, until=lambda s: s[-1][1] is not None)
            if first[-1][1] is None:
                return None, 0.0, 0.0, None, {}
            shown = time.monotonic()
            if bar:
                app.click(SCREEN[0] // 2, SCREEN[1] // 2)
            seen = [(t, n) for t, n in reader.watch(WATCH_SECONDS, interval=0.002) if n is not None]
        app.key("F11")
        app.wait_exit(10)
        distinct = len({n for _, n in seen})
        span = seen[-1][0] - seen[0][0] if len(seen) > 1 else 1.0
        advance = (seen[-1][1] - seen[0][1]) / span if len(seen) > 1 else 0.0
        stages = read_stages(trace, (mapped - app.started) * 1000, (shown - app.started) * 1000) if trace else {}
        return shown - mapped, distinct / span, advance, shown - app.started, stages
    finally:
        app.close()


def print_stages(size, results):
    names = []
    for runs in results.values():
        for run in runs:
            for name in sorted(run[4], key=run[4].get):
                if name not in names:
                    names.append(name)
    print(f"{size} opening stages, ms since the process was created (median of runs):")
    print(f"  {'stage':28} {'before':>8} {'after':>8}")
    for name in sorted(names, key=lambda n: statistics.median(
            [r[4][n] for runs in results.values() for r in runs if n in r[4]])):
        cells = []
        for runs in results.values():
            values = [r[4][name] for r in runs if name in r[4]]
            cells.append(f"{statistics.median(values):8.0f}" if values else f"{'-':>8}")
        print(f"  {name:28} {' '.join(cells)}", flush=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--before", required=True)
    parser.add_argument("--after", required=True)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--sizes", default="640x360,1920x1080,3840x2160")
    parser.add_argument("--stages", action="store_true", help="print the opening's stage table too")
    parser.add_argument("--bar", action="store_true", help="watch the frames with the control bar shown")
    parser.add_argument("--seconds", type=int, default=CLIP_SECONDS, help="the clips' length")
    args = parser.parse_args()
    folder = kh.BUILD / "bench-video"
    folder.mkdir(parents=True, exist_ok=True)
    display = kh.Display()
    display.ensure(SCREEN)
    try:
        # A warm prefix: GStreamer's registry and the shader cache are built once.
        one_run(display, args.after, make_numbered_clip(folder / "n640x360-8s.mp4", 640, 360, CLIP_SECONDS))
        for size in args.sizes.split(","):
            w, h = (int(v) for v in size.split("x"))
            clip = make_numbered_clip(folder / f"n{size}-{args.seconds}s.mp4", w, h, args.seconds,
                                      preset="ultrafast" if w > 1920 else "veryfast")
            results = {"before": [], "after": []}
            for _ in range(args.runs):
                for name in ("before", "after"):
                    trace = folder / f"trace-{name}.txt" if args.stages else None
                    results[name].append(one_run(display, getattr(args, name), clip, trace, args.bar))
            for name, runs in results.items():
                firsts = [r[0] for r in runs if r[0] is not None]
                print(f"{size} {name}: first picture {statistics.median(firsts) if firsts else float('nan'):.2f} s "
                      f"after the window {[round(f, 2) for f in firsts]}; shown "
                      f"{statistics.median(r[1] for r in runs):.1f}/s {[round(r[1], 1) for r in runs]}; "
                      f"advancing {statistics.median(r[2] for r in runs):.1f}/s; launch to first picture "
                      f"{statistics.median(r[3] for r in runs if r[3] is not None):.2f} s", flush=True)
            if args.stages:
                print_stages(size, results)
    finally:
        display.stop()


if __name__ == "__main__":
    main()
