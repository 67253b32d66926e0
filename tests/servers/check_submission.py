#!/usr/bin/python3
"""Checks submission_server.py with Python's smtplib, a client no one here wrote.

Arguments: the server's READY text ("submission=PORT implicit=PORT
store=FOLDER") and the test CA's file. Exits 0 when STARTTLS + AUTH LOGIN on
the submission port and AUTH PLAIN with the UTF-8 password over implicit TLS
both deliver, a wrong password gets 535, mail before AUTH is refused, and
both messages reach the store.
"""
import base64
import os
import smtplib
import ssl
import sys
import time

from submission_server import USERS

fields = dict(kv.split("=", 1) for kv in sys.argv[1].split())
submission, implicit, store = int(fields["submission"]), int(fields["implicit"]), fields["store"]
context = ssl.create_default_context(cafile=sys.argv[2])
token = "%d.%d" % (os.getpid(), time.time_ns())

with smtplib.SMTP("127.0.0.1", submission, timeout=20) as s:
    s.ehlo()
    assert not s.has_extn("auth"), "AUTH offered before STARTTLS"
    s.starttls(context=context)
    s.ehlo()
    code, _ = s.docmd("MAIL FROM:<a@example.test>")
    code, _ = s.docmd("RCPT TO:<b@example.test>")
    assert code == 554, "relayed without AUTH: %d" % code
    s.rset()
    s.login("qpuser", USERS["qpuser"])
    s.sendmail("a@example.test", ["b@example.test"], "Subject: submission %s\r\n\r\nhi\r\n" % token)

with smtplib.SMTP_SSL("127.0.0.1", implicit, timeout=20, context=context) as s:
    s.ehlo()
    code, _ = s.docmd("AUTH", "PLAIN " + base64.b64encode(b"\0qpuser\0wrong").decode())
    assert code == 535, "wrong password: %d" % code
    # smtplib encodes credentials as ASCII only: the UTF-8 one goes by hand.
    plain = b"\0qputf8\0" + USERS["qputf8"].encode("utf-8")
    code, _ = s.docmd("AUTH", "PLAIN " + base64.b64encode(plain).decode())
    assert code == 235, "UTF-8 password: %d" % code
    s.sendmail("a@example.test", ["b@example.test"], "Subject: implicit %s\r\n\r\nhi\r\n" % token)

wanted = {"submission " + token, "implicit " + token}
for _ in range(100):
    arrived = set()
    for name in os.listdir(store):
        if name.endswith(".eml"):
            text = open(os.path.join(store, name), "rb").read().decode("utf-8", "replace")
            arrived |= {w for w in wanted if "Subject: " + w in text}
    if arrived == wanted:
        sys.exit(0)
    time.sleep(0.1)
sys.exit("not relayed to the store: %s" % sorted(wanted - arrived))
