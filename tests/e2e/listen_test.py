#!/usr/bin/env python3
"""Listening to a channel's news, driven by the keyboard and the desktop's media controls.

    listen_test.py PROGRAM SOURCE-DIR
        (run under xvfb-run and dbus-run-session with private-bus.conf; needs xdotool,
        playerctl and pulseaudio)

The sound goes to a PulseAudio server of the test's own whose only sink is silent. The
channel's five news link to short article pages served locally, none spoken yet. Ctrl+L on
the first news converts and plays them in list order; playerctl, a client of the media
interface, sees each one, pauses, skips and resumes them, and stops the player, which then
leaves the bus. The news heard to the end are read after Alt+X, the others not. A second run
resumes the paused news where it stopped.
"""
import os
import re
import shutil
import subprocess
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

from e2e_support import press, Session, check, finish, wait_for, xdotool


class Site(BaseHTTPRequestHandler):
    """Feeds without news (the stored ones stay as they are) and article pages of two short
    paragraphs, a few seconds of speech each."""

    def do_GET(self):
        if re.fullmatch(r"/feed\d+\.xml", self.path):
            body = (b'<?xml version="1.0"?><rss version="2.0"><channel><title>Feed</title>'
                    b"<link>http://news.example/</link><description>Quiet</description>"
                    b"</channel></rss>")
            kind = "application/rss+xml"
        elif re.fullmatch(r"/article/\d+/\d+\.html", self.path):
            body = (b"<!DOCTYPE html><html><head><title>News</title></head><body><article>"
                    b"<h1>Council opens the new bridge</h1>"
                    b"<p>The council opened the new bridge over the river this morning.</p>"
                    b"<p>Trains and buses cross it from Monday, the report says.</p>"
                    b"</article></body></html>")
            kind = "text/html; charset=utf-8"
        else:
            self.send_error(404)
            return
        self.send_response(200)
        self.send_header("Content-Type", kind)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


def stored_items(path):
    """(title, new) of the channel file's news, in file order (newest first)."""
    text = open(path, encoding="utf-8").read()
    return [(title, new) for new, title in
            re.findall(r'<item new="(\d)"[^>]*>\s*<title>([^<]*)</title>', text)]


def playerctl(*args):
    done = subprocess.run(["playerctl", "-p", "calvoria", *args], capture_output=True,
                          text=True, timeout=10)
    return done.stdout.strip() if done.returncode == 0 else None


def position():
    text = playerctl("position")
    try:
        return float(text)
    except (TypeError, ValueError):
        return -1.0


def player_property(name, value=None):
    """The player's property as dbus-send prints it ("double 2"), or sets it to VALUE (a
    dbus-send argument such as "double:1.5")."""
    command = ["dbus-send", "--session", "--print-reply=literal",
               "--dest=org.mpris.MediaPlayer2.calvoria", "/org/mpris/MediaPlayer2"]
    command += (["org.freedesktop.DBus.Properties.Get"] if value is None else
                ["org.freedesktop.DBus.Properties.Set"])
    command += ["string:org.mpris.MediaPlayer2.Player", f"string:{name}"]
    command += [] if value is None else [f"variant:{value}"]
    done = subprocess.run(command, capture_output=True, text=True, timeout=10)
    return " ".join(done.stdout.split()[1:])  # without "variant"


def start_pulseaudio(work):
    """A PulseAudio server with a silent sink only, on a socket of its own."""
    runtime = f"{work}/pulse"
    os.makedirs(runtime, mode=0o700)
    socket = f"{runtime}/native"
    env = dict(os.environ, HOME=runtime, XDG_RUNTIME_DIR=runtime, XDG_CONFIG_HOME=runtime)
    env.pop("DBUS_SESSION_BUS_ADDRESS", None)  # nothing of it on the test's bus
    session.spawn(
        ["pulseaudio", "-n", "--daemonize=no", "--system=false", "--exit-idle-time=-1",
         "--use-pid-file=false", "--log-target=stderr", "--log-level=error",
         "--load=module-native-protocol-unix socket=%s auth-anonymous=1" % socket,
         "--load=module-null-sink sink_name=silent", "--load=module-always-sink"],
        env=env, stderr=open(f"{work}/pulseaudio.txt", "w"))
    # It makes its socket once its modules are loaded.
    ready = wait_for(lambda: os.path.exists(socket), 15)
    return f"unix:{socket}" if ready else None


def exit_program(calvoria, window):
    xdotool("windowfocus", "--sync", str(window))
    xdotool("key", "--window", str(window), "alt+x")
    try:
        code = calvoria.wait(20)
    except subprocess.TimeoutExpired:
        code = None
    # xdotool gives up on the keys once their window is gone, before it lets them go: held
    # down, they would repeat into the next window that takes the keyboard.
    xdotool("keyup", "alt+x")
    return code


check(bool(os.environ.get("DBUS_SESSION_BUS_ADDRESS")), "the test runs on a session bus of its own")
# Showing a news in the reading pane marks it read after a delay: a day, so that only
# listening does here.
session = Session(sys.argv[1], sys.argv[2], channels=2, items=5, stored_items=5,
                  mark_read_ms=24 * 3600 * 1000)
try:
    # The channel files again, their news linking to the pages served here, all unread.
    session.processes[0].kill()
    session.processes[0].wait()
    server = ThreadingHTTPServer(("127.0.0.1", session.port), Site)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    base = f"http://127.0.0.1:{session.port}/"
    shutil.rmtree(session.root)
    subprocess.run([sys.executable, f"{sys.argv[2]}/bench/make_data_folder.py", session.root,
                    "--groups", "2", "--channels", "2", "--items", "5", "--url-base", base,
                    "--article-base", base], check=True, stdout=subprocess.DEVNULL)
    channel_file = None
    for name in os.listdir(f"{session.root}/Feeds"):
        path = f"{session.root}/Feeds/{name}"
        text = open(path, encoding="utf-8").read()
        if "<title>Channel 0</title>" in text:
            channel_file = path
            with open(path, "w", encoding="utf-8", newline="") as out:
                out.write(text.replace('new="0"', 'new="1"'))
    titles = [title for title, new in stored_items(channel_file)]
    check(len(titles) == 5, f"the channel holds five news ({len(titles)})")

    pulse_server = start_pulseaudio(session.work)
    check(pulse_server is not None, "a silent PulseAudio server runs")
    session.env["PULSE_SERVER"] = pulse_server or ""
    check(playerctl("status") is None, "no player is on the bus before the program")

    # Clients that only follow the announced changes, as a desktop's widget does.
    for what, query in (("status", ["status"]), ("title", ["metadata", "xesam:title"])):
        session.spawn(["stdbuf", "-oL", "playerctl", "-p", "calvoria", "-F", *query],
                      stdout=open(f"{session.work}/follow-{what}.txt", "w"),
                      stderr=subprocess.DEVNULL)

    def followed_lines(what):
        text = open(f"{session.work}/follow-{what}.txt", encoding="utf-8").read()
        return [line for line in text.splitlines() if line]

    calvoria, window = session.start_program()
    xdotool("windowfocus", "--sync", str(window))
    time.sleep(0.5)

    def keys(*names):
        press(window, *names)

    def select_news(index):
        # Tree rows: Favorite Channels, My Feeds, Group 0, Channel 0; then its news list.
        keys("Home", "Down", "Down", "Down")
        time.sleep(1.5)  # the reading pane starts its browser with the channel's page
        keys("F6", "Home", *["Down"] * index)
        time.sleep(0.5)

    def playing(title):
        return f"Playing news '{title}'" in session.log_text()

    select_news(0)
    keys("ctrl+l")
    check(wait_for(lambda: "Listening to 5 news of 'Channel 0'" in session.log_text(), 10),
          "Ctrl+L listens to the channel's five news")
    check(wait_for(lambda: playing(titles[0]), 60), "the first news is converted and plays")
    check(wait_for(lambda: playerctl("status") == "Playing", 10), "playerctl sees it playing")
    check(playerctl("metadata", "xesam:title") == titles[0], "it names the news")
    check(playerctl("metadata", "xesam:artist") == "Channel 0", "and the channel")
    length = int(playerctl("metadata", "mpris:length") or 0)
    check(1_000_000 < length < 60_000_000, f"and its length in microseconds ({length})")
    check(wait_for(lambda: playing(titles[1]), 60), "the second news follows the first")
    check(wait_for(lambda: playing(titles[2]), 60), "and the third the second")
    check(wait_for(lambda: playerctl("metadata", "xesam:title") == titles[2], 5),
          "the media controls follow")

    # Pause partway, skip, play on, and pause again partway.
    check(wait_for(lambda: position() >= 2.0, 20), "the third news plays on")
    playerctl("pause")
    check(wait_for(lambda: playerctl("status") == "Paused", 5), "pause: Paused")
    stopped_at = position()
    time.sleep(1.0)
    check(abs(position() - stopped_at) < 0.05, f"the position stands still ({stopped_at:.2f} s)")
    # The interface's rates stay within the player's range.
    player_property("Rate", "double:5.0")
    check(player_property("Rate") == "double 2",
          f"a rate beyond the fastest is held to it ({player_property('Rate')})")
    player_property("Rate", "double:1.0")
    playerctl("next")
    check(wait_for(lambda: playerctl("metadata", "xesam:title") == titles[3], 30),
          "next: the fourth news")
    playerctl("play")
    check(wait_for(lambda: playerctl("status") == "Playing", 30), "play: Playing")
    check(wait_for(lambda: position() >= 2.0, 30), "the fourth news plays")
    playerctl("pause")
    check(wait_for(lambda: playerctl("status") == "Paused", 5), "paused again")
    resume_at = position()

    # What a widget that only listens was told, in order.
    lines = followed_lines("status")
    statuses = [line for n, line in enumerate(lines) if n == 0 or line != lines[n - 1]]
    check(statuses[-4:] == ["Playing", "Paused", "Playing", "Paused"],
          f"the changes of status are announced ({statuses})")
    heard = list(dict.fromkeys(followed_lines("title")))
    check(heard[:4] == titles[:4], f"and each news as it starts ({heard})")

    playerctl("stop")
    check(wait_for(lambda: "calvoria" not in (subprocess.run(
        ["playerctl", "-l"], capture_output=True, text=True).stdout), 10),
        "stopped, the player leaves the bus")
    code = exit_program(calvoria, window)
    check(code == 0, f"Alt+X ends the program (exit code {code})")
    read = [new == "0" for title, new in stored_items(channel_file)]
    check(read == [True, True, False, False, False],
          f"the news heard to the end are read, no other ({read})")
    check(os.path.exists(f"{session.root}/listening.txt"), "the positions are kept")

    # Again: the fourth news goes on from where it was paused.
    calvoria, window = session.start_program()
    xdotool("windowfocus", "--sync", str(window))
    time.sleep(0.5)
    select_news(3)
    keys("ctrl+l")
    check(wait_for(lambda: playing(titles[3]), 30), "Ctrl+L on the fourth news plays it")
    check(wait_for(lambda: playerctl("status") == "Playing", 10), "playerctl sees it playing")
    start = position()
    check(resume_at - 0.5 <= start <= resume_at + 2.0,
          f"from where it was paused ({start:.2f} s, paused at {resume_at:.2f} s)")
    code = exit_program(calvoria, window)
    check(code == 0, f"Alt+X ends the program while it plays (exit code {code})")
    server.shutdown()
finally:
    session.close()
finish()
