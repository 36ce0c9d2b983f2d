#!/usr/bin/env python3
"""oauth_introspect.py PORT TOKENS_FILE - the token introspection endpoint Dovecot asks about
bearer tokens, on 127.0.0.1. TOKENS_FILE holds "<token> <username>" lines and is read afresh on
every request, so tests may add or revoke tokens while it runs. Answers
{"active": true, "username": ...} for a known token and {"active": false} otherwise."""
import json
import sys
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

PORT, TOKENS = int(sys.argv[1]), sys.argv[2]


def owner_of(token):
    with open(TOKENS) as f:
        for line in f:
            fields = line.split()
            if len(fields) == 2 and fields[0] == token:
                return fields[1]
    return None


class Introspect(BaseHTTPRequestHandler):
    def reply(self, token):
        user = owner_of(token) if token else None
        answer = {"active": True, "username": user, "email": user} if user else {"active": False}
        body = json.dumps(answer).encode()
        self.send_response(200)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_POST(self):
        length = int(self.headers.get("Content-Length") or 0)
        form = urllib.parse.parse_qs(self.rfile.read(length).decode())
        self.reply((form.get("token") or [None])[0])

    def do_GET(self):
        query = urllib.parse.parse_qs(urllib.parse.urlsplit(self.path).query)
        token = (query.get("token") or [None])[0]
        bearer = self.headers.get("Authorization", "")
        if not token and bearer.startswith("Bearer "):
            token = bearer[len("Bearer "):]
        self.reply(token)

    def log_message(self, fmt, *args):
        sys.stderr.write("introspect: " + fmt % args + "\n")


ThreadingHTTPServer(("127.0.0.1", PORT), Introspect).serve_forever()
