#!/usr/bin/env python3
"""The channel tree and the news list with the keyboard only, in the real program.

    keyboard_test.py PROGRAM SOURCE-DIR      (run under xvfb-run; needs xdotool)

Arrow keys move through the tree to the first channel, F6 goes to its news, Ctrl+U steps to
the unread news, Space marks one read, Del deletes one, F5 updates the channel and Alt+X
ends the program; the channel file on disk shows each of them.
"""
import os
import re
import sys
import time

from e2e_support import press, Session, check, finish, wait_for, xdotool



def items(path):
    text = open(path, encoding="utf-8").read()
    return re.findall(r'<item new="(\d)" deleted="(\d)"', text)


# Only the keys mark news read here: a news shown in the reading pane waits a day for it, so
# that a slow update does not leave the one after the deleted news read.
session = Session(sys.argv[1], sys.argv[2], channels=4, items=8, stored_items=6,
                  mark_read_ms=24 * 3600 * 1000)
try:
    feeds = f"{session.root}/Feeds"
    channel_file = None
    for name in os.listdir(feeds):
        if "<title>Channel 0</title>" in open(f"{feeds}/{name}", encoding="utf-8").read():
            channel_file = f"{feeds}/{name}"
    before = items(channel_file)
    unread_before = sum(1 for new, deleted in before if new == "1" and deleted == "0")
    check(unread_before >= 2, f"the channel starts with unread news ({unread_before})")
    check(len(before) == 6, "it holds its six stored news")

    calvoria, window = session.start_program()
    xdotool("windowfocus", "--sync", str(window))
    time.sleep(0.5)

    def keys(*names):
        press(window, *names)

    # Tree rows: Favorite Channels, My Feeds, Group 0, Channel 0.
    keys("Home", "Down", "Down", "Down")
    # The channel's page is the first: the reading pane starts its browser, which on a busy
    # machine holds the window for a moment. A person waits for it; keys sent meanwhile
    # would all land at once.
    time.sleep(1.5)
    keys("F6")  # to the news list
    keys("ctrl+u", "space")  # the first unread one, marked read
    keys("ctrl+u", "Delete")  # the next unread one, deleted
    done = "Channel downloading done: 'http://127.0.0.1:%d/feed0.xml'" % session.port
    time.sleep(1.0)  # opening a channel that was never downloaded updates it once by itself
    updates = session.log_text().count(done)
    keys("shift+F6", "F5")  # back in the tree: update the channel
    check(wait_for(lambda: session.log_text().count(done) == updates + 1, 20),
          "F5 updated the selected channel")
    check("feed1.xml" not in session.log_text(), "and only that one")
    keys("alt+x")
    try:
        code = calvoria.wait(20)
    except Exception:
        code = None
    check(code == 0, f"Alt+X ends the program (exit code {code})")

    # The served feed brings 8 news, none of them read; the stored ones keep their state.
    after = items(channel_file)
    read_before = sum(1 for new, gone in before if new == "0")
    read_after = sum(1 for new, gone in after if new == "0" and gone == "0")
    shown_after = sum(1 for new, gone in after if gone == "0")
    check(read_after == read_before + 1, f"Space marked one read ({read_before} -> {read_after})")
    # A deleted news that is no longer in the feed leaves the file; one still in it stays,
    # marked, so it does not come back.
    check(shown_after == len(before) + 8 - 1, f"Del deleted one ({len(before)} + 8 -> {shown_after})")
finally:
    session.close()
finish()
