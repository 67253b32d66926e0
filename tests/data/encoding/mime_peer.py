"""Independent reader for the composition tests: Python's email package
(policy default) parses each composed message and reports what it finds.
Usage: mime_peer.py OUTPUT MESSAGE...   (or: mime_peer.py ping OUTPUT)

The messages are as written for SMTP, with leading periods doubled; they are
undone first, as a receiving server does. For each message the output has a
line "MESSAGE <defects> <To addresses>" and then one line per leaf part:
  <content type> TAB b64(charset) TAB b64(file name) TAB b64(payload bytes)
A plain message's "begin 600" blocks are read with binascii and reported as
parts of type application/x-uuencode after its text."""
import base64
import binascii
import email
import email.policy
import sys


def b64(data):
    if isinstance(data, str):
        data = data.encode("latin-1")
    return base64.b64encode(data or b"").decode("ascii")


def unstuff(raw):
    lines = raw.split(b"\r\n")
    return b"\r\n".join(l[1:] if l.startswith(b".") else l for l in lines)


def uu_blocks(text):
    """The text before the first begin line, and (name, bytes) per block."""
    lines = text.split(b"\r\n")
    body, blocks, i = [], [], 0
    while i < len(lines):
        if lines[i].startswith(b"begin 600 "):
            name = lines[i][10:].decode("latin-1")
            data = b""
            i += 1
            while lines[i] != b"`":
                data += binascii.a2b_uu(lines[i])
                i += 1
            if lines[i + 1] != b"end":
                raise ValueError("no end line")
            blocks.append((name, data))
            i += 2
        else:
            if not blocks:
                body.append(lines[i])
            i += 1
    return b"\r\n".join(body), blocks


def describe(raw):
    msg = email.message_from_bytes(unstuff(raw), policy=email.policy.default)
    defects = len(msg.defects)
    out = []
    for part in msg.walk():
        defects += len(part.defects) if part is not msg else 0
        if part.is_multipart():
            continue
        payload = part.get_payload(decode=True)
        charset = part.get_param("charset") or ""
        name = part.get_filename() or ""
        if "Mime-Version" not in msg:
            body, blocks = uu_blocks(payload)
            out.append(("text/plain", "", "", body))
            out.extend(("application/x-uuencode", "", n, d) for n, d in blocks)
        else:
            out.append((part.get_content_type(), charset, name, payload))
    to = msg["To"]
    lines = ["MESSAGE %d %d" % (defects, len(to.addresses) if to else 0)]
    lines.extend("%s\t%s\t%s\t%s" % (t, b64(c), b64(n), b64(p)) for t, c, n, p in out)
    return "\n".join(lines) + "\n"


if sys.argv[1] == "ping":
    result = "pong"
    target = sys.argv[2]
else:
    target = sys.argv[1]
    result = ""
    for path in sys.argv[2:]:
        with open(path, "rb") as f:
            result += describe(f.read())
with open(target, "w") as f:
    f.write(result)
