#!/usr/bin/env python3
"""gen_corpus.py OUTDIR N [SEED] - N deterministic messages of 5 to 50 KB as OUTDIR/000001.eml...,
dated one minute apart from 2024-01-01 (the file's mtime is that date, which seeding turns into
INTERNALDATE); every fifth message is multipart with a base64 attachment."""
import base64
import datetime
import email.utils
import os
import random
import sys

out, count = sys.argv[1], int(sys.argv[2])
rnd = random.Random(int(sys.argv[3]) if len(sys.argv) > 3 else 42)
os.makedirs(out, exist_ok=True)
WORDS = ("lorem ipsum dolor sit amet consectetur adipiscing elit sed do eiusmod tempor incididunt "
         "ut labore et dolore magna aliqua mail client test message body").split()
START = datetime.datetime(2024, 1, 1, tzinfo=datetime.timezone.utc)


def prose(size):
    lines, total = [], 0
    while total < size:
        line = " ".join(rnd.choice(WORDS) for _ in range(11))[:76]
        lines.append(line)
        total += len(line) + 1
    return "\n".join(lines) + "\n"


for i in range(1, count + 1):
    size = rnd.randint(5 * 1024, 50 * 1024)
    when = START + datetime.timedelta(minutes=i)
    head = (f"From: Sender {i % 17} <sender{i % 17}@example.test>\n"
            f"To: Alice <alice@example.test>\n"
            f"Subject: Test message {i}\n"
            f"Date: {email.utils.format_datetime(when)}\n"
            f"Message-ID: <seed-{i}@example.test>\n"
            f"MIME-Version: 1.0\n")
    if i % 5 == 0:
        blob = base64.encodebytes(rnd.randbytes(int(size * 0.6))).decode()
        body = (f"Content-Type: multipart/mixed; boundary=\"b{i}\"\n\n"
                f"--b{i}\nContent-Type: text/plain; charset=us-ascii\n\n{prose(size // 4)}\n"
                f"--b{i}\nContent-Type: application/octet-stream\n"
                f"Content-Disposition: attachment; filename=\"file{i}.bin\"\n"
                f"Content-Transfer-Encoding: base64\n\n{blob}\n--b{i}--\n")
    else:
        body = "Content-Type: text/plain; charset=us-ascii\n\n" + prose(size - len(head) - 50)
    path = os.path.join(out, f"{i:06d}.eml")
    with open(path, "w") as f:
        f.write(head + body)
    stamp = when.timestamp()
    os.utime(path, (stamp, stamp))
