#!/usr/bin/env python3
"""seed_maildir.py MAILDIR SOURCE_DIR [FLAGS] - files every message of SOURCE_DIR (sorted by name)
into MAILDIR/cur, so Dovecot gives them UIDs in that order; INTERNALDATE is the source file's mtime.
FLAGS are Maildir letters for every message ("S" seen, "F" flagged, "T" deleted). As root the
files are given to the "mail" user. Seed only while no IMAP session has the mailbox open."""
import os
import pwd
import shutil
import socket
import sys
import time

maildir, source = sys.argv[1], sys.argv[2]
flags = "".join(sorted(sys.argv[3])) if len(sys.argv) > 3 else ""
owner = pwd.getpwnam("mail") if os.geteuid() == 0 else None


def give(path):
    if owner:
        os.chown(path, owner.pw_uid, owner.pw_gid)


for sub in ("", "cur", "new", "tmp"):
    os.makedirs(os.path.join(maildir, sub), mode=0o700, exist_ok=True)
    give(os.path.join(maildir, sub))
# Every directory between the environment's mail root and this Maildir must be the mail user's
# too (BASE/mail/<domain>/<user>/Maildir[/.Folder]).
above = os.path.dirname(os.path.abspath(maildir))
while owner and not os.path.isdir(os.path.join(os.path.dirname(above), "certs")) and above != "/":
    give(above)
    above = os.path.dirname(above)

host = socket.gethostname().replace("/", "_").replace(":", "_")
now, pid = int(time.time()), os.getpid()
for n, name in enumerate(sorted(os.listdir(source))):
    src = os.path.join(source, name)
    info = os.stat(src)
    unique = f"{now}.M{n:06d}P{pid}.{host},S={info.st_size}:2,{flags}"
    tmp, cur = os.path.join(maildir, "tmp", unique), os.path.join(maildir, "cur", unique)
    shutil.copyfile(src, tmp)
    os.utime(tmp, (info.st_atime, info.st_mtime))
    give(tmp)
    os.rename(tmp, cur)
