#!/usr/bin/env python3
"""token_endpoint.py ANSWER_JSON LOG - an OAuth token endpoint on 127.0.0.1 for one request:
prints its port, answers the first POST with ANSWER_JSON, appends the form it received to LOG
as one JSON object, and exits."""
import json
import sys
import urllib.parse
from http.server import BaseHTTPRequestHandler, HTTPServer

answer, log_path = sys.argv[1].encode(), sys.argv[2]


class Token(BaseHTTPRequestHandler):
    def do_POST(self):
        length = int(self.headers.get("Content-Length") or 0)
        form = urllib.parse.parse_qsl(self.rfile.read(length).decode())
        with open(log_path, "a") as log:
            log.write(json.dumps({"path": self.path, "form": form}) + "\n")
        self.send_response(200)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(answer)))
        self.end_headers()
        self.wfile.write(answer)

    def log_message(self, fmt, *args):
        pass


server = HTTPServer(("127.0.0.1", 0), Token)
print(server.server_address[1], flush=True)
server.timeout = 30
server.handle_request()
