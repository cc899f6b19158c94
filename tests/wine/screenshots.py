#!/usr/bin/env python3
"""Takes the README's pictures: the loader's frame with its views, inside a
Wine virtual desktop (which draws the caption and menu bar) on a private Xvfb
display. Writes docs/screenshots/*.png.

    KAL_WIN_BIN=build/win-x86_64/bin python3 tests/wine/screenshots.py
"""

import os
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import harness  # noqa: E402

OUT = os.path.join(harness.ROOT, "docs", "screenshots")
TITLE = "Tamrin V3.04j"


def main():
    os.makedirs(OUT, exist_ok=True)
    env = harness.env()
    try:
        folder = env.install(["Tamrin.exe"])
        exe = "Z:" + os.path.join(folder, "Tamrin.exe").replace("/", "\\")
        desktop = env.start_program("explorer", ["/desktop=shot,720x660", exe], cwd=folder)
        # Inside the virtual desktop the frame is no X window of its own, and
        # the window helper (on the default desktop) cannot see it: wait for
        # the desktop, then for the program to have drawn.
        env.x_window("shot - Wine desktop", timeout=60)
        time.sleep(8)
        full = env.screenshot("tamrin-frame-full.png")
        target = os.path.join(OUT, "tamrin-frame.png")
        subprocess.run(["convert", full, "-crop", "720x660+0+0", "+repage", target], check=True)
        print(target)
        desktop.kill()
    finally:
        harness.shutdown()


if __name__ == "__main__":
    main()
