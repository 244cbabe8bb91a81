"""Drives the real kestrelon.exe under Wine on a private Xvfb display: the one
name the tests import (`import kestrelon_harness as kh`). The parts live by job
in harness_wine (Wine, Xvfb and the program's runs), harness_x11 (windows,
screenshots, pixels), harness_fixtures (files the tests make) and
harness_images (statistics over screenshots)."""
from harness_fixtures import FolderWatch, exclusive, folder_state, make_clip, make_gif
from harness_images import (colour_runs, dark_fraction, fraction_matching, mean_difference, near,
                            pixel, region_colours)
from harness_wine import (ARTIFACTS, BUILD, EXE, HARNESS, HERE, PREFIX_MARK, SOURCE, TITLE, WINE,
                          WINESERVER, WORKER, App, Display, ensure_prefix, home_dir, map_drive,
                          prefix_dir, reset_prefix_dpi, set_prefix_dpi, stop_wineserver,
                          to_windows_path, unmap_drive, wine_environment)
from harness_x11 import (ScreenReader, cursor_visible, find_windows, sample_pixel, wait_for_windows,
                         wait_until, window_property, xlib)

# Everything imported above is this module's to hand out.
__all__ = [name for name in dir() if not name.startswith("_")]
