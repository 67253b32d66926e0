#!/usr/bin/python3
"""A real SMTP server on loopback for the end-to-end tests and the demo.

Stores every message it accepts as NNNN.eml (the message after DATA with the
period stuffing removed, CR LF line ends kept) and NNNN.env (MAIL FROM and RCPT TO, one per line) in the
given folder. Prints "READY <port>" on standard output once it listens.
Stops by itself after --lifetime seconds so a forgotten server never lingers.
--refuse ADDRESS (repeatable) answers RCPT TO for that address with a 550,
as a server does for a mailbox it does not know.

With --certs (the folder of tests/servers/make_test_certs.sh) it runs instead
the submission servers, storing into the same folder, and prints
"READY name=port ...":
  starttls  STARTTLS required (530 before it), AUTH PLAIN, LOGIN and XOAUTH2
            over TLS only
  implicit  TLS from the first byte, AUTH PLAIN and LOGIN
  utf8      plain, offers SMTPUTF8
The one account is USER with PASSWORD (not ASCII) or the token TOKEN.
"""
import argparse
import asyncio
import base64
import os
import ssl
import signal
import sys
import threading

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import SMTP, AuthResult

USER = b"user"
PASSWORD = "p\u00e4ssw\u00f6rd".encode("utf-8")
TOKEN = b"token-ok"


class StoreHandler:
    def __init__(self, folder, refused=()):
        self.folder = folder
        self.refused = {a.lower() for a in refused}
        self.count = 0
        self.lock = threading.Lock()

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address.lower() in self.refused:
            return "550 5.1.1 <%s>: Recipient address rejected: User unknown" % address
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        with self.lock:
            self.count += 1
            n = self.count
        base = os.path.join(self.folder, "%04d" % n)
        def raw(data):
            return data if isinstance(data, bytes) else (data or "").encode("latin-1")
        with open(base + ".eml.tmp", "wb") as f:
            f.write(raw(envelope.original_content or envelope.content))
        with open(base + ".env", "w") as f:
            f.write("MAIL FROM:%s\n" % envelope.mail_from)
            for r in envelope.rcpt_tos:
                f.write("RCPT TO:%s\n" % r)
        # Renamed last, so a reader never sees a half-written message.
        os.rename(base + ".eml.tmp", base + ".eml")
        return "250 OK stored as %04d" % n


class SecureHandler(StoreHandler):
    async def auth_XOAUTH2(self, server, args):
        fields = base64.b64decode(args[1]).split(b"\x01") if len(args) > 1 else []
        if b"user=" + USER in fields and b"auth=Bearer " + TOKEN in fields:
            return AuthResult(success=True, auth_data=USER)
        # RFC 7628: the failure details come as a challenge; the 535 follows
        # the client's empty answer.
        await server.challenge_auth('{"status":"401"}')
        return AuthResult(success=False, handled=False)


def authenticator(server, session, envelope, mechanism, auth_data):
    ok = auth_data.login == USER and auth_data.password == PASSWORD
    # Not handled: aiosmtpd then answers the failure with its 535.
    return AuthResult(success=ok, handled=False)


class SubmissionController(Controller):
    def __init__(self, handler, port, **smtp_options):
        self.smtp_options = smtp_options
        super().__init__(handler, hostname="127.0.0.1", port=port,
                         ssl_context=smtp_options.pop("implicit_tls", None))

    def factory(self):
        return SMTP(self.handler, decode_data=False, hostname="qp-submission",
                    authenticator=authenticator, **self.smtp_options)


def free_port():
    import socket
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def submission_servers(folder, certs):
    ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    ctx.minimum_version = ssl.TLSVersion.TLSv1_2
    ctx.load_cert_chain(os.path.join(certs, "good.pem"), os.path.join(certs, "good.key"))
    handler = SecureHandler(folder)
    options = {
        "starttls": dict(tls_context=ctx, require_starttls=True),
        "implicit": dict(implicit_tls=ctx, auth_require_tls=False),
        "utf8": dict(enable_SMTPUTF8=True),
    }
    return {name: SubmissionController(handler, free_port(), **o) for name, o in options.items()}


class LenientController(Controller):
    def factory(self):
        # Eight-bit bodies and long lines as a plain RFC 821 client sends them.
        return SMTP(self.handler, decode_data=False, enable_SMTPUTF8=False,
                    data_size_limit=64 * 1024 * 1024, hostname="qp-test-server")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--folder", required=True)
    ap.add_argument("--port", type=int, default=0)
    ap.add_argument("--lifetime", type=float, default=600)
    ap.add_argument("--certs")
    ap.add_argument("--refuse", action="append", default=[], metavar="ADDRESS")
    args = ap.parse_args()
    os.makedirs(args.folder, exist_ok=True)
    if args.certs:
        servers = submission_servers(args.folder, args.certs)
        for ctl in servers.values():
            ctl.start()
        print("READY " + " ".join("%s=%d" % (n, c.port) for n, c in servers.items()), flush=True)
        wait(args.lifetime)
        for ctl in servers.values():
            ctl.stop()
        return 0
    port = args.port
    if port == 0:
        import socket
        s = socket.socket()
        s.bind(("127.0.0.1", 0))
        port = s.getsockname()[1]
        s.close()
    ctl = LenientController(StoreHandler(args.folder, args.refuse), hostname="127.0.0.1", port=port)
    ctl.start()
    print("READY %d" % port, flush=True)
    wait(args.lifetime)
    ctl.stop()
    return 0


def wait(lifetime):
    done = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: done.set())
    signal.signal(signal.SIGINT, lambda *_: done.set())
    done.wait(lifetime)


if __name__ == "__main__":
    sys.exit(main())
