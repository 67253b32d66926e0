#!/usr/bin/python3
"""Postfix's smtpd with Dovecot's SASL on loopback, as a provider runs them.

Everything lives in a private folder that it makes under /tmp (the daemons'
users must reach it, so not below a caller's private temp folder) and removes
when it stops: Dovecot for authentication only, with its own configuration and a
passwd-file; Postfix with its own config, queue and data directories. Ports:
  submission  STARTTLS required, then AUTH PLAIN or LOGIN
  implicit    TLS from the first byte, then AUTH PLAIN or LOGIN
Mail is relayed only for authenticated clients, to a store server in this
process that writes what arrives to <folder>/store as NNNN.eml (see
store_smtpd.py). Users: "qpuser" with password "qp-secret" and "qputf8" with
a UTF-8 password "pässwörd-€" (byte for byte, no normalisation).
Certificates: good.pem/good.key from --certs (make_test_certs.sh).

Prints "READY submission=PORT implicit=PORT store=FOLDER" once both listen;
stops Postfix and Dovecot on SIGTERM, SIGINT or after --lifetime seconds.
Must run as root, like the mail system it starts.
"""
import argparse
import grp
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import threading

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from postfix_instance import (DAEMONS, free_port, listening, main_cf, make_folders,  # noqa: E402
                              start_master, stop, wait_for, write)
from store_smtpd import LenientController, StoreHandler  # noqa: E402

USERS = {"qpuser": "qp-secret", "qputf8": "pässwörd-€"}


def dovecot_config(folder, socket_path):
    users = os.path.join(folder, "users")
    write(users, "".join("%s:{PLAIN}%s\n" % kv for kv in USERS.items()), 0o640)
    os.chown(users, 0, grp.getgrnam("dovecot").gr_gid)
    write(os.path.join(folder, "dovecot.conf"), f"""\
protocols =
base_dir = {folder}/run
state_dir = {folder}/state
log_path = {folder}/dovecot.log
ssl = no
auth_mechanisms = plain login
# A wrong password is a test case here, not an attack to slow down: no
# delay and no growing penalty for the loopback address.
auth_failure_delay = 0
service anvil {{
  unix_listener anvil-auth-penalty {{
    mode = 0
  }}
}}
passdb {{
  driver = passwd-file
  args = scheme=PLAIN {users}
}}
userdb {{
  driver = static
  args = uid=nobody gid=nogroup home=/nonexistent
}}
service auth {{
  unix_listener {socket_path} {{
    mode = 0660
    user = postfix
    group = postfix
  }}
}}
""")


def postfix_config(folder, conf, certs, submission, implicit, store_port, auth_socket):
    write(os.path.join(conf, "main.cf"), main_cf(folder, conf, store_port, f"""\
message_size_limit = 67108864
smtpd_tls_cert_file = {certs}/good.pem
smtpd_tls_key_file = {certs}/good.key
smtpd_tls_auth_only = yes
smtpd_sasl_auth_enable = yes
smtpd_sasl_type = dovecot
smtpd_sasl_path = {auth_socket}
smtpd_relay_restrictions = permit_sasl_authenticated, reject
"""))
    # Only the services that relay to the store run.
    write(os.path.join(conf, "master.cf"), f"""\
127.0.0.1:{submission} inet n - n - - smtpd
  -o smtpd_tls_security_level=encrypt
127.0.0.1:{implicit} inet n - n - - smtpd
  -o smtpd_tls_wrappermode=yes
  -o smtpd_tls_security_level=encrypt
""" + DAEMONS)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--certs", required=True)
    ap.add_argument("--lifetime", type=float, default=600)
    args = ap.parse_args()
    certs = os.path.abspath(args.certs)
    folder = tempfile.mkdtemp(prefix="qp_postfix.")
    try:
        return run(folder, certs, args.lifetime)
    finally:
        shutil.rmtree(folder, ignore_errors=True)


def run(folder, certs, lifetime):
    conf = make_folders(folder)
    store = os.path.join(folder, "store")
    dovecot_dir = os.path.join(folder, "dovecot")
    for sub in (store, dovecot_dir):
        os.makedirs(sub, mode=0o755)
    auth_socket = os.path.join(dovecot_dir, "auth")
    dovecot_config(dovecot_dir, auth_socket)
    store_port, submission, implicit = free_port(), free_port(), free_port()
    postfix_config(folder, conf, certs, submission, implicit, store_port, auth_socket)

    relay_store = LenientController(StoreHandler(store), hostname="127.0.0.1", port=store_port)
    relay_store.start()
    processes = []
    done = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: done.set())
    signal.signal(signal.SIGINT, lambda *_: done.set())
    try:
        processes.append(subprocess.Popen(
            ["dovecot", "-F", "-c", os.path.join(dovecot_dir, "dovecot.conf")],
            stdout=subprocess.DEVNULL, stderr=open(os.path.join(dovecot_dir, "stderr"), "w")))
        processes.append(start_master(conf))  # while Dovecot starts
        started = wait_for(lambda: os.path.exists(auth_socket) and listening(submission)
                           and listening(implicit), 20)
        if not started or any(p.poll() is not None for p in processes):
            print("FAILED to start", flush=True)
            for log in ("postfix.log", "dovecot/dovecot.log", "dovecot/stderr"):
                if os.path.exists(os.path.join(folder, log)):
                    print(open(os.path.join(folder, log)).read(), flush=True)
            return 1
        print("READY submission=%d implicit=%d store=%s" % (submission, implicit, store), flush=True)
        done.wait(lifetime)
    finally:
        stop(processes)
        relay_store.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
