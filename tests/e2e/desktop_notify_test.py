#!/usr/bin/env python3
"""New news told through the desktop's notification server, in the real program.

    desktop_notify_test.py PROGRAM SOURCE-DIR
        (run under xvfb-run and dbus-run-session with private-bus.conf; needs trayer,
        xdotool and dunst)

The person chose desktop notifications. The program waits hidden in the tray, and a later
start with --refresh-all updates both channels, whose feeds grow with each refresh. dunst,
the notification server, prints what it is sent: one notification for the refresh, naming
both channels with their counts; the next refresh, with one news, replaces it (the same
id), and its action brings the window back with that news shown, which marks it read. With
the server gone, the next refresh's news come in the popups and the log says why.
"""
import os
import re
import subprocess
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

from e2e_support import (Session, check, close_box, finish, is_viewable, main_window,
                         tray_icon_center, wait_for, xdotool)

generation = [0]
# How many news each feed has at each refresh: six new, then one, then two.
FEED_SIZES = [(0, 0), (3, 3), (4, 3), (5, 4)]


def feed(index):
    items = "".join(
        f"<item><title>Feed {index} news {n}</title><link>http://news{index}.example/{n}</link>"
        f"<description>Story {n} of feed {index}</description></item>"
        for n in reversed(range(FEED_SIZES[generation[0]][index])))
    return (f'<?xml version="1.0"?><rss version="2.0"><channel><title>Feed {index}</title>'
            f"<link>http://news{index}.example/</link><description>Growing</description>"
            f"{items}</channel></rss>").encode()


class Feeds(BaseHTTPRequestHandler):
    def do_GET(self):
        match = re.fullmatch(r"/feed(\d+)\.xml", self.path)
        body = feed(int(match.group(1))) if match else b""
        self.send_response(200 if match else 404)
        self.send_header("Content-Type", "application/rss+xml")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


def stored_items(feeds):
    """(title, new) of every news in the channel files."""
    found = []
    for name in os.listdir(feeds):
        text = open(f"{feeds}/{name}", encoding="utf-8").read()
        found += [(title, new) for new, title in
                  re.findall(r'<item new="(\d)"[^>]*>\s*<title>([^<]*)</title>', text)]
    return found


def notifications(path):
    """(summary, body, id, whole block) of each notification dunst printed."""
    text = open(path, encoding="utf-8", errors="replace").read()
    found = []
    for block in re.findall(r"\{\n(.*?)\n\}", text, re.S):
        if "appname: 'Calvoria'" not in block:
            continue
        summary = re.search(r"\tsummary: '(.*?)'\n\tbody:", block, re.S)
        body = re.search(r"\tbody: '(.*?)'\n\ticon:", block, re.S)
        ident = re.search(r"\tid: (\d+)", block)
        found.append((summary.group(1) if summary else "", body.group(1) if body else "",
                      int(ident.group(1)) if ident else -1, block))
    return found


check(bool(os.environ.get("DBUS_SESSION_BUS_ADDRESS")), "the test runs on a session bus of its own")
session = Session(sys.argv[1], sys.argv[2], channels=2, items=3, stored_items=3)
try:
    # The feeds grow with each refresh: the sample server makes way for one that does.
    session.processes[0].kill()
    session.processes[0].wait()
    server = ThreadingHTTPServer(("127.0.0.1", session.port), Feeds)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    with open(f"{session.work}/config/Trevane Labs/Calvoria.conf", "a") as conf:
        conf.write("AnnounceNews=1\n")

    printed = f"{session.work}/dunst.txt"
    dunst = session.spawn(["dunst", "-print"], stdout=open(printed, "w"),
                          stderr=subprocess.DEVNULL)
    session.start_tray_host()
    time.sleep(0.5)
    calvoria = session.spawn([session.program, "--hidden"], env=session.env)
    check(wait_for(lambda: tray_icon_center() is not None, 20), "the program waits in the tray")

    def refresh(expected):
        generation[0] += 1
        subprocess.run([session.program, "--refresh-all"], env=session.env, timeout=30)
        return wait_for(lambda: len(notifications(printed)) >= expected, 15)

    # One refresh of two channels with three new news each: one notification.
    check(refresh(1), "the refresh is told in a desktop notification")
    time.sleep(2.0)  # a second one would have come by now
    shown = notifications(printed)
    check(len(shown) == 1, f"one notification for the whole refresh ({len(shown)})")
    if shown:
        summary, body, first_id, block = shown[0]
        check(summary == "6 new news", f"it counts the news ({summary!r})")
        check("Channel 0</b> (3)" in body and "Channel 1</b> (3)" in body,
              f"it names both channels with their counts ({body!r})")
        check(body.count("\u2022 Feed ") == 4, "and the first four titles")
        check("org.calvoria.calvoria" in block and "Open" in block,
              "with the program's icon and an Open action")

        # The next refresh replaces it; its action opens the window on the news.
        check(refresh(2), "the next refresh is told too")
        shown = notifications(printed)
        check(len(shown) == 2 and shown[1][0] == "1 new news",
              f"with its own news ({shown[-1][0]!r})")
        check(shown[-1][2] == first_id, f"in place of the first (id {shown[-1][2]} after {first_id})")
        subprocess.run(["dunstctl", "action", "0"], timeout=10)
        window = {}

        def back():
            window["id"] = main_window(calvoria.pid)
            return window["id"] is not None and is_viewable(window["id"])

        check(wait_for(back, 10), "Open brings the window back")
        time.sleep(3.5)  # the reading pane marks the shown news read after two seconds
        if window.get("id"):
            close_box(window["id"])  # back to the tray, where news are announced
            check(wait_for(lambda: not is_viewable(window["id"]), 10), "the window goes back")

    # No server on the bus: the news come in the popups, and the log says why.
    dunst.kill()
    dunst.wait()
    generation[0] += 1
    subprocess.run([session.program, "--refresh-all"], env=session.env, timeout=30)
    popups = []

    def popped():
        popups[:] = xdotool("search", "--name", "^NewsMessageWindowCalvoria$")
        return len(popups) >= 2

    check(wait_for(popped, 15), f"without a server the popups show the news ({len(popups)})")
    lines = [line for line in session.log_text().splitlines()
             if "Desktop notifications are not available" in line]
    check(len(lines) == 1, f"one line in the log tells why ({lines})")
    calvoria.terminate()  # ends as after Exit, saving the channel files
    calvoria.wait(20)
    read = [title for title, new in stored_items(f"{session.root}/Feeds")
            if title.startswith("Feed ") and new == "0"]
    check(read == ["Feed 0 news 3"], f"the news Open showed is read, no other ({read})")
    server.shutdown()
finally:
    session.close()
finish()
