#!/usr/bin/env python3
"""Times listening in the real window: from Listen (Ctrl+L) to the first sound, on news
already spoken and on news not yet spoken (their page fetched, spoken and encoded first),
against `calvoria-tool convert` on the same article, and the window thread's longest stall
meanwhile.

    xvfb-run -a -s "-screen 0 1280x800x24" bench/listen_bench.py [--runs 4]
        [--program build/bin/calvoria]

The sound goes to a PulseAudio server of the bench's own whose only sink is silent; the
feeds and their article pages are served from 127.0.0.1 by serve_feeds.py.
"""
import argparse
import os
import re
import statistics
import subprocess
import sys
import time

top = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(top, "tests", "e2e"))
from e2e_support import press, Session, wait_for, xdotool  # noqa: E402

ap = argparse.ArgumentParser()
ap.add_argument("--runs", type=int, default=4)
ap.add_argument("--program", default=os.path.join(top, "build", "bin", "calvoria"))
args = ap.parse_args()

session = Session(args.program, top, channels=1, items=args.runs + 1,
                  stored_items=args.runs + 1, articles=True)
try:
    runtime = f"{session.work}/pulse"
    os.makedirs(runtime, mode=0o700)
    socket_path = f"{runtime}/native"
    session.spawn(["pulseaudio", "-n", "--daemonize=no", "--system=false",
                   "--exit-idle-time=-1", "--use-pid-file=false", "--log-level=error",
                   f"--load=module-native-protocol-unix socket={socket_path} auth-anonymous=1",
                   "--load=module-null-sink sink_name=silent"],
                  env=dict(os.environ, HOME=runtime, XDG_RUNTIME_DIR=runtime,
                           XDG_CONFIG_HOME=runtime), stderr=subprocess.DEVNULL)
    if not wait_for(lambda: os.path.exists(socket_path), 15):
        sys.exit("pulseaudio did not start")
    session.env.update(PULSE_SERVER=f"unix:{socket_path}", CALVORIA_MEASURE_STALLS="1")
    stderr_path = f"{session.work}/stderr.txt"
    started = time.monotonic()
    calvoria, window = session.start_program(stderr=open(stderr_path, "w"))
    shown = time.monotonic()
    xdotool("windowfocus", "--sync", str(window))

    def keys(*names):
        press(window, *names)

    def first_sounds():
        return [int(ms) for ms in
                re.findall(r"First sound (\d+) ms after Listen", session.log_text())]

    def listen_to(index):
        """Ctrl+L on the news at index of the list; the milliseconds to its first sound."""
        before = len(first_sounds())
        keys("F6", "Home", *["Down"] * index)
        time.sleep(0.5)
        keys("ctrl+l")
        if not wait_for(lambda: len(first_sounds()) > before, 120):
            sys.exit("no first sound: " + session.log_text()[-2000:])
        keys("ctrl+p")  # paused, so the next news is not spoken ahead meanwhile
        time.sleep(1.0)
        keys("shift+F6")
        return first_sounds()[-1]

    keys("Home", "Down", "Down", "Down")
    time.sleep(2.0)  # the channel's page in the reading pane, its browser started
    first_listen = time.monotonic()
    # From the bottom up: the news below one are made while it plays, those above are not.
    fresh = [listen_to(index) for index in range(args.runs, 0, -1)]
    spoken = [listen_to(index) for index in range(1, args.runs + 1)]
    keys("alt+x")
    calvoria.wait(30)

    # The same articles through the companion, one at a time as the window did.
    heard = re.findall(r"Playing news '(.*)'", session.log_text())[:args.runs]
    feeds = os.path.join(session.root, "Feeds")
    stored = "".join(open(os.path.join(feeds, name), encoding="utf-8").read()
                     for name in os.listdir(feeds))
    links = dict(re.findall(r"<title>(.*?)</title>\s*<link>(.*?)</link>", stored))
    tool = os.path.join(os.path.dirname(args.program), "calvoria-tool")
    converts = []
    for title in heard:
        begin = time.monotonic()
        subprocess.run([tool, "convert", links[title], f"{session.work}/out.mp3"], check=True,
                       env=session.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        converts.append(int((time.monotonic() - begin) * 1000))

    # Stalls from the first Listen on (the meter counts from the window's event loop).
    since = (first_listen - shown) * 1000 - 500
    stalls = [(int(at), int(length)) for at, length in re.findall(
        r"event-loop stall at (\d+) ms: (\d+) ms", open(stderr_path).read())]
    while_listening = [(int(at - since - 500), length) for at, length in stalls if at >= since]

    def summary(values):
        return f"median {statistics.median(values)} ms (of {values})"

    print(f"first sound, news already spoken:  {summary(spoken)}")
    print(f"first sound, news not yet spoken:  {summary(fresh)}")
    print(f"calvoria-tool convert, same pages: {summary(converts)}")
    print(f"ratio not yet spoken / convert:    "
          f"{statistics.median(fresh) / statistics.median(converts):.2f}")
    print("window thread stalls >= 20 ms while listening (ms after the first Listen, length):",
          while_listening or "none")
finally:
    session.close()
