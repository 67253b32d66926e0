"""Reads composed HTML messages with Python's email (policy default) and GMime
and checks the layout, the text and HTML parts, and that every cid: in the
HTML names an inline image part whose bytes are the file's.

  html_readers.py MANIFEST

MANIFEST holds one record per message, values in hex:
  message PATH
  layout TEXT         the content types as type(child,child)
  text HEX            the text part, UTF-8
  html HEX            the HTML part, UTF-8
  image HEXID HEXPATH each image: its Content-ID and its file
  file HEXNAME HEXPATH each attachment after the alternatives, in order
  end
Prints one line per difference; exit status 1 when there is any.
"""
import re
import sys
from email import policy
from email.parser import BytesParser

import gmime_message
import manifest
from manifest import text


def start(path):
    return {"path": path, "image": {}, "file": []}


def take(record, key, value):
    if key == "layout":
        record["layout"] = value
    elif key in ("image", "file"):
        name, _, path = value.partition(" ")
        name = manifest.utf8(name)
        data = open(manifest.utf8(path), "rb").read()
        if key == "image":
            record["image"][name] = data
        else:
            record["file"].append((name, data))
    else:
        record[key] = text(manifest.utf8(value))


def cids(html):
    return sorted(set(re.findall(r"""cid:([^"'\s>)]+)""", html)))


def python_view(raw):
    m = BytesParser(policy=policy.default).parsebytes(raw)

    def data(part):
        return part.get_payload(decode=True)

    def layout(part):
        if part.is_multipart():
            return part.get_content_type() + "(" + ",".join(layout(p) for p in part.iter_parts()) + ")"
        return part.get_content_type()

    html = m.get_body(("html",)).get_content()
    by_id = {p["Content-ID"]: p for p in m.walk() if p["Content-ID"]}
    images = {}
    for cid in cids(html):
        part = by_id.get("<" + cid + ">")
        inline = part is not None and part.get_content_disposition() == "inline"
        images[cid] = data(part) if inline else None
    files = [(p.get_filename(), data(p)) for p in m.iter_attachments()]
    return {
        "layout": layout(m),
        "text": text(m.get_body(("plain",)).get_content()),
        "html": text(html),
        "image": images,
        "file": files,
    }


def gmime_view(raw):
    message, GMime = gmime_message.parse(raw)

    def layout(part):
        kind = part.get_content_type().get_mime_type().lower()
        if isinstance(part, GMime.Multipart):
            return kind + "(" + ",".join(layout(part.get_part(i)) for i in range(part.get_count())) + ")"
        return kind

    def data(part):
        out = GMime.StreamMem.new()
        part.get_content().write_to_stream(out)
        return bytes(out.get_byte_array() or b"")

    view = {"layout": layout(message.get_mime_part()), "image": {}, "file": []}
    by_id = {}
    it = GMime.PartIter.new(message)
    while True:
        part = it.get_current()
        kind = part.get_content_type().get_mime_type().lower()
        if part.get_content_id():
            by_id[part.get_content_id()] = part
        if kind in ("text/plain", "text/html") and part.get_filename() is None:
            view["text" if kind == "text/plain" else "html"] = text(part.get_text())
        if not it.next():
            break
    for cid in cids(view["html"]):
        part = by_id.get(cid)
        inline = part is not None and part.get_disposition() == "inline"
        view["image"][cid] = data(part) if inline else None
    top = message.get_mime_part()
    if top.get_content_type().get_mime_type().lower() == "multipart/mixed":
        for i in range(1, top.get_count()):
            part = top.get_part(i)
            view["file"].append((part.get_filename(), data(part)))
    return view


def main():
    problems = []
    for record in manifest.records(sys.argv[1], start, take):
        # The composed text is what follows DATA: its periods are doubled.
        raw = open(record["path"], "rb").read().replace(b"\r\n..", b"\r\n.")
        for reader, view in (("python", python_view), ("gmime", gmime_view)):
            try:
                got = view(raw)
            except Exception as e:  # a reader that cannot read it at all
                problems.append(f"{record['path']}: {reader} failed: {e!r}")
                continue
            for key in ("layout", "text", "html", "image", "file"):
                if got[key] != record[key]:
                    problems.append(f"{record['path']}: {reader} {key}: {got[key]!r} != {record[key]!r}")
    for line in problems:
        print(line)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
