#!/usr/bin/python3
"""Postfix's smtpd on loopback with every extension it offers by default
(PIPELINING, SIZE, DSN, 8BITMIME, CHUNKING, SMTPUTF8), for the ESMTP checks
and the benchmarks. Its services, each on its own port:
  esmtp         refuses the recipient refused@example.test (an access map)
                and relays the rest to a store server in this process that
                writes what arrives to <store>/NNNN.eml (see store_smtpd.py)
  small         the same with message_size_limit SMALL_LIMIT
  nopipelining  the same without PIPELINING
  discard       takes anything up to 64 MiB and throws it away
Postfix's own log is <log>; a client that sends ahead where it may not is
noted there as "improper command pipelining".

Prints "READY esmtp=PORT small=PORT nopipelining=PORT discard=PORT
store=FOLDER log=FILE" once all listen (also into --ready-file when given);
stops on SIGTERM, SIGINT or after --lifetime seconds. Must run as root.
"""
import argparse
import os
import shutil
import signal
import sys
import tempfile
import threading

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from postfix_instance import (DAEMONS, free_port, listening, main_cf, make_folders,  # noqa: E402
                              start_master, stop, wait_for, write)
from store_smtpd import LenientController, StoreHandler  # noqa: E402

REFUSED = "refused@example.test"
SMALL_LIMIT = 8192
SERVICES = ("esmtp", "small", "nopipelining", "discard")


def postfix_config(folder, conf, ports, store_port):
    refused = os.path.join(conf, "refused")
    write(refused, "%s REJECT no such user here\n" % REFUSED)
    write(os.path.join(conf, "main.cf"), main_cf(folder, conf, store_port, f"""\
message_size_limit = 67108864
smtpd_relay_restrictions = permit_mynetworks, reject
smtpd_recipient_restrictions = check_recipient_access texthash:{refused}, permit_mynetworks, reject
"""))
    write(os.path.join(conf, "master.cf"), f"""\
127.0.0.1:{ports["esmtp"]} inet n - n - - smtpd
127.0.0.1:{ports["small"]} inet n - n - - smtpd
  -o message_size_limit={SMALL_LIMIT}
127.0.0.1:{ports["nopipelining"]} inet n - n - - smtpd
  -o smtpd_discard_ehlo_keywords=pipelining
127.0.0.1:{ports["discard"]} inet n - n - - smtpd
  -o content_filter=discard:
""" + DAEMONS)


def run(folder, lifetime, ready_file):
    conf = make_folders(folder)
    store = os.path.join(folder, "store")
    os.makedirs(store, mode=0o755)
    ports = {name: free_port() for name in SERVICES}
    store_port = free_port()
    postfix_config(folder, conf, ports, store_port)
    relay_store = LenientController(StoreHandler(store), hostname="127.0.0.1", port=store_port)
    relay_store.start()
    done = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: done.set())
    signal.signal(signal.SIGINT, lambda *_: done.set())
    processes = []
    try:
        processes.append(start_master(conf))
        log = os.path.join(folder, "postfix.log")
        if not wait_for(lambda: all(listening(p) for p in ports.values()), 20):
            print("FAILED to start", flush=True)
            if os.path.exists(log):
                print(open(log).read(), flush=True)
            return 1
        line = "READY %s store=%s log=%s" % (
            " ".join("%s=%d" % kv for kv in ports.items()), store, log)
        print(line, flush=True)
        if ready_file:
            write(ready_file, line + "\n")
        done.wait(lifetime)
    finally:
        stop(processes)
        relay_store.stop()
    return 0


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--lifetime", type=float, default=600)
    ap.add_argument("--ready-file")
    args = ap.parse_args()
    folder = tempfile.mkdtemp(prefix="qp_esmtp_postfix.")
    try:
        return run(folder, args.lifetime, args.ready_file)
    finally:
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
