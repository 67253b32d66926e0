"""Independent makers and readers of mail text for the decoder tests.

  mail_peer.py ping OUT
  mail_peer.py samples OUT          Python's own test messages, with what
                                    Python's parser recovers from each
  mail_peer.py generate DIR SEED N OUT
                                    N messages from Python's email package
                                    (and GMime where it is installed)

OUT is a manifest, one record per message:
  message PATH
  layout 0|1          1: a layout the decoder understands (compare), 0: only
                      decode it without a crash
  body HEX            expected body text (generated messages only)
  att NAME|- TYPE b|t HEX   one expected attachment; b compares bytes, t text
                      with its line breaks normalised
  end
"""
import glob
import os
import random
import sys
from email import policy
from email.message import EmailMessage
from email.parser import BytesParser


def hexof(data):
    return data.hex() if data else "-"


def leaf_ok(part):
    return not part.is_multipart() and part.get_content_maintype() != "message"


def attachment_record(part, name):
    cte = (part.get("Content-Transfer-Encoding") or "").strip().lower()
    kind = "b" if cte in ("base64", "x-uuencode", "x-uue") else "t"
    data = part.get_payload(decode=True) or b""
    return "att %s %s %s %s" % (name or "-", part.get_content_type(), kind, hexof(data))


def sample_records(path):
    with open(path, "rb") as f:
        raw = f.read()
    msg = BytesParser(policy=policy.compat32).parsebytes(raw)
    records = []
    layout = 1
    version = msg.get("MIME-Version")
    if version is None or str(version).strip() != "1.0" or msg.defects:
        layout = 0
    elif "*=" in str(msg.get("Content-Type", "")):
        # Parameters in the extended notation are not read by the decoder.
        layout = 0
    elif msg.is_multipart():
        parts = msg.get_payload()
        if msg.get_content_maintype() != "multipart" or len(parts) < 2:
            layout = 0
        else:
            first = parts[0]
            leaves = []
            if first.get_content_type() == "multipart/alternative":
                inner = first.get_payload()
                if not isinstance(inner, list) or len(inner) < 2 or not all(map(leaf_ok, inner)):
                    layout = 0
                else:
                    leaves = inner + parts[1:]
            elif first.is_multipart():
                layout = 0
            else:
                leaves = list(parts)
            if layout and not all(map(leaf_ok, leaves)):
                layout = 0
            if layout:
                text_first = (leaves[0].get("Content-Transfer-Encoding") or "").strip().lower() != "base64"
                for part in leaves[1:] if text_first else leaves:
                    if part.defects:
                        layout = 0
                    records.append(attachment_record(part, None))
    else:
        ct = (msg.get("Content-Type") or "")
        if ct and ("text/" not in ct.lower() or msg.get_param("name")):
            records.append(attachment_record(msg, None))
    return raw, layout, records


def samples(out):
    import test.test_email
    data = os.path.join(os.path.dirname(test.test_email.__file__), "data")
    with open(out, "w") as f:
        for path in sorted(glob.glob(os.path.join(data, "msg_*.txt"))):
            _, layout, records = sample_records(path)
            f.write("message %s\nlayout %d\n" % (path, layout))
            for r in records:
                f.write(r + "\n")
            f.write("end\n")


WORDS = ("mail", "line", "text", "boundary", "part", "body", "alpha", "beta", "x", "caf\xe9",
         "na\xefve", "--", "=", "end", ".", "begin")


def random_text(rng, latin):
    lines = []
    for _ in range(rng.randint(1, 12)):
        words = [rng.choice(WORDS) for _ in range(rng.randint(0, 12))]
        line = " ".join(words)
        if not latin:
            line = line.encode("ascii", "replace").decode("ascii")
        lines.append(line)
    return "\n".join(lines) + "\n"


def random_bytes(rng):
    return bytes(rng.getrandbits(8) for _ in range(rng.choice([0, 1, 2, 3, 57, 58, 300, 5000])))


def add_text(msg, rng):
    latin = rng.random() < 0.5
    text = random_text(rng, latin)
    if latin:
        msg.set_content(text, charset="iso-8859-1", cte="quoted-printable")
    else:
        msg.set_content(text, charset="us-ascii", cte="7bit")
    return text


def python_message(rng, index):
    msg = EmailMessage(policy=policy.SMTP)
    msg["From"] = "Ann Sender <ann@example.com>"
    msg["To"] = "bob@example.com, Carl <carl@example.com>"
    msg["Subject"] = "message %d" % index
    layout = rng.choice(["text", "alternative", "mixed", "mixed-alternative", "single", "only-files"])
    body = ""
    atts = []
    if layout == "single":
        data = random_bytes(rng)
        msg.set_content(data, "application", "octet-stream", filename="only%d.bin" % index)
        atts.append(("only%d.bin" % index, "application/octet-stream", "b", data))
    else:
        if layout != "only-files":
            body = add_text(msg, rng)
        if layout in ("alternative", "mixed-alternative"):
            html = "<html><body><p>%d</p></body></html>\n" % index
            msg.add_alternative(html, subtype="html")
            atts.append(("_alt.0", "text/html", "t", html.encode()))
        if layout in ("mixed", "mixed-alternative", "only-files"):
            for k in range(rng.randint(1, 3)):
                data = random_bytes(rng)
                name = "f%d_%d.bin" % (index, k)
                msg.add_attachment(data, "application", "octet-stream", filename=name)
                atts.append((name, "application/octet-stream", "b", data))
    if "MIME-Version" not in msg:
        # Python leaves it off a message made of attachments only; without it
        # the text is not MIME at all.
        msg["MIME-Version"] = "1.0"
    return msg.as_bytes(), body, atts


def gmime_message(GMime, rng, index):
    msg = GMime.Message.new(True)
    msg.add_mailbox(GMime.AddressType.FROM, "Ann Sender", "ann@example.com")
    msg.add_mailbox(GMime.AddressType.TO, "Bob", "bob@example.com")
    msg.set_subject("gmime %d" % index, "us-ascii")
    text = random_text(rng, False)
    part = GMime.TextPart.new_with_subtype("plain")
    part.set_text(text)
    mixed = GMime.Multipart.new_with_subtype("mixed")
    mixed.add(part)
    atts = []
    for k in range(rng.randint(1, 3)):
        data = random_bytes(rng)
        name = "g%d_%d.bin" % (index, k)
        att = GMime.Part.new_with_type("application", "octet-stream")
        att.set_filename(name)
        stream = GMime.StreamMem.new_with_buffer(data)
        att.set_content(GMime.DataWrapper.new_with_stream(stream, GMime.ContentEncoding.DEFAULT))
        att.set_content_encoding(GMime.ContentEncoding.BASE64)
        mixed.add(att)
        atts.append((name, "application/octet-stream", "b", data))
    msg.set_mime_part(mixed)
    return msg.to_string(None).encode("latin-1"), text, atts


def generate(directory, seed, count, out):
    rng = random.Random(seed)
    makers = [python_message]
    try:
        import gi
        gi.require_version("GMime", "3.0")
        from gi.repository import GMime
        GMime.init()
        makers.append(lambda r, i: gmime_message(GMime, r, i))
    except Exception:
        pass
    with open(out, "w") as f:
        for index in range(count):
            maker = makers[index % len(makers)]
            raw, body, atts = maker(rng, index)
            path = os.path.join(directory, "gen_%03d.eml" % index)
            with open(path, "wb") as m:
                m.write(raw)
            f.write("message %s\nlayout 1\nbody %s\n" % (path, hexof(body.encode("latin-1"))))
            for name, ctype, kind, data in atts:
                f.write("att %s %s %s %s\n" % (name, ctype, kind, hexof(data)))
            f.write("end\n")


def main():
    mode = sys.argv[1]
    if mode == "ping":
        with open(sys.argv[2], "w") as f:
            f.write("pong")
    elif mode == "samples":
        samples(sys.argv[2])
    elif mode == "generate":
        generate(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), sys.argv[5])
    else:
        sys.exit(2)


if __name__ == "__main__":
    main()
