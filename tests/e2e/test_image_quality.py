"""A photograph much larger than the screen is shown reduced with a filter
that averages: fine detail turns to flat grey instead of false patterns.
A zone plate (concentric rings ever closer together, up to 0.36 cycles per
pixel in the corners) of 6000 x 4000 on a 1920 x 1080 screen is compared with
ImageMagick's Lanczos reduction of the same file. Point or bilinear sampling
leaves strong rings where the reference is grey (a mean difference of 40-50);
an area average comes within about 15."""
import shutil
import subprocess

from PIL import Image, ImageChops, ImageStat

import kestrelon_harness as kh

SIZE = (1920, 1080)
PLACE = (150, 0, 1770, 1080)  # 6000 x 4000 fitted: 1620 x 1080, centred


def zone_plate(folder):
    """The 6000 x 4000 zone plate and its Lanczos reduction, made once per build
    (about 20 s of ImageMagick) and kept under the build folder."""
    data = kh.BUILD / "e2e-data"
    data.mkdir(parents=True, exist_ok=True)
    picture, reference = data / "zoneplate.jpg", data / "zoneplate-lanczos.png"
    if not picture.exists():
        # r^2 / 6000^2 from two gradients, then a sine of it: the local
        # frequency grows with the distance from the centre.
        partial = data / "zoneplate.partial.jpg"
        subprocess.run([
            "convert",
            "(", "-size", "4000x6000", "gradient:", "-rotate", "90",
            "-function", "Polynomial", "1,-1,0.25", ")",
            "(", "-size", "6000x4000", "gradient:",
            "-function", "Polynomial", "0.444444,-0.444444,0.111111", ")",
            "-compose", "plus", "-composite", "-function", "Sinusoid", "1800,0,0.5,0.5",
            "-colorspace", "gray", "-quality", "95", str(partial)], check=True)
        partial.rename(picture)
    if not reference.exists():
        subprocess.run(["convert", str(picture), "-filter", "Lanczos", "-resize",
                        f"{PLACE[2] - PLACE[0]}x{PLACE[3] - PLACE[1]}!", "-colorspace", "sRGB",
                        "-type", "TrueColor", str(reference)], check=True)
    shutil.copy(picture, folder / "zoneplate.jpg")
    return Image.open(reference).convert("RGB")


def test_large_picture_reduced_by_averaging(run_app, tmp_path):
    reference = zone_plate(tmp_path)
    app = run_app([kh.to_windows_path(tmp_path / "zoneplate.jpg")], size=SIZE)
    app.wait_window()
    # Shown once the picture's place is no longer black (its centre is mid-grey).
    kh.wait_until(lambda: max(kh.pixel(app.screenshot("zoneplate"), 960, 540)) > 60, 60.0)
    app.wait_settled()
    shot = app.screenshot("zoneplate")
    shown = shot.crop(PLACE)
    difference = ImageStat.Stat(ImageChops.difference(shown, reference)).mean
    assert max(difference) <= 16, difference
    # The margins stay black, and the picture reaches its place's edges.
    assert kh.pixel(shot, PLACE[0] - 2, 540) == (0, 0, 0)
    assert kh.pixel(shot, PLACE[2] + 1, 540) == (0, 0, 0)
    assert max(kh.pixel(shot, PLACE[0] + 1, 540)) > 0 or max(kh.pixel(shot, PLACE[0] + 1, 530)) > 0
