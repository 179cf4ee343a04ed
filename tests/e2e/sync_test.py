#!/usr/bin/env python3
"""Synchronize in the real program: the prepared news of a channel go to a player.

    sync_test.py PROGRAM SOURCE-DIR      (run under xvfb-run; needs xdotool)

A channel holds four news whose MP3 files are ready; a removable "Acme Player" is offered
through a system tree of the test's own. File > Synchronize, one news unticked with Space,
Alt+C: three files arrive in the remembered folder on the player, the fourth stays, and the
moved news are stored as having lost their file.
"""
import os
import re
import sys
import time

from e2e_support import Session, check, finish, wait_for, xdotool
from sample_device import fake_system, make_ready


def statuses(path):
    return re.findall(r'<item new="\d" deleted="0" status="(\d)"', open(path, encoding="utf-8").read())


session = Session(sys.argv[1], sys.argv[2], channels=2, items=2, stored_items=4)
try:
    channel_file, names = make_ready(session.root, "Channel 0")
    check(len(names) == 4, "the channel holds four ready news")
    mp3 = f"{session.root}/MP3"
    player = f"{session.work}/player"
    os.makedirs(player)
    fake_system(f"{session.work}/system", player)
    session.env["CALVORIA_DEVICE_ROOT"] = f"{session.work}/system"
    with open(f"{session.work}/config/Trevane Labs/Calvoria.conf", "a") as conf:
        conf.write("DefaultDeviceName=Acme Player\nDefaultDeviceFolder=Music/News\n")

    calvoria, window = session.start_program()
    xdotool("windowfocus", "--sync", str(window))
    time.sleep(0.5)

    def keys(target, *names):
        for key in names:
            xdotool("key", "--window", str(target), key)
            time.sleep(0.2)

    keys(window, "alt+f", "s")
    found = {}

    def dialog():
        ids = xdotool("search", "--onlyvisible", "--name", "Please select news")
        found["id"] = ids[0] if ids else None
        return found["id"] is not None

    if check(wait_for(dialog, 10), "File > Synchronize opens the dialog"):
        xdotool("windowfocus", "--sync", found["id"])
        # The first news is current: Space unticks it; Alt+C copies the other three.
        keys(found["id"], "space", "alt+c")
        target = f"{player}/Music/News"
        check(wait_for(lambda: os.path.isdir(target) and len(os.listdir(target)) == 3, 20),
              "three files arrive in the remembered folder on the player")
        if os.path.isdir(target):
            check(sorted(os.listdir(target)) == sorted(names[1:]),
                  f"the ticked ones, whole and under their names ({sorted(os.listdir(target))})")
            check(all(os.path.getsize(f"{target}/{n}") == 40000 for n in os.listdir(target)),
                  "each of its full size")
        check(sorted(os.listdir(mp3)) == [names[0]], "the unticked one stays in the MP3 folder")
    xdotool("windowfocus", "--sync", str(window))
    keys(window, "alt+x")
    try:
        code = calvoria.wait(20)
    except Exception:
        code = None
    check(code == 0, f"Alt+X ends the program (exit code {code})")
    check(statuses(channel_file)[:4] == ["3", "5", "5", "5"],
          f"the moved news are stored as having lost their file ({statuses(channel_file)})")
finally:
    session.close()
finish()
