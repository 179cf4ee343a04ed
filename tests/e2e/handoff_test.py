#!/usr/bin/env python3
"""A feed handed to a second start is subscribed to in the running copy.

    handoff_test.py PROGRAM SOURCE-DIR      (run under xvfb-run; needs xdotool)

Calvoria runs; `calvoria feed://...` (as a browser starts it) ends at once and the running
copy opens New Channel on that address, verified; Enter subscribes. A feed already
subscribed to opens no dialog. After Alt+X the tree holds the new channel, named after its
feed.
"""
import re
import subprocess
import sys
import time

from e2e_support import Session, check, finish, free_port, wait_for, xdotool

session = Session(sys.argv[1], sys.argv[2], channels=2, items=3)
try:
    other = free_port()
    session.spawn([sys.executable, f"{sys.argv[2]}/bench/serve_feeds.py", str(other), "--count",
                   "1", "--items", "4"], stdout=subprocess.DEVNULL)
    calvoria, window = session.start_program()

    def dialogs():
        return xdotool("search", "--onlyvisible", "--name", "^New Channel$")

    def second_start(argument):
        started = time.monotonic()
        code = subprocess.run([session.program, argument], env=session.env, timeout=30).returncode
        return code, time.monotonic() - started

    code, seconds = second_start(f"http://127.0.0.1:{session.port}/feed0.xml")
    check(code == 0 and seconds < 10, f"a second start with a subscribed feed ends ({code}, {seconds:.1f} s)")
    check(not wait_for(lambda: bool(dialogs()), 3), "a feed already subscribed opens no dialog")

    code, seconds = second_start(f"feed://127.0.0.1:{other}/feed0.xml")
    check(code == 0 and seconds < 10, f"a second start with a new feed ends ({code}, {seconds:.1f} s)")
    if check(wait_for(lambda: bool(dialogs()), 15), "the running copy opens New Channel"):
        dialog = dialogs()[0]
        # Enter takes only once the address is verified and the name filled in.
        for _ in range(30):
            if not dialogs():
                break
            xdotool("windowfocus", "--sync", dialog)
            xdotool("key", "--window", dialog, "Return")
            time.sleep(1)
        check(not dialogs(), "Enter subscribes once the feed is verified")
    xdotool("windowfocus", "--sync", str(window))
    xdotool("key", "--window", str(window), "alt+x")
    try:
        code = calvoria.wait(20)
    except Exception:
        code = None
    check(code == 0, f"Alt+X ends the program (exit code {code})")
    opml = open(f"{session.root}/data.opml", encoding="utf-8").read()
    new = re.findall(r'<outline[^>]*xmlUrl="http://127\.0\.0\.1:%d/feed0\.xml"[^>]*>' % other, opml)
    check(len(new) == 1 and 'text="Feed 0"' in new[0],
          f"the tree holds the new channel, named after its feed ({new})")
    check("Feed handed over: 'http://127.0.0.1:%d/feed0.xml'" % other in session.log_text(),
          "the log tells of the handed feed")
finally:
    session.close()
finish()
