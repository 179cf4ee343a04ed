#!/usr/bin/env python3
"""The window thread while the window shares the audio: the real program serves its prepared
MP3s on 127.0.0.1 to 50 downloads at once (and feed requests meanwhile), with the stall
meter on; prints the window thread's longest stalls while serving and the download rate.

    xvfb-run -a -s "-screen 0 1280x800x24" bench/share_window_bench.py [--downloads 50]
        [--rounds 3] [--program build/bin/calvoria]
"""
import argparse
import os
import re
import subprocess
import sys
import time
from concurrent.futures import ThreadPoolExecutor

top = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(top, "tests", "e2e"))
from e2e_support import Session, free_port, press, wait_for, xdotool  # noqa: E402

ap = argparse.ArgumentParser()
ap.add_argument("--downloads", type=int, default=50)
ap.add_argument("--rounds", type=int, default=3)
ap.add_argument("--program", default=os.path.join(top, "build", "bin", "calvoria"))
args = ap.parse_args()

SECRET = "00112233445566778899aabbccddeeff"
session = Session(args.program, top, channels=1, items=4, stored_items=4, articles=True)
try:
    tool = os.path.join(os.path.dirname(args.program), "calvoria-tool")
    rows = subprocess.run([tool, "news", "--data", session.root], env=session.env,
                          capture_output=True, text=True, check=True).stdout.splitlines()[1:]
    ids = [row.split("\t")[0] for row in rows[:4]]
    subprocess.run([tool, "convert-news", *ids, "--data", session.root], env=session.env,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True, timeout=300)
    port = free_port()
    with open(f"{session.work}/config/Trevane Labs/Calvoria.conf", "a") as conf:
        conf.write(f"[Share]\nEnabled=true\nAddress=127.0.0.1\nPort={port}\nSecret={SECRET}\n")
    session.env["CALVORIA_MEASURE_STALLS"] = "1"
    stderr_path = f"{session.work}/stderr.txt"
    calvoria, window = session.start_program(stderr=open(stderr_path, "w"))
    shown = time.monotonic()
    base = f"http://127.0.0.1:{port}/{SECRET}/"
    feed = ""
    def fetch_feed():
        global feed
        feed = subprocess.run(["curl", "-sf", base + "podcast.xml"], capture_output=True,
                              text=True).stdout
        return feed.count("<enclosure") >= 4
    if not wait_for(fetch_feed, 30):
        sys.exit("the window does not serve its feed: " + feed[:500])
    urls = re.findall(r'<enclosure url="([^"]+)"', feed)
    size = sum(int(n) for n in re.findall(r'<enclosure [^>]*length="(\d+)"', feed)) // len(urls)
    serving_from = (time.monotonic() - shown) * 1000

    def download(index):
        url = urls[index % len(urls)] if index % 10 else base + "podcast.xml"
        done = subprocess.run(["curl", "-s", "-o", "/dev/null", "-w", "%{http_code} %{size_download}",
                               url], capture_output=True, text=True)
        return done.stdout
    rates = []
    for _ in range(args.rounds):
        begin = time.monotonic()
        with ThreadPoolExecutor(args.downloads) as pool:
            results = list(pool.map(download, range(args.downloads)))
        seconds = time.monotonic() - begin
        assert all(r.startswith("200 ") for r in results), results
        rates.append(sum(int(r.split()[1]) for r in results) / seconds / 1e6)
    xdotool("windowfocus", "--sync", str(window))
    press(window, "alt+x")
    calvoria.wait(30)
    stalls = [(int(at), int(length)) for at, length in re.findall(
        r"event-loop stall at (\d+) ms: (\d+) ms", open(stderr_path).read())]
    longest = re.search(r"longest event-loop stall: (\d+) ms", open(stderr_path).read())
    serving = [length for at, length in stalls if at >= serving_from]
    print(f"{args.rounds} rounds of {args.downloads} downloads at once ({len(urls)} episodes of "
          f"about {size / 1e6:.1f} MB, every tenth request the feed)")
    print("throughput per round: " + ", ".join(f"{rate:.0f} MB/s" for rate in rates))
    print(f"window thread stalls >= 20 ms while serving: {serving or 'none'}; longest over the "
          f"whole run, start-up included: {longest.group(1) if longest else '?'} ms")
finally:
    session.close()
