"""Independent reader for the codec tests: Python's own base64, quopri and
email modules decode (or encode) a file and write the result to another.
Usage: codec_peer.py MODE INPUT OUTPUT"""
import base64
import binascii
import email.quoprimime
import quopri
import sys

mode, src, dst = sys.argv[1:4]
with open(src, "rb") as f:
    data = f.read()

if mode == "ping":
    out = b"pong"
elif mode == "b64decode":
    # Lines of base64 text; whitespace between them is not data.
    out = base64.b64decode(b"".join(data.split()), validate=True)
elif mode == "b64encode":
    out = base64.encodebytes(data).replace(b"\n", b"\r\n")
elif mode == "qpdecode":
    out = quopri.decodestring(data)
elif mode == "uucheck":
    # Lines "HEX OURS": whether binascii reads our line, then its own line
    # with blanks and with backticks for zero.
    rows = []
    for line in data.decode("latin-1").splitlines():
        h, ours = line.split(" ", 1)
        raw = bytes.fromhex(h)
        theirs = binascii.b2a_uu(raw).decode().rstrip("\n")
        tick = binascii.b2a_uu(raw, backtick=True).decode().rstrip("\n")
        rows.append("%d\t%s\t%s\n" % (binascii.a2b_uu(ours) == raw, theirs, tick))
    out = "".join(rows).encode("latin-1")
elif mode == "qpemail":
    # The email package's reader strips trailing blanks of every line, as
    # transports may; lines are joined by LF.
    out = email.quoprimime.decode(data.decode("latin-1"), eol="\n").encode("latin-1")
else:
    sys.exit("unknown mode " + mode)

with open(dst, "wb") as f:
    f.write(out)
