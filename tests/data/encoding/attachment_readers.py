"""Reads the attachments of composed messages with Python's email (policy
default) and GMime and checks that each gives back exactly the file's bytes.

  attachment_readers.py MANIFEST

MANIFEST holds one record per message:
  message PATH      the text as composed, leading periods still doubled
  skip N            leaf parts before the first attachment (the body text)
  att HEX           the bytes of each attachment, in order ("-" for none)
  end
A message without a Mime-Version line carries its files uuencoded; binascii
reads those for both. Prints one line per difference; exit status 1 when
there is any.
"""
import binascii
import sys
from email import policy
from email.parser import BytesParser

import manifest


def start(path):
    return {"path": path, "skip": 0, "att": []}


def take(record, key, value):
    if key == "skip":
        record["skip"] = int(value)
    elif key == "att":
        record["att"].append(b"" if value == "-" else bytes.fromhex(value))


def unstuff(raw):
    return b"\r\n".join(l[1:] if l.startswith(b".") else l for l in raw.split(b"\r\n"))


def uu_files(raw):
    files, data, inside = [], None, False
    for line in raw.split(b"\r\n"):
        if line.startswith(b"begin 600 "):
            data, inside = b"", True
        elif inside and line == b"`":
            files.append(data)
            inside = False
        elif inside:
            data += binascii.a2b_uu(line)
    return files


# Writes a message back as it was read: no folding, no ">From".
AS_READ = policy.compat32.clone(linesep="\r\n", max_line_length=None, mangle_from_=False)


def python_files(raw):
    msg = BytesParser(policy=policy.default).parsebytes(raw)
    files, stack = [], [msg]
    while stack:
        part = stack.pop(0)
        if part.get_content_type() == "message/rfc822":
            # The message as carried: the reader's own text of it.
            files.append(part.get_payload(0).as_bytes(policy=AS_READ))
        elif part.is_multipart():
            stack[0:0] = part.get_payload()
        else:
            files.append(part.get_payload(decode=True) or b"")
    return files


def gmime_files(raw):
    import gi

    gi.require_version("GMime", "3.0")
    from gi.repository import GMime

    GMime.init()
    parser = GMime.Parser.new_with_stream(GMime.StreamMem.new_with_buffer(raw))
    files, stack = [], [parser.construct_message(None).get_mime_part()]
    while stack:
        part = stack.pop(0)
        out = GMime.StreamMem.new()
        if isinstance(part, GMime.Multipart):
            stack[0:0] = [part.get_part(i) for i in range(part.get_count())]
            continue
        if isinstance(part, GMime.MessagePart):
            options = GMime.FormatOptions.new()
            options.set_newline_format(GMime.NewLineFormat.DOS)
            part.get_message().write_to_stream(options, out)
        elif part.get_content() is not None:
            part.get_content().write_to_stream(out)
        files.append(bytes(out.get_byte_array() or b""))
    return files


def difference(got, want):
    if len(got) != len(want):
        return "%d files, want %d" % (len(got), len(want))
    for i, (g, w) in enumerate(zip(got, want)):
        if g != w:
            at = next((k for k in range(min(len(g), len(w))) if g[k] != w[k]), min(len(g), len(w)))
            return "file %d of %d bytes, want %d; at %d got %r, want %r" % (
                i, len(g), len(w), at, g[at:at + 12], w[at:at + 12])
    return "?"


def main():
    failures = 0
    for record in manifest.records(sys.argv[1], start, take):
        raw = unstuff(open(record["path"], "rb").read())
        uu = b"\r\nMime-Version: " not in raw.split(b"\r\n\r\n", 1)[0]
        readers = (("binascii", uu_files),) if uu else (("python", python_files), ("gmime", gmime_files))
        for reader, files in readers:
            got = files(raw) if uu else files(raw)[record["skip"]:]
            if got != record["att"]:
                failures += 1
                print("%s %s: %s" % (record["path"], reader, difference(got, record["att"])))
    sys.exit(1 if failures else 0)


main()
