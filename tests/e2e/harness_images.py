"""Image statistics over screenshots and pixel timelines."""


def pixel(image, x, y):
    return image.getpixel((x, y))


def near(colour, expected, tolerance=24):
    return all(abs(int(a) - int(b)) <= tolerance for a, b in zip(colour, expected))


def region_colours(image, box, step=4):
    """The set of distinct colours in a box (left, top, right, bottom), sampled."""
    left, top, right, bottom = box
    return {image.getpixel((x, y)) for x in range(left, right, step) for y in range(top, bottom, step)}


def fraction_matching(image, box, predicate, step=4):
    left, top, right, bottom = box
    total = hits = 0
    for x in range(left, right, step):
        for y in range(top, bottom, step):
            total += 1
            hits += bool(predicate(image.getpixel((x, y))))
    return hits / max(total, 1)


def colour_runs(samples, palette, tolerance=40):
    """Collapses a pixel timeline into runs [(name, start, end)] of the palette
    colour it shows (name None for anything else)."""
    runs = []
    for t, colour in samples:
        name = next((n for n, c in palette.items() if near(colour, c, tolerance)), None)
        if runs and runs[-1][0] == name:
            runs[-1][2] = t
        else:
            runs.append([name, t, t])
    return [tuple(r) for r in runs]


def dark_fraction(image, threshold=24, step=8):
    """The share of sampled pixels darker than `threshold` in every channel."""
    width, height = image.size
    return fraction_matching(image, (0, 0, width, height),
                             lambda p: max(p[:3]) < threshold, step=step)


def mean_difference(a, b, step=4):
    """Mean absolute channel difference of two same-sized screenshots, sampled."""
    width, height = a.size
    total = count = 0
    for y in range(0, height, step):
        for x in range(0, width, step):
            pa, pb = a.getpixel((x, y)), b.getpixel((x, y))
            total += sum(abs(int(u) - int(v)) for u, v in zip(pa[:3], pb[:3]))
            count += 3
    return total / max(count, 1)
