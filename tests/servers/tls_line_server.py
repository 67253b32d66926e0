#!/usr/bin/python3
"""TLS peers on loopback for the socket tests, built on Python's ssl module.

Each listener answers every line it receives with the same line. Listeners:
  good      TLS from the first byte, certificate for 127.0.0.1 and localhost
  wronghost TLS from the first byte, certificate for wrong.example only
  expired   TLS from the first byte, certificate that expired in the past
  cnonly    TLS from the first byte, certificate naming localhost in its CN
            only (no subjectAltName)
  plain     no TLS: greets with "220 plain.example ESMTP" like a plain SMTP server
  silent    reads and never answers
  inject    greets in plain text, then sends "220 ready" together with an
            injected "250 injected" line and starts TLS (good certificate)
  smtpinject  an SMTP server offering STARTTLS that sends injected lines
            with its "220" to it; over TLS it takes one message
Prints "READY name=port ..." once all listen; stops after --lifetime seconds.
"""
import argparse
import os
import socket
import ssl
import sys
import threading
import time


def echo_lines(conn):
    buffer = b""
    while True:
        data = conn.recv(65536)
        if not data:
            return
        buffer += data
        lines = buffer.split(b"\r\n")
        buffer = lines.pop()
        if lines:
            conn.sendall(b"".join(line + b"\r\n" for line in lines))


def read_line(conn):
    line = b""
    while not line.endswith(b"\r\n"):
        byte = conn.recv(1)
        if not byte:
            raise OSError("closed")
        line += byte
    return line


def serve_smtp_inject(conn, ctx):
    conn.sendall(b"220 smtpinject.example ESMTP\r\n")
    read_line(conn)  # EHLO
    conn.sendall(b"250-smtpinject.example\r\n250 STARTTLS\r\n")
    read_line(conn)  # STARTTLS
    conn.sendall(b"220 ready\r\n250-injected\r\n250 AUTH PLAIN\r\n")
    with ctx.wrap_socket(conn, server_side=True) as tls:
        while True:
            word = read_line(tls)[:4].upper()
            if word == b"DATA":
                tls.sendall(b"354 go ahead\r\n")
                text = b""
                while not text.endswith(b"\r\n.\r\n"):
                    text += read_line(tls)
                tls.sendall(b"250 stored\r\n")
            elif word == b"QUIT":
                tls.sendall(b"221 bye\r\n")
                return
            else:
                tls.sendall(b"250 ok\r\n")


def tls_context(folder, name):
    ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    ctx.minimum_version = ssl.TLSVersion.TLSv1_2
    ctx.load_cert_chain(os.path.join(folder, name + ".pem"), os.path.join(folder, name + ".key"))
    return ctx


def serve(kind, folder, conn):
    try:
        conn.settimeout(30)
        if kind == "silent":
            while conn.recv(4096):
                pass
            return
        if kind == "plain":
            conn.sendall(b"220 plain.example ESMTP\r\n")
            echo_lines(conn)
            return
        ctx = tls_context(folder, kind if kind in ("wronghost", "expired", "cnonly") else "good")
        if kind == "smtpinject":
            serve_smtp_inject(conn, ctx)
            return
        if kind == "inject":
            conn.sendall(b"220 inject.example ESMTP\r\n")
            # What the client sends first (its STARTTLS line) is not checked.
            conn.recv(1024)
            conn.sendall(b"220 ready\r\n250 injected\r\n")
        with ctx.wrap_socket(conn, server_side=True) as tls:
            echo_lines(tls)
    except (OSError, ssl.SSLError):
        pass
    finally:
        conn.close()


def listen(kind, folder, sock):
    while True:
        conn, _ = sock.accept()
        threading.Thread(target=serve, args=(kind, folder, conn), daemon=True).start()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--certs", required=True)
    ap.add_argument("--lifetime", type=float, default=600)
    args = ap.parse_args()
    ready = []
    for kind in ("good", "wronghost", "expired", "cnonly", "plain", "silent", "inject",
                 "smtpinject"):
        sock = socket.socket()
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        sock.bind(("127.0.0.1", 0))
        sock.listen(16)
        threading.Thread(target=listen, args=(kind, args.certs, sock), daemon=True).start()
        ready.append("%s=%d" % (kind, sock.getsockname()[1]))
    print("READY " + " ".join(ready), flush=True)
    time.sleep(args.lifetime)


if __name__ == "__main__":
    sys.exit(main())
