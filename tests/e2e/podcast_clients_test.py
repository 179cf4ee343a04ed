#!/usr/bin/env python3
"""The shared audio as a private podcast, taken by real podcast clients from Debian.

    podcast_clients_test.py PROGRAM TOOL SOURCE-DIR
        (needs gpo, newsboat, podboat, curl and mpg123; no display)

Four stored news are spoken into the data folder's MP3 folder with `calvoria-tool
convert-news`, then `calvoria-tool serve` shares them. gPodder's command line and podboat
(fed by newsboat) subscribe and download every episode byte for byte; Debian's podcastparser
reads the feed; curl checks ranges, HEAD and ETags, and hostile requests get nowhere and
change nothing. SIGTERM ends the server at once with 0.
"""
import hashlib
import os
import pty
import re
import secrets
import select
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse
import urllib.request
import wave

from e2e_support import Session, check, finish, wait_for

try:
    import podcastparser
except ImportError:
    # Debian's module, when the test runs under another interpreter than the system's.
    sys.path.append("/usr/lib/python3/dist-packages")
    import podcastparser

NO_PROXY = {k: v for k, v in os.environ.items() if "proxy" not in k.lower()}


def sha256(path):
    return hashlib.sha256(open(path, "rb").read()).hexdigest()


def tree_digests(folder):
    """sha256 of every file below folder, by path relative to it."""
    found = {}
    for top, _, names in os.walk(folder):
        for name in names:
            path = os.path.join(top, name)
            if not os.path.islink(path):
                found[os.path.relpath(path, folder)] = sha256(path)
    return found


def decoded_seconds(path, work):
    """The playing time as mpg123 decodes it, independent of what the feed claims."""
    wav = os.path.join(work, "decoded.wav")
    subprocess.run(["mpg123", "-q", "-w", wav, path], check=True, stderr=subprocess.DEVNULL)
    with wave.open(wav) as w:
        return w.getnframes() / w.getframerate()


def curl(url, *options):
    """(status, headers with lower-case names, body) of one request."""
    with tempfile.NamedTemporaryFile() as head, tempfile.NamedTemporaryFile() as body:
        done = subprocess.run(["curl", "-s", "-g", "--path-as-is", "-o", body.name, "-D",
                               head.name, "-w", "%{http_code}", *options, url],
                              capture_output=True, text=True, env=NO_PROXY, timeout=30)
        headers = {}
        for line in open(head.name, encoding="latin-1").read().splitlines()[1:]:
            if ":" in line:
                name, value = line.split(":", 1)
                headers[name.strip().lower()] = value.strip()
        return int(done.stdout or 0), headers, open(body.name, "rb").read()


def make_audio(session, tool, count):
    """Speaks the newest COUNT news; returns {file name: (id, channel, title)}."""
    rows = subprocess.run([tool, "news", "--data", session.root], env=session.env,
                          capture_output=True, text=True, check=True).stdout.splitlines()[1:]
    news = {row.split("\t")[0]: row.split("\t") for row in rows[:count]}
    done = subprocess.run([tool, "convert-news", *news, "--data", session.root],
                          env=session.env, capture_output=True, text=True, timeout=180)
    ready = {}
    for line in done.stdout.splitlines():
        fields = line.split("\t")
        if fields[0] == "ready":
            ready[os.path.basename(fields[2])] = (fields[1], news[fields[1]][2], news[fields[1]][3])
    check(done.returncode == 0 and len(ready) == count,
          f"convert-news speaks {count} news into the MP3 folder ({len(ready)} ready)")
    return ready


class Server:
    """`calvoria-tool serve` and the feed addresses it prints once it listens."""

    def __init__(self, session, tool, *arguments):
        self.lines = []
        self.process = session.spawn([tool, "serve", "--address", "127.0.0.1", "--port", "0",
                                      "--data", session.root, *arguments], env=session.env,
                                     stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.process.stdout:
            self.lines.append(line.rstrip("\n"))

    def feeds(self, count):
        wait_for(lambda: len(self.urls()) >= count or self.process.poll() is not None, 20)
        return self.urls()

    def urls(self):
        return [line.strip() for line in self.lines if re.fullmatch(r"\s*http://\S+\.xml\s*", line)]


def parse_feed(url):
    try:
        with urllib.request.build_opener(urllib.request.ProxyHandler({})).open(url, timeout=20) as r:
            return podcastparser.parse(url, r)
    except (OSError, podcastparser.FeedParseError) as e:
        check(False, f"{url} is read: {e}")
        return {"episodes": []}


def enclosure_names(feed):
    return sorted(urllib.parse.unquote(e["enclosures"][0]["url"].rsplit("/", 1)[1])
                  for e in feed["episodes"] if e["enclosures"])


def check_feed(url, ready, mp3, work):
    feed = parse_feed(url)
    episodes = feed["episodes"]
    check(feed.get("title") and len(episodes) == len(ready),
          f"podcastparser reads the feed: a title and {len(ready)} episodes ({len(episodes)})")
    by_name = {}
    for episode in episodes:
        for enclosure in episode["enclosures"]:
            by_name[urllib.parse.unquote(enclosure["url"].rsplit("/", 1)[1])] = (episode, enclosure)
    guids = [e["guid"] for e in episodes]
    check(all(guids) and len(set(guids)) == len(guids), "every episode has a guid of its own")
    for name, (_, _, title) in sorted(ready.items()):
        episode, enclosure = by_name.get(name, ({}, {}))
        path = os.path.join(mp3, name)
        seconds = decoded_seconds(path, work)
        check(title in episode.get("title", "")
              and enclosure.get("url", "").startswith("http://127.0.0.1:")
              and enclosure.get("file_size") == os.path.getsize(path)
              and enclosure.get("mime_type") == "audio/mpeg"
              and 0 < episode.get("published", 0) <= time.time() + 86400
              and abs(episode.get("total_time", 0) - seconds) <= 1,
              f"the episode {name[:24]}...: its title, exact length {os.path.getsize(path)}, "
              f"audio/mpeg, a date and its {seconds:.0f} s ({episode.get('total_time')} s)")
    return by_name


def check_same_files(folder, mp3, who):
    got = sorted(sha256(os.path.join(top, n)) for top, _, names in os.walk(folder) for n in names)
    want = sorted(sha256(os.path.join(mp3, n)) for n in os.listdir(mp3))
    check(got == want, f"{who} downloads every episode byte for byte ({len(got)} files)")


def gpodder(url, work, mp3):
    env = dict(NO_PROXY, HOME=f"{work}/gpo", GPODDER_HOME=f"{work}/gpo/home",
               GPODDER_DOWNLOAD_DIR=f"{work}/gpo/downloads")
    for command in (["subscribe", url], ["update"], ["download"]):
        done = subprocess.run(["gpo", *command], env=env, capture_output=True, text=True,
                              timeout=90)
        check(done.returncode == 0, f"gpo {command[0]} ({done.stdout.strip().splitlines()[-1:]})")
    check_same_files(f"{work}/gpo/downloads", mp3, "gPodder")


def podboat(url, work, mp3, sizes):
    """newsboat reads the feed and queues the episodes, podboat downloads them. podboat is a
    full-screen program: it runs on a pseudo-terminal, downloads the queue by itself (-a) and
    leaves on "q" once the files are whole."""
    home, downloads = f"{work}/newsboat", f"{work}/newsboat/downloads"
    os.makedirs(downloads)
    open(f"{home}/urls", "w").write(url + "\n")
    open(f"{home}/config", "w").write(f'download-path "{downloads}/"\n'
                                      "podcast-auto-enqueue yes\nmax-downloads 2\n")
    env = {k: v for k, v in NO_PROXY.items() if not k.startswith("XDG_")}
    env.update(HOME=home, TERM="xterm", LINES="40", COLUMNS="160")
    done = subprocess.run(["newsboat", "-u", "urls", "-C", "config", "-c", "cache", "-x", "reload"],
                          cwd=home, env=env, capture_output=True, text=True, timeout=60)
    queue = f"{home}/.newsboat/queue"
    queued = open(queue).read().splitlines() if os.path.exists(queue) else []
    check(done.returncode == 0 and len(queued) == len(sizes),
          f"newsboat reads the feed and queues {len(sizes)} episodes ({len(queued)})")

    pid, terminal = pty.fork()
    if pid == 0:
        try:
            os.chdir(home)
            os.execvpe("podboat", ["podboat", "-C", "config", "-q", queue, "-a"], env)
        finally:
            os._exit(127)
    screen = bytearray()

    def drain(seconds):
        ready, _, _ = select.select([terminal], [], [], seconds)
        if ready:
            try:
                screen.extend(os.read(terminal, 65536))
            except OSError:
                return False
        return True

    def whole():
        drain(0.1)
        return all(os.path.exists(f"{downloads}/{n}") and os.path.getsize(f"{downloads}/{n}") == s
                   for n, s in sizes.items())

    check(wait_for(whole, 60), "podboat downloads the queue")
    time.sleep(0.5)  # its last screen update
    os.write(terminal, b"q")
    end = time.monotonic() + 10
    status = None
    while status is None and time.monotonic() < end:
        drain(0.1)
        if os.waitpid(pid, os.WNOHANG)[0]:
            status = 0
    if status is None:
        os.kill(pid, signal.SIGKILL)
        os.waitpid(pid, 0)
    os.close(terminal)
    states = [line.rsplit(" ", 1)[-1] for line in open(queue).read().splitlines()]
    check(status == 0 and states == ["downloaded"] * len(sizes),
          f"podboat quits on q with every queue entry downloaded ({states})")
    check_same_files(downloads, mp3, "podboat")


def check_ranges(url, path):
    data = open(path, "rb").read()
    size = len(data)
    status, headers, body = curl(url, "-I")
    check(status == 200 and headers.get("content-length") == str(size)
          and headers.get("content-type", "").startswith("audio/mpeg"),
          f"HEAD: 200, Content-Length {size}, audio/mpeg ({status}, {headers.get('content-length')})")
    for wanted, first, last in (("0-99", 0, 99), ("1000-1999", 1000, 1999),
                                ("-500", size - 500, size - 1)):
        status, headers, body = curl(url, "-r", wanted)
        check(status == 206 and body == data[first:last + 1]
              and headers.get("content-range") == f"bytes {first}-{last}/{size}",
              f"Range {wanted}: 206 with bytes {first}-{last} ({status}, {len(body)} bytes, "
              f"{headers.get('content-range')})")
    status, headers, _ = curl(url, "-r", f"{size}-")
    check(status == 416, f"a range past the end: 416 ({status})")
    status, headers, body = curl(url)
    etag = headers.get("etag")
    check(status == 200 and body == data and etag, f"GET: the whole file and an ETag ({etag})")
    status, _, body = curl(url, "-H", f"If-None-Match: {etag}")
    check(status == 304 and body == b"", f"If-None-Match with the ETag: 304, no body ({status})")


def check_hostile(base, secret, root, name):
    """base: http://127.0.0.1:PORT/. Requests around the MP3 folder and the secret."""
    mp3 = os.path.join(root, "MP3")
    token = secrets.token_hex(8).encode()
    open(os.path.join(root, "decoy.mp3"), "wb").write(b"DECOY " + token)
    os.makedirs(os.path.join(mp3, "inner"))
    open(os.path.join(mp3, "inner", "x.mp3"), "wb").write(b"DECOY " + token)
    os.symlink(os.path.join(root, "decoy.mp3"), os.path.join(mp3, "link.mp3"))
    before = tree_digests(root)

    wrong = "%032x" % (int(secret, 16) ^ 1)
    _, _, missing = curl(f"{base}{secret}/audio/no-such-news.mp3")
    bodies = []
    for path, what in ((f"{wrong}/podcast.xml", "the feed under a wrong secret"),
                       (f"{wrong}/audio/{name}", "an episode under a wrong secret"),
                       (f"{secret}0/podcast.xml", "the feed under a longer secret"),
                       (f"audio/{name}", "an episode without the secret"),
                       (f"{secret}/audio/no-such-news.mp3", "a missing file")):
        status, _, body = curl(base + path)
        bodies.append(body)
        check(status == 404 and body == missing, f"{what}: 404, the missing file's answer ({status})")
    for path in ("../../etc/passwd", "%2e%2e%2f%2e%2e%2fetc%2fpasswd", "..%2F..%2Fetc%2Fpasswd",
                 "../decoy.mp3", "..%2Fdecoy.mp3", "%2e%2e/decoy.mp3", "..%5Cdecoy.mp3",
                 "inner%2Fx.mp3", "inner/x.mp3", "link.mp3", f"{name}%00.txt", ".", ".."):
        status, _, body = curl(f"{base}{secret}/audio/{path}")
        bodies.append(body)
        check(status in (400, 404), f"/<secret>/audio/{path}: 400 or 404 ({status})")
    status, _, body = curl(f"{base}{secret}/audio/" + "a" * 20000 + ".mp3")
    check(status == 414, f"a 20,000-character address: 414 ({status})")
    for method in ("DELETE", "PUT", "POST"):
        status, _, body = curl(f"{base}{secret}/audio/{name}", "-X", method, "--data-binary", "x")
        bodies.append(body)
        check(status in (405, 501), f"{method} on an episode: 405 or 501 ({status})")
    check(not any(token in body or b"root:" in body for body in bodies),
          "no answer holds the decoys or /etc/passwd")
    check(tree_digests(root) == before and os.path.isfile(os.path.join(mp3, name)),
          "the data folder is as it was")
    status, _, _ = curl(f"{base}{secret}/podcast.xml")
    check(status == 200, "the server still answers after them")


def main():
    program, tool, source = sys.argv[1:4]
    session = Session(program, source, channels=2, items=4, stored_items=2, articles=True)
    try:
        mp3 = os.path.join(session.root, "MP3")
        ready = make_audio(session, tool, 4)
        sizes = {name: os.path.getsize(os.path.join(mp3, name)) for name in ready}
        server = Server(session, tool, "--group", "Group 0")
        urls = server.feeds(2)
        whole = [u for u in urls if u.endswith("/podcast.xml")]
        parts = re.match(r"http://127\.0\.0\.1:(\d+)/([0-9a-f]{32})/podcast\.xml$", whole[0] if whole else "")
        check(parts and len(urls) == 2,
              f"serve prints the whole feed and the group's, with a 128-bit secret ({urls})")
        if not parts:
            print("\n".join(server.lines))
            return
        base, secret = f"http://127.0.0.1:{parts[1]}/", parts[2]
        by_name = check_feed(whole[0], ready, mp3, session.work)
        group_feed = [u for u in urls if u != whole[0]]
        if group_feed:
            own = sorted(n for n, (_, channel, _) in ready.items() if channel == "Channel 0")
            check(enclosure_names(parse_feed(group_feed[0])) == own,
                  f"the group's feed has its channel's {len(own)} episodes only")
        gpodder(whole[0], session.work, mp3)
        podboat(whole[0], session.work, mp3, sizes)
        name = sorted(ready)[0]
        check_ranges(by_name[name][1]["url"], os.path.join(mp3, name))
        check_hostile(base, secret, session.root, name)

        # A slow download and a connection that never asks must not hold it up.
        slow = session.spawn(["curl", "-s", "--limit-rate", "20k", "-o", os.devnull,
                              by_name[name][1]["url"]], env=NO_PROXY)
        idle = socket.create_connection(("127.0.0.1", int(parts[1])))
        time.sleep(1)
        started = time.monotonic()
        server.process.send_signal(signal.SIGTERM)
        try:
            code = server.process.wait(10)
        except subprocess.TimeoutExpired:
            code = None
        check(code == 0 and time.monotonic() - started < 3,
              f"SIGTERM ends the server within 3 s with 0 despite a slow download and an idle "
              f"connection ({code} after {time.monotonic() - started:.1f} s)")
        idle.close()
        slow.kill()
        with socket.socket() as probe:
            check(probe.connect_ex(("127.0.0.1", int(parts[1]))) != 0, "the port is closed")
    finally:
        session.close()
    finish()


if __name__ == "__main__":
    main()
