#!/usr/bin/env python3
"""Writes a Calvoria data folder for benchmarks: data.opml and one channel file per channel.

    make_data_folder.py ROOT [--groups 10] [--channels 500] [--items 200]
                        [--url-base http://127.0.0.1:8000/] [--article-base URL]
                        [--no-channel-files]

With --url-base the channels point at URL-BASE + "feed<N>.xml" (as serve_feeds.py serves them),
and with --article-base their news at the article pages serve_feeds.py also serves.
"""
import argparse
import hashlib
import os
import random
import time
from xml.sax.saxutils import escape, quoteattr

WORDS = ("market city council weather storm match season science energy water road school "
         "hospital river museum election budget report study court bridge festival harbour "
         "train airport village winter summer music theatre garden forest mountain").split()


def identity(name, url):
    return hashlib.md5((name + url).encode("utf-16-le")).hexdigest().upper()


def sentence(rng, n):
    return " ".join(rng.choice(WORDS) for _ in range(n)).capitalize()


def gmt(t):
    return time.strftime("%d %b %Y %H:%M:%S GMT", time.gmtime(t))


def channel_file(rng, index, items, now, article_base=None):
    out = ['<?xml version="1.0" encoding="UTF-8"?>\n<rss version="2.0">\r\n  <channel favorite="false">']
    info = [("title", f"Channel {index}"), ("link", f"http://news{index}.example/"),
            ("description", sentence(rng, 12)), ("lastBuildDate", gmt(now)), ("ttl", "15"),
            ("generator", "Calvoria")]
    for tag, text in info:
        out.append(f"\r\n    <{tag}>{escape(text)}</{tag}>")
    for i in range(items):
        t = now - i * 600 - index
        title = sentence(rng, 8)
        desc = "<p>" + sentence(rng, 40) + "</p> <p>" + sentence(rng, 20) + "</p>"
        out.append(f'\r\n    <item new="{1 if i % 3 else 0}" deleted="0" status="0">')
        link = (f"{article_base}article/{index}/{i}.html" if article_base
                else f"http://news{index}.example/{i}.html")
        for tag, text in (("title", title), ("link", link),
                          ("description", desc), ("pubDate", gmt(t))):
            out.append(f"\r\n      <{tag}>{escape(text)}</{tag}>")
        out.append("\r\n    </item>")
    out.append("\r\n  </channel>\r\n</rss>\n")
    return "".join(out)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("root")
    ap.add_argument("--groups", type=int, default=10)
    ap.add_argument("--channels", type=int, default=500)
    ap.add_argument("--items", type=int, default=200)
    ap.add_argument("--url-base", default=None)
    ap.add_argument("--no-channel-files", action="store_true")
    ap.add_argument("--article-base", default=None,
                    help="news links point at ARTICLE-BASE + article/<channel>/<n>.html")
    args = ap.parse_args()
    rng = random.Random(7)
    now = int(time.time()) - 3600
    feeds = os.path.join(args.root, "Feeds")
    for sub in ("Feeds", "Voice", "MP3"):
        os.makedirs(os.path.join(args.root, sub), exist_ok=True)
    per_group = max(1, args.channels // args.groups)
    body = []
    for g in range(args.groups):
        body.append(f'\r\n    <outline type="group" text="Group {g}" expanded="true">')
        for c in range(g * per_group, min(args.channels, (g + 1) * per_group)):
            name = f"Channel {c}"
            url = f"{args.url_base}feed{c}.xml" if args.url_base else f"http://news{c}.example/rss"
            body.append(f'\r\n      <outline type="rss" text={quoteattr(name)} title={quoteattr(name)} '
                        f'xmlUrl={quoteattr(url)} description="" favorite="false" autoupdate="true" '
                        f'autoconvert="false" count="{args.items}"/>')
            if not args.no_channel_files:
                with open(os.path.join(feeds, identity(name, url) + ".rss"), "w",
                          encoding="utf-8", newline="") as f:
                    f.write(channel_file(rng, c, args.items, now, args.article_base))
        body.append("\r\n    </outline>")
    opml = ('<?xml version="1.0" encoding="UTF-8"?>\n<opml version="1.0">\r\n  <head>'
            f"\r\n    <title>Calvoria: My Feeds</title>\r\n    <dateCreated>{gmt(now)}</dateCreated>"
            f"\r\n    <dateModified>{gmt(now)}</dateModified>\r\n  </head>\r\n  <body expanded=\"true\">"
            + "".join(body) + "\r\n  </body>\r\n</opml>\n")
    with open(os.path.join(args.root, "data.opml"), "w", encoding="utf-8", newline="") as f:
        f.write(opml)


if __name__ == "__main__":
    main()
