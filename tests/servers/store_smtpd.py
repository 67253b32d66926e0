#!/usr/bin/python3
"""A real SMTP server on loopback for the end-to-end tests and the demo.

Stores every message it accepts as NNNN.eml (the message after DATA with the
period stuffing removed, CR LF line ends kept) and NNNN.env (MAIL FROM and RCPT TO, one per line) in the
given folder. Prints "READY <port>" on standard output once it listens.
Stops by itself after --lifetime seconds so a forgotten server never lingers.
"""
import argparse
import asyncio
import os
import signal
import sys
import threading

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import SMTP


class StoreHandler:
    def __init__(self, folder):
        self.folder = folder
        self.count = 0
        self.lock = threading.Lock()

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
    args = ap.parse_args()
    os.makedirs(args.folder, exist_ok=True)
    port = args.port
    if port == 0:
        import socket
        s = socket.socket()
        s.bind(("127.0.0.1", 0))
        port = s.getsockname()[1]
        s.close()
    ctl = LenientController(StoreHandler(args.folder), hostname="127.0.0.1", port=port)
    ctl.start()
    print("READY %d" % port, flush=True)
    done = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: done.set())
    signal.signal(signal.SIGINT, lambda *_: done.set())
    done.wait(args.lifetime)
    ctl.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
