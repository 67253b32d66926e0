"""What the Postfix harnesses share: a private folder's Postfix started by
its master daemon with its own configuration and queue, on loopback ports,
and stopped with everything it started.

The folder is made under /tmp (the daemons' users must reach it) with the
queue and data directories Postfix wants; main.cf and master.cf come from
the caller, which also chooses the services (the daemons every instance
needs are in DAEMONS).
"""
import os
import pwd
import socket
import subprocess
import time

POSTFIX_DAEMONS = "/usr/lib/postfix/sbin"

# The internal services of a relaying instance; no chroot, so the daemons
# read files by the paths in main.cf.
DAEMONS = """\
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
"""


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


def wait_for(condition, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if condition():
            return True
        time.sleep(0.05)
    return False


def main_cf(folder, conf, relay_port, extra):
    """The settings every instance has, then Extra: a loopback relay to the
    store on Relay_port, logging to <folder>/postfix.log."""
    return f"""\
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
relayhost = [127.0.0.1]:{relay_port}
smtp_tls_security_level = none
smtpd_peername_lookup = no
smtpd_banner = $myhostname ESMTP
notify_classes =
smtpd_error_sleep_time = 0
""" + extra


def make_folders(folder):
    """The queue and data directories, and <folder>/etc for the caller's
    configuration (returned)."""
    # The daemons run as the postfix user and open files below the folder.
    os.chmod(folder, 0o755)
    for sub in ("queue", "data", "etc"):
        os.makedirs(os.path.join(folder, sub), mode=0o755)
    os.chown(os.path.join(folder, "data"), pwd.getpwnam("postfix").pw_uid, -1)
    return os.path.join(folder, "etc")


def start_master(conf):
    """Postfix's master in the foreground of a child process; `postfix check`
    first creates the queue directories with their owners."""
    env = dict(os.environ, MAIL_CONFIG=conf)
    subprocess.run(["postfix", "-c", conf, "check"], env=env, timeout=60,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return subprocess.Popen([os.path.join(POSTFIX_DAEMONS, "master"), "-c", conf, "-d"], env=env,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def stop(processes):
    for p in processes:
        if p.poll() is None:
            p.terminate()
    for p in processes:
        try:
            p.wait(10)
        except subprocess.TimeoutExpired:
            p.kill()
            p.wait()
