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
import pwd
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from store_smtpd import LenientController, StoreHandler  # noqa: E402

USERS = {"qpuser": "qp-secret", "qputf8": "pässwörd-€"}
POSTFIX_DAEMONS = "/usr/lib/postfix/sbin"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def listening(port):
    with socket.socket() as s:
        return s.connect_ex(("127.0.0.1", port)) == 0


def write(path, text, mode=0o644):
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)
    os.chmod(path, mode)


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


def postfix_config(folder, certs, submission, implicit, store_port, auth_socket):
    conf = os.path.join(folder, "etc")
    os.makedirs(conf, mode=0o755)
    write(os.path.join(conf, "main.cf"), f"""\
compatibility_level = 3.6
config_directory = {conf}
queue_directory = {folder}/queue
data_directory = {folder}/data
maillog_file = {folder}/postfix.log
maillog_file_prefixes = {folder}
myhostname = qp-postfix.test
mydestination =
inet_interfaces = 127.0.0.1
inet_protocols = ipv4
relayhost = [127.0.0.1]:{store_port}
smtp_tls_security_level = none
smtpd_peername_lookup = no
smtpd_banner = $myhostname ESMTP
message_size_limit = 67108864
smtpd_tls_cert_file = {certs}/good.pem
smtpd_tls_key_file = {certs}/good.key
smtpd_tls_auth_only = yes
smtpd_sasl_auth_enable = yes
smtpd_sasl_type = dovecot
smtpd_sasl_path = {auth_socket}
smtpd_relay_restrictions = permit_sasl_authenticated, reject
notify_classes =
smtpd_error_sleep_time = 0
""")
    # No chroot, so the daemons read the certificates and the auth socket by
    # the paths above; only the services that relay to the store run.
    write(os.path.join(conf, "master.cf"), f"""\
127.0.0.1:{submission} inet n - n - - smtpd
  -o smtpd_tls_security_level=encrypt
127.0.0.1:{implicit} inet n - n - - smtpd
  -o smtpd_tls_wrappermode=yes
  -o smtpd_tls_security_level=encrypt
pickup    unix  n       -       n       60      1       pickup
cleanup   unix  n       -       n       -       0       cleanup
qmgr      unix  n       -       n       300     1       qmgr
tlsmgr    unix  -       -       n       1000?   1       tlsmgr
rewrite   unix  -       -       n       -       -       trivial-rewrite
bounce    unix  -       -       n       -       0       bounce
defer     unix  -       -       n       -       0       bounce
trace     unix  -       -       n       -       0       bounce
verify    unix  -       -       n       -       1       verify
proxymap  unix  -       -       n       -       -       proxymap
smtp      unix  -       -       n       -       -       smtp
relay     unix  -       -       n       -       -       smtp
error     unix  -       -       n       -       -       error
retry     unix  -       -       n       -       -       error
discard   unix  -       -       n       -       -       discard
anvil     unix  -       -       n       -       1       anvil
scache    unix  -       -       n       -       1       scache
postlog   unix-dgram n  -       n       -       1       postlogd
""")
    return conf


def wait_for(condition, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if condition():
            return True
        time.sleep(0.05)
    return False


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
    # The daemons run as the postfix and dovecot users and open files below it.
    os.chmod(folder, 0o755)
    store = os.path.join(folder, "store")
    dovecot_dir = os.path.join(folder, "dovecot")
    for sub in (store, dovecot_dir, os.path.join(folder, "queue"), os.path.join(folder, "data")):
        os.makedirs(sub, mode=0o755)
    os.chown(os.path.join(folder, "data"), pwd.getpwnam("postfix").pw_uid, -1)
    auth_socket = os.path.join(dovecot_dir, "auth")
    dovecot_config(dovecot_dir, auth_socket)
    store_port, submission, implicit = free_port(), free_port(), free_port()
    conf = postfix_config(folder, certs, submission, implicit, store_port, auth_socket)
    env = dict(os.environ, MAIL_CONFIG=conf)

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
        # Creates the queue directories with their owners (while Dovecot starts).
        subprocess.run(["postfix", "-c", conf, "check"], env=env, timeout=60,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        processes.append(subprocess.Popen(
            [os.path.join(POSTFIX_DAEMONS, "master"), "-c", conf, "-d"], env=env,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
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
        for p in processes:
            if p.poll() is None:
                p.terminate()
        for p in processes:
            try:
                p.wait(10)
            except subprocess.TimeoutExpired:
                p.kill()
                p.wait()
        relay_store.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
