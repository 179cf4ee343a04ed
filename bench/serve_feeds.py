#!/usr/bin/env python3
"""Serves COUNT distinct RSS 2.0 feeds of ITEMS items on 127.0.0.1 for refresh benchmarks.

    serve_feeds.py PORT [--count 500] [--items 50] [--no-etag] [--local-articles]

The feeds are feed0.xml ... feed<COUNT-1>.xml; each request is answered from memory.
Each feed has an ETag and a Last-Modified date (unless --no-etag), and a request that
names them gets a 304 without a body. GET /stats gives the requests and body bytes
served so far as "requests N full N not-modified N bytes N wire N" (wire: request and
response headers and bodies together); GET /stats?reset clears them. Any
/article/<channel>/<n>.html is a news page of site furniture around six paragraphs.
"""
import argparse
import hashlib
import random
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from xml.sax.saxutils import escape

WORDS = ("market city council weather storm match season science energy water road school "
         "hospital river museum election budget report study court bridge festival").split()


def make_feed(rng, index, items, now, article_base=None):
    out = ['<?xml version="1.0" encoding="UTF-8"?>\n<rss version="2.0"><channel>',
           f"<title>Feed {index}</title><link>http://news{index}.example/</link>",
           "<description>Benchmark feed</description>"]
    for i in range(items):
        title = " ".join(rng.choice(WORDS) for _ in range(8))
        desc = "<p>" + " ".join(rng.choice(WORDS) for _ in range(60)) + "</p>"
        date = time.strftime("%a, %d %b %Y %H:%M:%S GMT", time.gmtime(now - i * 600))
        link = (f"{article_base}article/{index}/{i}.html" if article_base
                else f"http://news{index}.example/{i}")
        out.append(f"<item><title>{escape(title)}</title><link>{link}</link>"
                   f"<description>{escape(desc)}</description><pubDate>{date}</pubDate></item>")
    out.append("</channel></rss>\n")
    return "".join(out).encode()


def make_article(path):
    """A news page for /article/<channel>/<n>.html: site furniture around a headline and six
    paragraphs, the same for the same address."""
    rng = random.Random(path)
    words = ("market city council weather storm match season science energy water road school "
             "hospital river museum election budget report study court bridge festival harbour "
             "train airport village winter summer music theatre garden forest mountain").split()
    sentence = lambda n: " ".join(rng.choice(words) for _ in range(n)).capitalize() + "."
    paragraphs = "".join(f"<p>{' '.join(sentence(rng.randint(8, 16)) for _ in range(3))}</p>"
                         for _ in range(6))
    return ("<!DOCTYPE html><html><head><meta charset='utf-8'><title>News</title></head><body>"
            "<nav><a href='/'>Home</a> <a href='/world'>World</a> <a href='/sport'>Sport</a></nav>"
            f"<article><h1>{sentence(6)}</h1>{paragraphs}</article>"
            "<footer><a href='/about'>About us</a> <a href='/privacy'>Privacy</a></footer>"
            "</body></html>").encode()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("port", type=int)
    ap.add_argument("--count", type=int, default=500)
    ap.add_argument("--items", type=int, default=50)
    ap.add_argument("--no-etag", action="store_true")
    ap.add_argument("--local-articles", action="store_true",
                    help="news link to the article pages served here, not to news<N>.example")
    args = ap.parse_args()
    rng = random.Random(11)
    now = int(time.time()) - 3600
    base = f"http://127.0.0.1:{args.port}/" if args.local_articles else None
    feeds = {f"/feed{i}.xml": make_feed(rng, i, args.items, now, base) for i in range(args.count)}
    etags = {path: '"' + hashlib.md5(body).hexdigest()[:16] + '"' for path, body in feeds.items()}
    modified = time.strftime("%a, %d %b %Y %H:%M:%S GMT", time.gmtime(now))
    lock = threading.Lock()
    stats = {"requests": 0, "full": 0, "not-modified": 0, "bytes": 0, "wire": 0}

    def count(key, size=0, wire=0):
        with lock:
            stats["requests"] += 1
            stats[key] += 1
            stats["bytes"] += size
            stats["wire"] += wire

    class Handler(BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"
        disable_nagle_algorithm = True  # headers and body go out in separate writes

        def wire_bytes(self, body_size):
            request = len(self.requestline) + 2 + len(str(self.headers))
            return request + sum(len(h) for h in self._headers_buffer) + body_size

        def do_GET(self):
            if self.path.startswith("/stats"):
                with lock:
                    text = " ".join(f"{k} {v}" for k, v in stats.items()).encode()
                    if self.path.endswith("?reset"):
                        stats.update({k: 0 for k in stats})
                self.send_response(200)
                self.send_header("Content-Length", str(len(text)))
                self.end_headers()
                self.wfile.write(text)
                return
            if self.path.startswith("/article/"):
                page = make_article(self.path)
                self.send_response(200)
                self.send_header("Content-Type", "text/html; charset=utf-8")
                self.send_header("Content-Length", str(len(page)))
                self.end_headers()
                self.wfile.write(page)
                return
            body = feeds.get(self.path)
            if body is None:
                self.send_error(404)
                return
            if not args.no_etag and (self.headers.get("If-None-Match") == etags[self.path] or
                                     self.headers.get("If-Modified-Since") == modified):
                self.send_response(304)
                self.send_header("ETag", etags[self.path])
                count("not-modified", 0, self.wire_bytes(0) + 2)
                self.end_headers()
                return
            self.send_response(200)
            self.send_header("Content-Type", "application/rss+xml")
            self.send_header("Content-Length", str(len(body)))
            if not args.no_etag:
                self.send_header("ETag", etags[self.path])
                self.send_header("Last-Modified", modified)
            count("full", len(body), self.wire_bytes(len(body)) + 2)
            self.end_headers()
            self.wfile.write(body)

        def log_message(self, *a):
            pass

    ThreadingHTTPServer(("127.0.0.1", args.port), Handler).serve_forever()


if __name__ == "__main__":
    main()
