#!/usr/bin/env python3
"""News popups in the real program, hidden in the tray.

    popups_test.py PROGRAM SOURCE-DIR      (run under xvfb-run; needs trayer and xdotool)

The program starts hidden in the tray; "Update all groups" from the tray menu brings new
news to every served channel: popups appear beside the panel. A click on a popup's first
headline brings the window back with that news selected and shown in the reading pane,
which marks it read: after the program ends, exactly one of the new news is stored read.
"""
import os
import re
import sys
import time

from e2e_support import (Session, check, finish, is_viewable, main_window, tray_icon_center,
                         wait_for, xdotool)


def stored_items(feeds):
    """(title, new) of every news in the channel files."""
    found = []
    for name in os.listdir(feeds):
        text = open(f"{feeds}/{name}", encoding="utf-8").read()
        found += [(title, new) for new, title in
                  re.findall(r'<item new="(\d)"[^>]*>\s*<title>([^<]*)</title>', text)]
    return found


session = Session(sys.argv[1], sys.argv[2], channels=3, items=6, stored_items=3)
try:
    feeds = f"{session.root}/Feeds"
    stored_titles = {title for title, _ in stored_items(feeds)}
    session.start_tray_host()
    time.sleep(0.5)
    calvoria = session.spawn([session.program], env=dict(session.env, CALVORIA_SHOW_COMMAND="2"))
    check(wait_for(lambda: tray_icon_center() is not None, 20), "the program waits in the tray")
    time.sleep(1.0)
    xdotool("mousemove", *tray_icon_center(), "click", "3")
    time.sleep(1.0)
    xdotool("key", "Down", "Down", "Return")  # "Update all groups", the menu's second row
    xdotool("mousemove", "10", "400")

    popups = []

    def shown():
        popups[:] = xdotool("search", "--name", "^NewsMessageWindowCalvoria$")
        return len(popups) >= 2

    check(wait_for(shown, 10), f"a popup for each updated channel appears ({len(popups)})")
    if popups:
        # Let the appear effect end, then click the middle of the first headline.
        time.sleep(1.0)
        out = xdotool("getwindowgeometry", "--shell", popups[0])
        values = dict(item.split("=") for item in out)
        x, y = int(values["X"]), int(values["Y"])
        xdotool("mousemove", str(x + 60), str(y + 28), "click", "1")
        window = {}

        def back():
            window["id"] = main_window(calvoria.pid)
            return window["id"] is not None and is_viewable(window["id"])

        check(wait_for(back, 10), "a click on a headline brings the window back")
        time.sleep(3.5)  # the reading pane marks the shown news read after two seconds
        # Alt+X in the window brought back: the channel files are saved on the way out.
        if window.get("id"):
            xdotool("windowfocus", "--sync", str(window["id"]))
            xdotool("key", "--window", str(window["id"]), "alt+x")
    try:
        code = calvoria.wait(20)
    except Exception:
        code = None
    check(code == 0, f"Alt+X ends the program (exit code {code})")
    fresh = [(title, new) for title, new in stored_items(feeds) if title not in stored_titles]
    check(len(fresh) >= 2, f"the update brought new news ({len(fresh)})")
    read = [title for title, new in fresh if new == "0"]
    check(len(read) == 1, f"exactly the clicked news was shown and marked read ({read})")
finally:
    session.close()
finish()
