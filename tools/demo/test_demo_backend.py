#!/usr/bin/env python3
"""Smoke test of demo_backend.py over real HTTP on an OS-picked port.

    python3 tools/demo/test_demo_backend.py
"""
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import unittest
import urllib.error
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
SCRIPT = os.path.join(HERE, "demo_backend.py")


def start_backend(*args):
    proc = subprocess.Popen(
        [sys.executable, SCRIPT, "--port", "0", "--quiet", *args],
        stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
    )
    # Blocks until the ready line is printed (or the process dies: then "").
    line = proc.stdout.readline()
    m = re.search(r"http://127\.0\.0\.1:(\d+)", line)
    if not m:
        proc.kill()
        _, err = proc.communicate(timeout=10)
        raise RuntimeError(f"backend did not start: {line!r} {err!r}")
    return proc, f"http://127.0.0.1:{m.group(1)}"


def fetch(url, headers=None):
    try:
        with urllib.request.urlopen(urllib.request.Request(url, headers=headers or {}), timeout=10) as r:
            return r.status, r.headers, r.read()
    except urllib.error.HTTPError as e:
        return e.code, e.headers, e.read()


def get(url):
    status, headers, body = fetch(url)
    return status, headers.get("Content-Type", ""), body


class DemoBackendTest(unittest.TestCase):
    DATA = bytes(range(256)) * 4

    @classmethod
    def setUpClass(cls):
        cls.release = tempfile.mkdtemp()
        with open(os.path.join(cls.release, "part.bin"), "wb") as fh:
            fh.write(cls.DATA)
        cls.proc, cls.base = start_backend("--release", cls.release)

    @classmethod
    def tearDownClass(cls):
        if cls.proc.poll() is None:
            cls.proc.kill()
            cls.proc.communicate(timeout=10)
        shutil.rmtree(cls.release)

    def test_servers(self):
        status, ctype, body = get(self.base + "/servers?t=1")
        self.assertEqual(status, 200)
        self.assertIn("application/json", ctype)
        servers = json.loads(body)
        self.assertEqual(len(servers), 3)
        for s in servers:
            self.assertEqual(set(s), {"name", "online", "max"})
            self.assertTrue(0 <= s["online"] <= s["max"])
        self.assertGreater(sum(s["online"] for s in servers), 1000)

    def test_news(self):
        status, _, body = get(self.base + "/news")
        self.assertEqual(status, 200)
        items = json.loads(body)["data"]
        self.assertGreaterEqual(len(items), 7)
        without_iso = [i for i in items if "date_iso" not in i]
        self.assertEqual(len(without_iso), 1)
        for i in items:
            self.assertRegex(i["date"], r"^\d{2}\.\d{2}\.\d{4}$")
            if "date_iso" in i:
                self.assertRegex(i["date_iso"], r"^\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}$")
            self.assertTrue(i["img"].startswith(self.base + "/img/"))
            self.assertTrue(i["title"] and i["description"] and i["url"])
            # Every advertised picture and article page must exist.
            status, ctype, data = get(i["img"])
            self.assertEqual((status, ctype), (200, "image/jpeg"))
            self.assertEqual(data[:2], b"\xff\xd8")
            status, ctype, _ = get(self.base + "/news/" + i["url"])
            self.assertEqual(status, 200)
            self.assertIn("text/html", ctype)

    def test_version(self):
        status, _, body = get(self.base + "/launcher/version")
        self.assertEqual(status, 200)
        v = json.loads(body)
        self.assertEqual(v["version"], "1.1.9")
        self.assertEqual(v["download_url"], self.base + "/files/update.zip")
        self.assertTrue(v["changelog"])

    def test_news_and_pictures_revalidate(self):
        for path in ("/news", "/img/1.jpg"):
            status, headers, body = fetch(self.base + path)
            self.assertEqual((status, headers["Cache-Control"]), (200, "max-age=0, must-revalidate"))
            etag, modified = headers["ETag"], headers["Last-Modified"]
            for sent, expected in (({"If-None-Match": etag}, 304), ({"If-Modified-Since": modified}, 304),
                                   ({"If-None-Match": '"other", ' + etag}, 304),
                                   ({"If-None-Match": '"other"', "If-Modified-Since": modified}, 200),
                                   ({"If-Modified-Since": "Thu, 01 Jan 1970 00:00:00 GMT"}, 200)):
                status, headers, again = fetch(self.base + path, sent)
                self.assertEqual((status, headers["ETag"]), (expected, etag), (path, sent))
                self.assertEqual(again, body if status == 200 else b"")

    def test_files_resume(self):
        url, data = self.base + "/files/part.bin", self.DATA
        status, headers, body = fetch(url)
        self.assertEqual((status, headers["Accept-Ranges"], body), (200, "bytes", data))
        for sent, expected in (
                ({"Range": "bytes=1000-"}, (206, "bytes 1000-1023/1024", data[1000:])),
                ({"Range": "bytes=10-19", "If-Range": headers["ETag"]}, (206, "bytes 10-19/1024", data[10:20])),
                ({"Range": "bytes=-4"}, (206, "bytes 1020-1023/1024", data[-4:])),
                ({"Range": "bytes=1000-5000"}, (206, "bytes 1000-1023/1024", data[1000:])),
                ({"Range": "bytes=10-19", "If-Range": '"changed"'}, (200, None, data)),
                ({"Range": "bytes=1024-"}, (416, "bytes */1024", b""))):
            status, headers, body = fetch(url, sent)
            self.assertEqual((status, headers["Content-Range"], body), expected, sent)

    def test_pages_and_errors(self):
        self.assertEqual(get(self.base + "/donate")[0], 200)
        for path in ("/nope", "/img/99.jpg", "/img/../demo_backend.py",
                     "/img/%2e%2e/demo_backend.py", "/news/unknown-slug"):
            status, ctype, body = get(self.base + path)
            self.assertEqual(status, 404, path)
            self.assertIn("application/json", ctype)
            json.loads(body)
        req = urllib.request.Request(self.base + "/servers", data=b"{}", method="POST")
        with self.assertRaises(urllib.error.HTTPError) as cm:
            urllib.request.urlopen(req, timeout=10)
        self.assertEqual(cm.exception.code, 405)


class ShutdownTest(unittest.TestCase):
    def check_signal(self, sig):
        proc, base = start_backend()
        self.assertEqual(get(base + "/servers")[0], 200)
        proc.send_signal(sig)
        proc.communicate(timeout=10)
        self.assertEqual(proc.returncode, 0)

    def test_sigterm(self):
        self.check_signal(signal.SIGTERM)

    def test_sigint(self):
        self.check_signal(signal.SIGINT)


if __name__ == "__main__":
    unittest.main(verbosity=2)
