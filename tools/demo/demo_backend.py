#!/usr/bin/env python3
"""Loopback stand-in for the community's web services, for local runs.

    python3 tools/demo/demo_backend.py --port 47800

Serves the server list, the news feed with pictures, the launcher version
manifest and two tiny web pages, on 127.0.0.1 only. Standard library only.
With --release DIR (a folder `make release` wrote) it announces DIR's
version.json as the launcher's version answer, once that file exists, and
serves DIR's files under /files/: the Windows end-to-end test publishes a
newer release that way. The news and the pictures carry validators (ETag,
Last-Modified) and may be cached but must be revalidated, which a conditional
request answers with 304; the files take byte ranges (Range, If-Range), so an
interrupted download can resume. Prints one "ready" line (with the real port,
so --port 0 works) once it accepts connections, and exits cleanly on SIGTERM /
SIGINT.
"""
import argparse
import datetime as dt
import email.utils
import hashlib
import html
import json
import os
import random
import re
import signal
import sys
import threading
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import unquote, urlsplit

HOST = "127.0.0.1"
IMG_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "img")

LAUNCHER_VERSION = "1.1.9"
CHANGELOG = "Исправлена проверка файлов игры, ускорена загрузка новостей."

# (title, description, age). Newest first, as the real feed. Dates are made
# relative to the backend's start so the feed looks fresh, never lies in the
# future, and stays the same while the backend runs (so a cached copy stays
# current).
NEWS = [
    ("Зимний фестиваль",
     "Конкурсы и подарки", dt.timedelta(hours=2, minutes=10)),
    ("Обновление 2.4",
     "Новые работы и баланс", dt.timedelta(days=1, hours=5)),
    ("В автосалоне пополнение",
     "12 новых машин", dt.timedelta(days=3, hours=1, minutes=30)),
    ("Новые дома в Вайнвуд-Хиллз",
     "40 особняков у холмов", dt.timedelta(days=5, hours=3)),
    ("Открыт набор в LSPD и EMS",
     "Собеседования в 19:00", dt.timedelta(days=8, hours=7)),
    ("Уличные гонки по выходным",
     "Призовой фонд $500к", dt.timedelta(days=11, hours=2)),
    ("Двойной опыт все выходные",
     "x2 опыт и зарплата", dt.timedelta(days=14, hours=9)),
    ("Кубок сервера: итоги турнира",
     "Награды лучшим семьям", dt.timedelta(days=20, hours=4)),
]
# This item has no "date_iso", so the client's fallback to "date" shows up.
NEWS_WITHOUT_ISO = 5

SERVERS = [
    {"name": "Velor #1", "online": 812, "max": 1000},
    {"name": "Velor #2", "online": 455, "max": 1000},
    {"name": "Velor #3", "online": 37, "max": 500},
]


class Backend:
    """State shared by the request handlers (they run on several threads)."""

    def __init__(self, port, release_dir=None):
        self.port = port
        self.release_dir = release_dir
        self.lock = threading.Lock()
        self.rng = random.Random()
        self.online = [s["online"] for s in SERVERS]
        self.started = dt.datetime.now().replace(second=0, microsecond=0)

    def base_url(self):
        return f"http://{HOST}:{self.port}"

    def servers(self):
        # A small random walk so the online counter visibly changes between
        # refreshes; clamped to the server's capacity.
        with self.lock:
            out = []
            for i, s in enumerate(SERVERS):
                step = max(1, s["max"] // 100)
                self.online[i] = min(s["max"], max(0, self.online[i] + self.rng.randint(-step, step)))
                out.append({"name": s["name"], "online": self.online[i], "max": s["max"]})
            return out

    def news(self):
        """The feed and the time it was made for (its Last-Modified)."""
        now = self.started
        items = []
        for n, (title, desc, age) in enumerate(NEWS, start=1):
            when = now - age
            item = {
                "title": title,
                "description": desc,
                "date": when.strftime("%d.%m.%Y"),
                "date_iso": when.strftime("%Y-%m-%dT%H:%M:%S"),
                "img": f"{self.base_url()}/img/{n}.jpg",
                "url": f"news-{n}",
            }
            if n == NEWS_WITHOUT_ISO:
                del item["date_iso"]
            items.append(item)
        return {"data": items}, now.timestamp()

    def news_slugs(self):
        return {f"news-{n}": NEWS[n - 1] for n in range(1, len(NEWS) + 1)}

    def version(self):
        if self.release_dir:
            try:
                with open(os.path.join(self.release_dir, "version.json"), encoding="utf-8") as fh:
                    return json.load(fh)
            except FileNotFoundError:
                pass
        return {
            "version": LAUNCHER_VERSION,
            "download_url": f"{self.base_url()}/files/update.zip",
            "changelog": CHANGELOG,
        }


PAGE = """<!doctype html>
<html lang="ru"><head><meta charset="utf-8"><title>{title}</title>
<style>body{{background:#121212;color:#eee;font-family:sans-serif;max-width:40em;margin:3em auto}}
h1{{color:#FFCC00}}a{{color:#FEDD2C}}</style></head>
<body><h1>{title}</h1><p>{body}</p>
<p><small>Демо-страница: локальная замена сайта для запуска лаунчера.</small></p></body></html>
"""


class Handler(BaseHTTPRequestHandler):
    server_version = "VelorDemo/1.0"
    protocol_version = "HTTP/1.1"
    backend = None   # set in main()
    quiet = False

    # -- plumbing -------------------------------------------------------------
    def _send(self, status, ctype, body, extra=None, cache="no-store"):
        self.send_response(status)
        self.send_header("Content-Type", ctype)
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Cache-Control", cache)
        for k, v in (extra or {}).items():
            self.send_header(k, v)
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def _json(self, obj, status=200, extra=None):
        body = json.dumps(obj, ensure_ascii=False).encode("utf-8")
        self._send(status, "application/json; charset=utf-8", body, extra)

    def _page(self, title, body_text, status=200):
        body = PAGE.format(title=html.escape(title), body=html.escape(body_text)).encode("utf-8")
        self._send(status, "text/html; charset=utf-8", body)

    def _not_modified(self, etag, mtime):
        """True when the request's validators still match: If-None-Match wins
        over If-Modified-Since, as in RFC 9110."""
        tags = self.headers.get("If-None-Match")
        if tags is not None:
            return tags.strip() == "*" or etag in (t.strip().removeprefix("W/") for t in tags.split(","))
        return _date_header(self.headers.get("If-Modified-Since")) >= int(mtime)

    def _revalidated(self, ctype, body, mtime):
        """Sends an answer that caches may keep but must check again each
        time (QNetworkDiskCache keeps nothing marked no-cache or no-store), or
        304 when the client's copy is still current."""
        etag = '"%s"' % hashlib.sha256(body).hexdigest()[:32]
        extra = {"ETag": etag, "Last-Modified": email.utils.formatdate(mtime, usegmt=True)}
        cache = "max-age=0, must-revalidate"
        if self._not_modified(etag, mtime):
            self.send_response(304)
            self.send_header("Cache-Control", cache)
            for k, v in extra.items():
                self.send_header(k, v)
            self.end_headers()
            return
        self._send(200, ctype, body, extra, cache)

    def _file(self, path):
        """Sends a download whole, or one byte range of it (206) when asked
        with Range, and If-Range, when given, still names this file."""
        try:
            fh = open(path, "rb")
        except OSError:
            return self._not_found()
        with fh:
            st = os.fstat(fh.fileno())
            size = st.st_size
            etag = '"%x-%x"' % (st.st_size, st.st_mtime_ns)
            modified = email.utils.formatdate(st.st_mtime, usegmt=True)
            extra = {"Accept-Ranges": "bytes", "ETag": etag, "Last-Modified": modified}
            wanted = self.headers.get("Range")
            condition = self.headers.get("If-Range")
            if condition is not None and condition.strip() not in (etag, modified):
                wanted = None   # the file changed since: the whole of it
            span = _byte_range(wanted, size) if wanted else None
            if span == "unsatisfiable":
                return self._send(416, "application/octet-stream", b"",
                                  {"Content-Range": f"bytes */{size}", **extra})
            start, end = span or (0, size - 1)
            self.send_response(206 if span else 200)
            self.send_header("Content-Type", "application/octet-stream")
            self.send_header("Content-Length", str(end - start + 1))
            self.send_header("Cache-Control", "no-store")
            if span:
                self.send_header("Content-Range", f"bytes {start}-{end}/{size}")
            for k, v in extra.items():
                self.send_header(k, v)
            self.end_headers()
            if self.command != "HEAD":
                fh.seek(start)
                _copy(fh, self.wfile, end - start + 1)

    def _not_found(self):
        self._json({"error": "not found", "path": self.path}, status=404)

    def log_message(self, fmt, *args):
        if not self.quiet:
            sys.stderr.write("%s - %s\n" % (self.address_string(), fmt % args))

    # -- routes ---------------------------------------------------------------
    def do_GET(self):
        b = self.backend
        # The launcher may add cache-busting query strings; route on the path.
        path = unquote(urlsplit(self.path).path)
        if path in ("/servers", "/servers/"):
            return self._json(b.servers())
        if path in ("/news", "/news/"):
            feed, minute = b.news()
            body = json.dumps(feed, ensure_ascii=False).encode("utf-8")
            return self._revalidated("application/json; charset=utf-8", body, minute)
        if path == "/launcher/version":
            return self._json(b.version())
        if path == "/donate":
            return self._page("Пополнение счёта", "Здесь будет страница доната VELOR RP.")
        m = re.fullmatch(r"/news/([a-z0-9-]+)", path)
        if m:
            item = b.news_slugs().get(m.group(1))
            if item is None:
                return self._not_found()
            return self._page(item[0], item[1])
        # Only plain numeric names: nothing outside img/ can be reached.
        m = re.fullmatch(r"/img/(\d{1,3})\.jpg", path)
        if m:
            file = os.path.join(IMG_DIR, f"{int(m.group(1))}.jpg")
            try:
                with open(file, "rb") as fh:
                    data = fh.read()
                    mtime = os.fstat(fh.fileno()).st_mtime
            except OSError:
                return self._not_found()
            return self._revalidated("image/jpeg", data, mtime)
        # Only plain file names: nothing outside the release folder.
        m = re.fullmatch(r"/files/([A-Za-z0-9][A-Za-z0-9._-]*)", path)
        if m and b.release_dir:
            return self._file(os.path.join(b.release_dir, m.group(1)))
        return self._not_found()

    do_HEAD = do_GET

    def _method_not_allowed(self):
        # Drain any body so the connection stays usable for keep-alive.
        length = int(self.headers.get("Content-Length") or 0)
        if 0 < length <= 1 << 20:
            self.rfile.read(length)
        else:
            self.close_connection = True
        self._json({"error": "method not allowed"}, status=405, extra={"Allow": "GET, HEAD"})

    do_POST = do_PUT = do_DELETE = do_PATCH = _method_not_allowed


def _date_header(text):
    """Seconds since the epoch of an HTTP date, or -1 when it is none."""
    try:
        return int(email.utils.parsedate_to_datetime(text).timestamp())
    except (TypeError, ValueError, IndexError):
        return -1


def _byte_range(header, size):
    """(first, last) of a single "bytes=" range, "unsatisfiable", or None for
    what this server does not take (several ranges, other units): those get
    the whole file, which RFC 9110 allows."""
    m = re.fullmatch(r"\s*bytes\s*=\s*(\d*)\s*-\s*(\d*)\s*", header)
    if not m or m.group(1) == m.group(2) == "":
        return None
    if m.group(1) == "":   # the last N bytes
        n = int(m.group(2))
        return (max(0, size - n), size - 1) if n and size else "unsatisfiable"
    first = int(m.group(1))
    last = min(int(m.group(2)), size - 1) if m.group(2) else size - 1
    if m.group(2) and int(m.group(2)) < first:
        return None   # invalid: ignored
    return (first, last) if first < size else "unsatisfiable"


def _copy(src, dst, length):
    while length > 0:
        chunk = src.read(min(length, 1 << 16))
        if not chunk:
            break
        dst.write(chunk)
        length -= len(chunk)


class Server(ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--port", type=int, default=47800,
                    help="TCP port on 127.0.0.1 (0 = let the OS pick one)")
    ap.add_argument("--quiet", action="store_true", help="do not log requests")
    ap.add_argument("--release", metavar="DIR",
                    help="announce DIR/version.json and serve DIR's files under /files/")
    args = ap.parse_args(argv)
    if not 0 <= args.port <= 65535:
        ap.error("port must be 0..65535")

    try:
        httpd = Server((HOST, args.port), Handler)
    except OSError as e:
        print(f"demo backend: cannot listen on {HOST}:{args.port}: {e}", file=sys.stderr)
        return 1
    port = httpd.server_address[1]
    Handler.backend = Backend(port, args.release)
    Handler.quiet = args.quiet

    stop = threading.Event()

    def on_signal(signum, _frame):
        stop.set()

    signal.signal(signal.SIGTERM, on_signal)
    signal.signal(signal.SIGINT, on_signal)

    worker = threading.Thread(target=httpd.serve_forever, kwargs={"poll_interval": 0.1},
                              name="http", daemon=True)
    worker.start()
    print(f"demo backend ready on http://{HOST}:{port}", flush=True)
    # Wait in short slices: on Windows a blocking wait would hold Ctrl+C back
    # until it returned.
    while not stop.wait(0.2):
        pass
    httpd.shutdown()
    httpd.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
