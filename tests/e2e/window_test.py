#!/usr/bin/env python3
"""The real program on a real X display with a notification area, driven like a person.

    window_test.py PROGRAM SOURCE-DIR        (run under xvfb-run; needs trayer and xdotool)

Serves six feeds from 127.0.0.1, starts trayer and the program on a data folder of channels
pointing at them, and checks: the window comes up; Ctrl+Shift+F5 refreshes every channel
(the channel files change on disk); the close box hides the window to the tray and shows
the icon, with the unread badge, also after the panel restarts; a double-click on the icon
brings the window back and leaves it shown, and so does a single click; Exit from the tray
menu ends the program through the whole exit sequence.
"""
import shutil
import subprocess
import sys
import time

from e2e_support import (Session, check, close_box, digest, finish, is_viewable,
                         tray_icon_center, wait_for, xdotool)


def badge_shown():
    """Whether the lower right quarter of the tray icon holds the badge's red (not asked
    without ImageMagick's import)."""
    if not shutil.which("import"):
        print("ImageMagick's import is missing: the badge is not looked at")
        return True
    center = tray_icon_center()
    if center is None:
        return False
    x, y = map(int, center)
    pixels = subprocess.run(["import", "-window", "root", "-crop", f"9x9+{x}+{y}", "txt:-"],
                            capture_output=True, text=True).stdout
    return "srgb(198,40,40)" in pixels


session = Session(sys.argv[1], sys.argv[2])
try:
    tray_host = session.start_tray_host()
    time.sleep(0.5)
    feeds = f"{session.root}/Feeds"
    before = digest(feeds)
    calvoria, window = session.start_program()
    check("Frame creation done" in session.log_text(), "the frame logged its creation")

    xdotool("windowfocus", "--sync", str(window))
    xdotool("key", "--window", str(window), "ctrl+shift+F5")
    check(wait_for(lambda: session.log_text().count("Channel downloading done: 'http") == 6, 30),
          "Ctrl+Shift+F5 downloaded every channel")

    close_box(window)
    check(wait_for(lambda: not is_viewable(window), 10), "the close box hides the window")
    check(wait_for(lambda: tray_icon_center() is not None, 10), "the tray icon is shown")
    check(calvoria.poll() is None, "the program still runs")
    check(wait_for(badge_shown, 5), "the tray icon carries the unread badge")

    # The panel goes away and comes back (a desktop restarting it): the icon comes back too.
    tray_host.terminate()
    tray_host.wait()
    wait_for(lambda: not xdotool("search", "--name", "^panel$"), 5)
    tray_host = session.start_tray_host()
    check(wait_for(lambda: tray_icon_center() is not None, 10), "the icon comes back with the panel")

    xdotool("mousemove", *tray_icon_center(), "click", "--repeat", "2", "--delay", "80", "1")
    check(wait_for(lambda: is_viewable(window), 10), "a double-click on the icon restores the window")
    time.sleep(1.0)
    check(is_viewable(window), "the double-click does not hide the window again")

    close_box(window)
    wait_for(lambda: not is_viewable(window), 10)
    wait_for(lambda: tray_icon_center() is not None, 10)
    xdotool("mousemove", *tray_icon_center(), "click", "1")
    check(wait_for(lambda: is_viewable(window), 10), "a single click on the icon restores the window")

    close_box(window)
    wait_for(lambda: not is_viewable(window), 10)
    wait_for(lambda: tray_icon_center() is not None, 10)
    xdotool("mousemove", *tray_icon_center(), "click", "3")
    time.sleep(1.0)
    xdotool("key", "Up", "Return")  # the last row of the tray menu is Exit
    try:
        code = calvoria.wait(20)
    except Exception:
        code = None
    check(code == 0, f"Exit from the tray menu ends the program (exit code {code})")
    lines = [line.split("\t", 1)[-1] for line in session.log_text().splitlines()]
    sequence = ["Storing frame position ...", "Saving news: done", "Start Exiting", "Queue stopped",
                "Internet Session closed", "Exit Done", "Log file closed"]
    found = [line for line in lines if line in sequence]
    check(found[-len(sequence):] == sequence, "the exit sequence ran in order: " + " / ".join(found))
    after = digest(feeds)
    check(len(after) == 6 and all(before[name] != after[name] for name in after),
          "every channel file holds the refreshed news")
finally:
    session.close()
finish()
