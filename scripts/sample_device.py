#!/usr/bin/env python3
"""Prepared news and a removable player for trying Synchronize without either.

    sample_device.py DATA-ROOT SYSTEM-DIR PLAYER-DIR [CHANNEL...]

Makes the news of the named channels (default "Channel 0") of a sample data folder ready,
with their MP3 files in DATA-ROOT/MP3, and builds under SYSTEM-DIR a /proc, /sys and /dev
that show a USB player "Acme Player" mounted at PLAYER-DIR and a card "CARD" whose volume
is not there (no free space). Point CALVORIA_DEVICE_ROOT at SYSTEM-DIR.
"""
import hashlib
import os
import re
import sys


def audio_name(title, description):
    """The base name the program gives an item's voice files (plain texts)."""
    digest = hashlib.md5((title + description).encode("utf-16-le")).hexdigest().upper()
    name = "".join("_" if c in " \t\r\n" else c for c in title
                   if c.isascii() and (c.isalnum() or c in " \t\r\n"))
    return name[:96] + digest[:8]


def make_ready(root, channel_title, size=40000):
    """Makes every news of the channel ready with an MP3 file of `size` bytes; returns the
    file names in channel order."""
    feeds = f"{root}/Feeds"
    # The channel file is named by the identity of the channel's name and address, as
    # data.opml lists them; its own title may have changed with a download.
    opml = open(f"{root}/data.opml", encoding="utf-8").read()
    url = re.search(r'<outline[^>]*text="%s"[^>]*xmlUrl="([^"]*)"' % re.escape(channel_title),
                    opml).group(1)
    path = f"{feeds}/" + hashlib.md5((channel_title + url).encode("utf-16-le")).hexdigest().upper() + ".rss"
    text = open(path, encoding="utf-8").read()
    count = iter(range(100000))
    text = re.sub(r"<description>&lt;p&gt;.*?</description>",
                  lambda m: f"<description>Spoken news number {next(count)}</description>", text)
    text = text.replace('status="0"', 'status="3"')
    open(path, "w", encoding="utf-8").write(text)
    descriptions = re.findall(r"<item [^>]*>\s*<title>([^<]*)</title>.*?<description>([^<]*)</description>",
                              text, re.S)
    os.makedirs(f"{root}/MP3", exist_ok=True)
    names = []
    for i, (title, description) in enumerate(descriptions):
        names.append(audio_name(title, description) + ".mp3")
        with open(f"{root}/MP3/{names[-1]}", "wb") as f:
            f.write(bytes([i % 256]) * size)
    return path, names


def write(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w") as f:
        f.write(text)


def fake_system(base, player):
    """A USB player mounted at `player` and a card reader whose card is gone."""
    usb = f"{base}/sys/devices/pci0/usb1/1-2/host6/target6:0:0/6:0:0:0/block/sdb"
    write(f"{usb}/removable", "0\n")
    write(f"{usb}/device/vendor", "Acme    \n")
    write(f"{usb}/device/model", "Player  \n")
    write(f"{usb}/sdb1/partition", "1\n")
    card = f"{base}/sys/devices/platform/mmc0/block/mmcblk0"
    write(f"{card}/removable", "1\n")
    write(f"{card}/mmcblk0p1/partition", "1\n")
    os.makedirs(f"{base}/sys/dev/block", exist_ok=True)
    os.symlink(f"{usb}/sdb1", f"{base}/sys/dev/block/8:17")
    os.symlink(f"{card}/mmcblk0p1", f"{base}/sys/dev/block/179:1")
    os.makedirs(f"{base}/dev/disk/by-label", exist_ok=True)
    os.symlink("../../mmcblk0p1", f"{base}/dev/disk/by-label/CARD")
    write(f"{base}/proc/self/mountinfo",
          f"41 22 8:17 / {player} rw - vfat /dev/sdb1 rw\n"
          f"42 22 179:1 / {base}/no-card rw - vfat /dev/mmcblk0p1 rw\n")


if __name__ == "__main__":
    root, system, player = sys.argv[1:4]
    os.makedirs(player, exist_ok=True)
    fake_system(system, player)
    for channel in sys.argv[4:] or ["Channel 0"]:
        make_ready(root, channel)
