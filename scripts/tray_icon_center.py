#!/usr/bin/env python3
"""Prints "X Y", the middle of Calvoria's icon in trayer's panel, or nothing while it is not
there. Used by the screenshot script to open the tray menu, and by the end-to-end tests."""
import re
import subprocess


def tray_icon_center():
    """Where the program's icon sits in trayer's panel, as strings, or None."""
    panels = subprocess.run(["xdotool", "search", "--name", "^panel$"], capture_output=True,
                            text=True).stdout.split()
    if not panels:
        return None
    tree = subprocess.run(["xwininfo", "-tree", "-id", panels[0]], capture_output=True,
                          text=True).stdout
    for line in tree.splitlines():
        match = re.search(r'"Calvoria".*\s(\d+)x(\d+)[+-]-?\d+[+-]-?\d+\s+\+(-?\d+)\+(-?\d+)', line)
        if match:
            w, h, x, y = map(int, match.groups())
            return str(x + w // 2), str(y + h // 2)
    return None


if __name__ == "__main__":
    center = tray_icon_center()
    if center:
        print(*center)
