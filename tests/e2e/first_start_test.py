#!/usr/bin/env python3
"""The first start on an empty data folder, from the welcome page, in the real program.

    first_start_test.py PROGRAM SOURCE-DIR      (run under xvfb-run; needs xdotool)

The welcome page shows in the reading pane with the keyboard on its first step. "Add a feed"
subscribes to a feed served on 127.0.0.1 in at most four user actions, counted here, and its
news comes in; Help > Welcome brings the page back, "Add example feeds" adds the group
"Examples" and "Import subscriptions" reads an OPML file. The environment variable
CALVORIA_EXAMPLE_FEEDS points the example feeds at feeds served here instead of the shipped
ones on the web; it is meant for tests only.
"""
import glob
import os
import shutil
import sys
import time

from e2e_support import Session, check, finish, main_window, wait_for, xdotool


def opml_outline(url_part):
    return f'xmlUrl="http://127.0.0.1:{session.port}/{url_part}"'


session = Session(sys.argv[1], sys.argv[2], channels=4, items=5)
try:
    shutil.rmtree(session.root)  # a data folder that does not exist yet: the first start
    pages = f"{session.work}/tmp"
    os.makedirs(pages)
    session.env["TMPDIR"] = pages
    examples = f"{session.work}/examples.opml"
    with open(examples, "w", encoding="utf-8") as out:
        out.write('<?xml version="1.0"?>\n<opml version="2.0"><body>'
                  '<outline type="group" text="Examples">'
                  f'<outline type="rss" text="Example One" {opml_outline("feed1.xml")}/>'
                  f'<outline type="rss" text="Example Two" {opml_outline("feed2.xml")}/>'
                  "</outline></body></opml>\n")
    session.env["CALVORIA_EXAMPLE_FEEDS"] = examples
    exported = f"{session.work}/other-reader.opml"
    with open(exported, "w", encoding="utf-8") as out:
        out.write('<?xml version="1.0"?>\n<opml version="1.0"><body>'
                  f'<outline text="From Elsewhere" type="rss" {opml_outline("feed3.xml")}/>'
                  "</body></opml>\n")

    def page():
        """The reading pane's page as the program last wrote it."""
        for name in glob.glob(f"{pages}/rss*.html"):
            try:
                return open(name, "rb").read().decode("utf-16", errors="replace")
            except OSError:
                pass
        return ""

    def welcome_shows():
        return "Welcome to Calvoria" in page()

    calvoria, _ = session.start_program()
    check(wait_for(welcome_shows, 20), "the welcome page shows on an empty data folder")
    check("Add example feeds" in page() and "OPML" in page(), "with its three steps")

    def front():
        """Focuses the main window, found anew: the toolkit makes the window again when the
        web view's first page comes after the window showed (it does on a busy machine)."""
        window = main_window(calvoria.pid)
        xdotool("windowfocus", "--sync", str(window))
        return window

    front()
    time.sleep(1.0)

    def dialog(title):
        found = xdotool("search", "--onlyvisible", "--name", f"^{title}$")
        return found[0] if found else None

    actions = 0

    def key(*names):
        global actions
        actions += 1
        xdotool("key", "--delay", "80", *names)
        time.sleep(0.3)

    def type_text(text):
        global actions
        actions += 1
        xdotool("type", "--delay", "20", text)

    done = "Channel downloading done: 'http://127.0.0.1:%d/feed%d.xml'"
    key("Return")  # the first step, "Add a feed...", has the keyboard
    check(wait_for(lambda: dialog("New Channel"), 10), "Add a feed opens New Channel")
    xdotool("windowfocus", "--sync", dialog("New Channel") or str(front()))
    type_text(f"http://127.0.0.1:{session.port}/feed0.xml")
    key("Return")  # verified, named after its feed, subscribed
    check(wait_for(lambda: not dialog("New Channel"), 15), "Enter subscribes")
    check(actions <= 4, f"subscribed in {actions} user actions")
    check(wait_for(lambda: session.log_text().count(done % (session.port, 0)) >= 1, 20),
          "the new channel's news is downloaded")
    check(wait_for(lambda: "Feed 0" in page() and page().count("<article") == 5, 20),
          "the new channel is selected with its five news, the welcome page gone")

    def help_welcome():
        front()
        xdotool("key", "--delay", "150", "alt+h", "w")
        return wait_for(welcome_shows, 15)

    check(help_welcome(), "Help > Welcome brings the page back")
    time.sleep(1.0)
    xdotool("key", "--delay", "150", "Tab", "Tab", "Return")
    check(wait_for(lambda: all(session.log_text().count(done % (session.port, n)) >= 1
                               for n in (1, 2)), 20),
          "Add example feeds subscribes to the examples and downloads them")

    check(help_welcome(), "and once more")
    time.sleep(1.0)
    xdotool("key", "--delay", "150", "Tab", "Return")
    if check(wait_for(lambda: dialog("Import subscriptions"), 10), "Import subscriptions asks for a file"):
        xdotool("windowfocus", "--sync", dialog("Import subscriptions"))
        time.sleep(0.5)
        xdotool("type", "--delay", "20", exported)
        xdotool("key", "Return")
        # The report of what came in, closed with Enter.
        time.sleep(1.5)
        if dialog("Import subscriptions"):
            xdotool("windowfocus", "--sync", dialog("Import subscriptions"))
            xdotool("key", "Return")
        check(wait_for(lambda: not dialog("Import subscriptions"), 10), "the import is reported")

    xdotool("key", "--window", str(front()), "alt+x")
    try:
        code = calvoria.wait(20)
    except Exception:
        code = None
    check(code == 0, f"Alt+X ends the program (exit code {code})")
    opml = open(f"{session.root}/data.opml", encoding="utf-8").read()
    start = opml.find('text="Examples"')
    # The group's channels are empty elements: its own end tag is the first one after it.
    group = opml[start:opml.find("</outline>", start)] if start >= 0 else ""
    check('text="Feed 0"' in opml and opml_outline("feed0.xml") in opml,
          "My Feeds holds the feed added, named after it")
    check(opml_outline("feed1.xml") in group and opml_outline("feed2.xml") in group,
          "the group Examples holds the example feeds")
    check(opml_outline("feed3.xml") in opml, "the imported feed is subscribed")
finally:
    session.close()
finish()
