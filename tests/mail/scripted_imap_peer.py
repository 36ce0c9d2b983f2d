#!/usr/bin/env python3
"""scripted_imap_peer.py CERT KEY SCENARIO LOG - an IMAP server over implicit TLS on 127.0.0.1 that
misbehaves on purpose, for what a real server will not do. Prints its port on the first line of
standard output, serves one connection, appends every command line it receives to LOG.
Scenarios: stall (goes silent in the middle of the SELECT response), drop-literal (closes the
connection in the middle of a FETCH literal), malformed (answers SELECT with broken data),
huge-literal (announces a 10 GB literal), no-move (a server without MOVE and UIDPLUS)."""
import socket
import ssl
import sys
import time

cert, key, scenario, log_path = sys.argv[1:5]
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(cert, key)
listener = socket.socket()
listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
listener.bind(("127.0.0.1", 0))
listener.listen(1)
print(listener.getsockname()[1], flush=True)
listener.settimeout(30)
raw, _ = listener.accept()
conn = context.wrap_socket(raw, server_side=True)
reader = conn.makefile("rb")


def linger():
    """Stays silent until the client gives up and closes (or 30 s pass)."""
    conn.settimeout(30)
    try:
        while conn.recv(4096):
            pass
    except OSError:
        pass


def send(text):
    conn.sendall(text.encode() if isinstance(text, str) else text)


send("* OK [CAPABILITY IMAP4rev1 AUTH=PLAIN] scripted peer ready\r\n")
with open(log_path, "a") as log:
    while True:
        line = reader.readline()
        if not line:
            break
        text = line.decode(errors="replace").rstrip("\r\n")
        log.write(text + "\n")
        log.flush()
        tag, _, rest = text.partition(" ")
        verb = rest.upper()
        if verb.startswith("LOGIN"):
            send(f"{tag} OK [CAPABILITY IMAP4rev1] Logged in\r\n")
        elif verb.startswith("SELECT"):
            if scenario == "stall":
                send("* 3 EXISTS\r\n* OK [UIDVALIDITY 1")
                linger()
                break
            if scenario == "malformed":
                send("* 1 FETCH (UID x)\r\n")
                continue
            send(f"* 3 EXISTS\r\n{tag} OK [READ-WRITE] Select completed\r\n")
        elif verb.startswith("UID SEARCH"):
            send(f"* SEARCH 1 2 3\r\n{tag} OK Search completed\r\n")
        elif verb.startswith("UID FETCH"):
            if scenario == "drop-literal":
                send("* 1 FETCH (UID 3 BODY[] {5000}\r\nFrom: a@b\r\nSubject: cut")
                time.sleep(0.2)
                break
            if scenario == "huge-literal":
                send("* 1 FETCH (UID 3 BODY[] {10000000000}\r\n")
                linger()
                break
            send(f"{tag} OK Fetch completed\r\n")
        elif verb.startswith("UID STORE"):
            send(f"{tag} OK Store completed\r\n")
        elif verb.startswith("UID MOVE") or verb.startswith("UID EXPUNGE"):
            send(f"{tag} BAD Error in IMAP command UID: Unknown command\r\n")
        elif verb.startswith("LOGOUT"):
            send(f"* BYE Logging out\r\n{tag} OK Logout completed\r\n")
            break
        else:
            send(f"{tag} BAD Unknown command\r\n")
try:
    conn.close()
except OSError:
    pass
