#!/usr/bin/env python3
"""imap_probe.py PORT CAFILE USER PASS MAILBOX - a second, independent IMAP session (python's
imaplib over implicit TLS to 127.0.0.1) that prints one JSON line per message of MAILBOX:
{"uid": N, "flags": [...], "message_id": "..."}. Never changes the mailbox (EXAMINE, BODY.PEEK)."""
import email.parser
import imaplib
import json
import re
import ssl
import sys

port, ca, user, password, mailbox = sys.argv[1:6]
session = imaplib.IMAP4_SSL("127.0.0.1", int(port), ssl_context=ssl.create_default_context(cafile=ca))
session.login(user, password)
status, _ = session.select('"' + mailbox + '"', readonly=True)
if status != "OK":
    sys.exit(f"cannot examine {mailbox}")
status, data = session.uid("FETCH", "1:*", "(UID FLAGS BODY.PEEK[HEADER.FIELDS (MESSAGE-ID)])")
for item in data:
    if not isinstance(item, tuple):
        continue
    meta = item[0].decode()
    uid = int(re.search(r"UID (\d+)", meta).group(1))
    flags = re.search(r"FLAGS \(([^)]*)\)", meta).group(1).split()
    header = email.parser.BytesHeaderParser().parsebytes(item[1])
    print(json.dumps({"uid": uid, "flags": sorted(flags), "message_id": (header["Message-ID"] or "").strip()}))
session.logout()
