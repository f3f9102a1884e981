#!/usr/bin/env python3
"""A local stand-in for the maker's service host, for whole-program runs.

Serves on one loopback address (port 80 inside the sandbox, where the service
host's name resolves to 127.0.0.1):

  /query_url.php?soft=...&id=NNNNN  the download-address answer ("FILE", HTTP
                                    download) for every package in the root's
                                    "pkg" folder named after its runtime id
  /pkg/<name>                       the packages, whole or by byte range
  /app_runtime.php?...              statistics reports: answered, and logged
  /setup/zofti_appenv.exe           the companion client's installer
  /torrent/<name>.torrent           a torrent server that never answers

Every request is appended to the log as one line: the request line, the
status and the Range header ("-" when none). With --stall the statistics
reports and the companion installer are read, logged with the status
"stalled" and never answered. The address answer for an id named by
--stalled-torrent is a BitTorrent one whose torrent is never answered either.
"""

import argparse
import hashlib
import http.server
import os
import re
import sys
import threading
import time
import urllib.parse

HOST_NAME = "127.0.0.1"


class Throttle:
    """One byte budget shared by every connection, so that parallel ranges
    together stay at the rate."""

    def __init__(self, rate):
        self.rate = rate
        self.lock = threading.Lock()
        self.next = time.monotonic()

    def chunk(self):
        return max(1024, min(65536, self.rate // 20)) if self.rate else 1 << 20

    def take(self, count):
        if not self.rate:
            return
        with self.lock:
            start = max(self.next, time.monotonic())
            self.next = start + count / self.rate
            until = self.next
        delay = until - time.monotonic()
        if delay > 0:
            time.sleep(delay)


class Catalogue:
    """The served packages by runtime id, with their sizes and digests."""

    def __init__(self, folder):
        self.packages = {}
        for name in sorted(os.listdir(folder)):
            match = re.fullmatch(r"(\d{5})\.(exe|vlz)", name)
            if not match:
                continue
            path = os.path.join(folder, name)
            with open(path, "rb") as file:
                digest = hashlib.md5()
                for block in iter(lambda: file.read(1 << 20), b""):
                    digest.update(block)
            self.packages[int(match.group(1))] = (name, os.path.getsize(path), digest.hexdigest())

    def answer(self, runtime_id, host, torrent=False):
        name, size, md5 = self.packages[runtime_id]
        # A torrent's answer gives the torrent's size and digest; this torrent
        # never comes, so the package's stand in for them.
        kind = f"<DownloadType>2</DownloadType><TorrentUrl>http://{host}/torrent/{name}.torrent</TorrentUrl>" \
            if torrent else "<DownloadType>1</DownloadType>"
        return ('<?xml version="1.0" encoding="gb2312"?>\r\n<FILE>' + kind +
                f"<DownloadUrl>http://{host}/pkg/{name}</DownloadUrl><SpareUrl></SpareUrl>"
                f"<Md5>{md5}</Md5><FileSize>{size}</FileSize><FileName>rt_{name}</FileName>"
                "<UpdateType>1</UpdateType><InvalidVersion>0</InvalidVersion></FILE>\r\n").encode("ascii")


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "standin"

    def log_message(self, format, *args):
        pass

    def record(self, status):
        line = f"{self.requestline} {status} {self.headers.get('Range', '-')}\n"
        with self.server.log_lock:
            self.server.log.write(line)
            self.server.log.flush()

    def reply(self, status, body=b"", content_type="text/plain"):
        self.record(status)
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def do_HEAD(self):
        self.do_GET()

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        query = urllib.parse.parse_qs(url.query)
        try:
            if url.path.startswith("/torrent/") or (
                    self.server.stall and url.path in ("/app_runtime.php", "/setup/zofti_appenv.exe")):
                self.record("stalled")
                # Holds the connection open for as long as the stand-in runs.
                threading.Event().wait()
            elif url.path == "/query_url.php":
                self.query(query)
            elif url.path == "/app_runtime.php":
                self.reply(200, b"ok")
            elif url.path.startswith("/pkg/"):
                name = os.path.basename(url.path)
                slow = not self.server.slow or name.split(".")[0] in self.server.slow
                self.send_file(os.path.join(self.server.root, "pkg", name), slow)
            elif url.path == "/setup/zofti_appenv.exe":
                self.send_file(os.path.join(self.server.root, "setup", "zofti_appenv.exe"), False)
            else:
                self.reply(404)
        except (BrokenPipeError, ConnectionResetError):
            # The downloader's size probe reads the head and hangs up.
            self.close_connection = True

    def query(self, query):
        try:
            runtime_id = int(query.get("id", [""])[0], 10)
        except ValueError:
            runtime_id = -1
        if runtime_id in self.server.refused or runtime_id not in self.server.catalogue.packages:
            self.reply(404)
            return
        host = self.headers.get("Host", HOST_NAME)
        answer = self.server.catalogue.answer(runtime_id, host, runtime_id in self.server.stalled_torrents)
        self.reply(200, answer, "text/xml")

    def send_file(self, path, throttled):
        if not os.path.isfile(path):
            self.reply(404)
            return
        size = os.path.getsize(path)
        first, last = 0, size - 1
        status = 200
        ranged = re.fullmatch(r"bytes=(\d*)-(\d*)", self.headers.get("Range", ""))
        if ranged and size:
            if ranged.group(1):
                first = int(ranged.group(1))
                last = min(int(ranged.group(2)), last) if ranged.group(2) else last
            elif ranged.group(2):
                first = max(0, size - int(ranged.group(2)))
            if first > last:
                self.reply(416)
                return
            status = 206
        self.record(status)
        self.send_response(status)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(last - first + 1))
        self.send_header("Accept-Ranges", "bytes")
        if status == 206:
            self.send_header("Content-Range", f"bytes {first}-{last}/{size}")
        self.end_headers()
        if self.command == "HEAD":
            return
        throttle = self.server.throttle if throttled else Throttle(0)
        with open(path, "rb") as file:
            offset, left = first, last - first + 1
            while left > 0:
                count = min(left, throttle.chunk())
                throttle.take(count)
                sent = self.connection.sendfile(file, offset, count)
                if not sent:
                    raise BrokenPipeError
                offset += sent
                left -= sent


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--root", required=True, help="folder holding pkg/<id>.exe|vlz and setup/zofti_appenv.exe")
    parser.add_argument("--log", required=True, help="file the request lines are appended to")
    parser.add_argument("--port", type=int, default=80)
    parser.add_argument("--refuse", default="", help="runtime ids whose address query is answered 404, comma-separated")
    parser.add_argument("--rate", type=int, default=0,
                        help="package bytes per second over all connections (0: no limit)")
    parser.add_argument("--slow", default="", help="runtime ids whose packages alone --rate throttles, comma-separated")
    parser.add_argument("--stall", action="store_true",
                        help="never answer the statistics reports and the companion installer")
    parser.add_argument("--stalled-torrent", default="",
                        help="runtime ids answered as BitTorrent downloads whose torrent never comes, comma-separated")
    parser.add_argument("--ready", help="file written once the port is open")
    args = parser.parse_args()

    server = http.server.ThreadingHTTPServer((HOST_NAME, args.port), Handler)
    server.daemon_threads = True
    server.root = args.root
    server.catalogue = Catalogue(os.path.join(args.root, "pkg"))
    server.refused = {int(each) for each in args.refuse.split(",") if each.strip()}
    server.stalled_torrents = {int(each) for each in args.stalled_torrent.split(",") if each.strip()}
    server.slow = {each.strip() for each in args.slow.split(",") if each.strip()}
    server.throttle = Throttle(args.rate)
    server.stall = args.stall
    server.log = open(args.log, "a", encoding="utf-8")
    server.log_lock = threading.Lock()
    if args.ready:
        with open(args.ready, "w") as ready:
            ready.write(f"{os.getpid()}\n")
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
