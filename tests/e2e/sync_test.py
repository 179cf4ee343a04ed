#!/usr/bin/env python3
"""Synchronize in the real program: the prepared news of a channel go to a player.

    sync_test.py PROGRAM SOURCE-DIR      (run under xvfb-run; needs xdotool)

A channel holds four news whose MP3 files are ready; a removable "Acme Player" is offered
through a system tree of the test's own. File > Synchronize, one news unticked with Space,
Alt+C: three files arrive in the remembered folder on the player, the fourth stays, and the
moved news are stored as having lost their file.
"""
import hashlib
import os
import re
import sys
import time

from e2e_support import Session, check, finish, wait_for, xdotool


def audio_name(title, description):
    """The base name the program gives an item's voice files (plain texts)."""
    digest = hashlib.md5((title + description).encode("utf-16-le")).hexdigest().upper()
    name = "".join("_" if c in " \t\r\n" else c for c in title
                   if c.isascii() and (c.isalnum() or c in " \t\r\n"))
    return name[:96] + digest[:8]


def fake_player(base, mount):
    """A /proc, /sys and /dev that show one USB player mounted at `mount`."""
    disk = f"{base}/sys/devices/pci0/usb1/1-2/host6/target6:0:0/6:0:0:0/block/sdb"
    os.makedirs(f"{disk}/sdb1")
    os.makedirs(f"{disk}/device")
    for path, text in ((f"{disk}/removable", "0\n"), (f"{disk}/device/vendor", "Acme    \n"),
                       (f"{disk}/device/model", "Player  \n"), (f"{disk}/sdb1/partition", "1\n")):
        with open(path, "w") as f:
            f.write(text)
    os.makedirs(f"{base}/sys/dev/block")
    os.symlink(f"{disk}/sdb1", f"{base}/sys/dev/block/8:17")
    os.makedirs(f"{base}/proc/self")
    os.makedirs(f"{base}/dev")
    with open(f"{base}/proc/self/mountinfo", "w") as f:
        f.write(f"41 22 8:17 / {mount} rw - vfat /dev/sdb1 rw\n")


def statuses(path):
    return re.findall(r'<item new="\d" deleted="0" status="(\d)"', open(path, encoding="utf-8").read())


session = Session(sys.argv[1], sys.argv[2], channels=2, items=2, stored_items=4)
try:
    feeds = f"{session.root}/Feeds"
    channel_file = next(f"{feeds}/{name}" for name in os.listdir(feeds)
                        if "<title>Channel 0</title>" in open(f"{feeds}/{name}", encoding="utf-8").read())
    # Make the channel's four news ready, with plain texts whose file names are known.
    text = open(channel_file, encoding="utf-8").read()
    count = iter(range(100))
    text = re.sub(r"<description>&lt;p&gt;.*?</description>",
                  lambda m: f"<description>Spoken news number {next(count)}</description>", text)
    text = text.replace('status="0"', 'status="3"')
    open(channel_file, "w", encoding="utf-8").write(text)
    titles = re.findall(r"<item [^>]*>\s*<title>([^<]*)</title>", text)
    check(len(titles) == 4, "the channel holds four news")
    mp3 = f"{session.root}/MP3"
    os.makedirs(mp3, exist_ok=True)
    names = [audio_name(t, f"Spoken news number {i}") + ".mp3" for i, t in enumerate(titles)]
    for i, name in enumerate(names):
        with open(f"{mp3}/{name}", "wb") as f:
            f.write(bytes([i]) * 40000)

    player = f"{session.work}/player"
    os.makedirs(player)
    fake_player(f"{session.work}/system", player)
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
