#!/usr/bin/env python3
"""A BitTorrent tracker on 127.0.0.1 that names one peer to every announce.

Usage: tracker.py <port> <peer port>
"""
import http.server
import socket
import struct
import sys


def main():
    port, peer = int(sys.argv[1]), int(sys.argv[2])
    body = b"d8:intervali30e5:peers6:" + socket.inet_aton("127.0.0.1") + struct.pack(">H", peer) + b"e"

    class Announce(http.server.BaseHTTPRequestHandler):
        def do_GET(self):
            self.send_response(200)
            self.send_header("Content-Type", "text/plain")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

        def log_message(self, *args):
            pass

    http.server.HTTPServer(("127.0.0.1", port), Announce).serve_forever()


if __name__ == "__main__":
    main()
