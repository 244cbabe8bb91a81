"""Sample files and a guided run of kestrelon.exe (see scripts/demo)."""
import os
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
import kestrelon_harness as kh  # noqa: E402

SAMPLES = kh.BUILD.parent / "demo" / "samples"
SHOTS = kh.BUILD.parent / "demo" / "screenshots"
FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"


def run(*args):
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def make_samples():
    photos = SAMPLES / "photos"
    photos.mkdir(parents=True, exist_ok=True)
    looks = [("plasma:steelblue-orange", "Harbour 1"), ("plasma:darkgreen-khaki", "Meadow 2"),
             ("gradient:navy-gold", "Dusk 10"), ("plasma:purple-pink", "Bloom 3")]
    for n, (look, caption) in enumerate(looks, 1):
        target = photos / f"photo{[1, 2, 10, 3][n - 1]}.jpg"
        if not target.exists():
            run("convert", "-seed", str(n), "-size", "1600x1067", look, "-blur", "0x2",
                "-gravity", "south", "-fill", "white", "-font", FONT, "-pointsize", "64", "-annotate", "+0+60",
                caption, str(target))
    gif = SAMPLES / "spinner.gif"
    if not gif.exists():
        frames = []
        for i, colour in enumerate(["#e74c3c", "#f1c40f", "#2ecc71", "#3498db", "#9b59b6"]):
            frames += ["(", "-size", "320x240", "xc:#202020", "-fill", colour, "-draw",
                       f"circle {60 + i * 50},120 {60 + i * 50},150", ")"]
        run("convert", "-delay", "20", "-loop", "0", *frames, str(gif))
    video = SAMPLES / "clip.mp4"
    if not video.exists():
        run("ffmpeg", "-y", "-f", "lavfi", "-i", "testsrc2=size=1280x720:rate=30:duration=12",
            "-f", "lavfi", "-i", "sine=frequency=440:duration=12", "-c:v", "libx264",
            "-pix_fmt", "yuv420p", "-c:a", "aac", "-shortest", str(video))
    return {"idle": None, "photo": photos / "photo2.jpg", "gif": gif, "video": video}


def show_interactive(path):
    env = kh.wine_environment()
    args = [kh.WINE, str(kh.EXE)] + ([kh.to_windows_path(path)] if path else [])
    print("Kestrelon is open: F11 closes it, a click shows the control bar.")
    sys.exit(subprocess.call(args, env=env, cwd=str(kh.BUILD)))


def screenshots(cases):
    SHOTS.mkdir(parents=True, exist_ok=True)
    display = kh.Display()
    written = []
    try:
        for name, path in cases.items():
            display.ensure((1280, 720))
            app = kh.App(display, [kh.to_windows_path(path)] if path else [])
            try:
                app.wait_window()
                time.sleep(2.5)
                if name in ("photo", "video"):
                    app.click(640, 300)  # show the control bar
                    time.sleep(1.5)
                shot = SHOTS / f"{name}.png"
                subprocess.run(["import", "-window", "root", str(shot)], env=app.env, check=True)
                written.append(shot)
                app.key("F11")
                app.wait_exit(10)
            finally:
                app.close()
    finally:
        display.stop()
    print("Screenshots of what Kestrelon showed:")
    for shot in written:
        print(f"  {shot}")


def main():
    kh.ensure_prefix()
    if len(sys.argv) > 1:
        target = Path(sys.argv[1]).resolve()
        cases = {"file": target}
    else:
        cases = make_samples()
    if os.environ.get("DISPLAY"):
        show_interactive(next((p for p in cases.values() if p), None) if len(sys.argv) > 1
                         else cases["photo"])
    else:
        screenshots(cases)


if __name__ == "__main__":
    main()
