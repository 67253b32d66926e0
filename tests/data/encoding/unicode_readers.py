"""Reads composed messages with Python's email (policy default) and GMime and
checks that each recovers exactly the text that was set.

  unicode_readers.py MANIFEST

MANIFEST holds one record per message, every value hex of UTF-8:
  message PATH
  subject HEX
  from HEX            display name of the sender
  to HEX              display name of each recipient, in order
  body HEX
  file HEX            name of each attachment, in order
  names READER        only READER is held to the display names
  end
Prints one line per difference; exit status 1 when there is any.
"""
import sys
from email import policy
from email.parser import BytesParser

import gmime_message
import manifest


def start(path):
    return {"path": path, "to": [], "file": []}


def take(record, key, value):
    if key == "names":
        record["names"] = value
    elif key in ("to", "file"):
        record[key].append(manifest.utf8(value))
    else:
        record[key] = manifest.utf8(value)


def python_view(raw):
    m = BytesParser(policy=policy.default).parsebytes(raw)
    view = {
        "subject": str(m["Subject"] or ""),
        "from": m["From"].addresses[0].display_name,
        "to": [a.display_name for a in m["To"].addresses] if m["To"] else [],
        "file": [],
    }
    body = m.get_body(("plain",))
    view["body"] = manifest.text(body.get_content()) if body is not None else ""
    for part in m.iter_attachments():
        view["file"].append(part.get_filename())
    return view


def gmime_view(raw):
    m, GMime = gmime_message.parse(raw)
    view = {"subject": m.get_subject() or "", "file": [], "body": ""}
    view["from"] = m.get_from().get_address(0).get_name() or ""
    to = m.get_to()
    view["to"] = [to.get_address(i).get_name() or "" for i in range(to.length())]
    it = GMime.PartIter.new(m)
    first_text = True
    while True:
        part = it.get_current()
        if isinstance(part, GMime.Part):
            name = part.get_filename()
            if name is not None:
                view["file"].append(name)
            elif first_text and isinstance(part, GMime.TextPart):
                view["body"] = manifest.text(part.get_text())
                first_text = False
        if not it.next():
            break
    return view


def main():
    failures = 0
    for record in manifest.records(sys.argv[1], start, take):
        raw = open(record["path"], "rb").read()
        expected = {k: record.get(k, "") for k in ("subject", "from", "to", "body", "file")}
        expected["body"] = manifest.text(expected["body"])
        for reader, view in (("python", python_view), ("gmime", gmime_view)):
            got = view(raw)
            for key, want in expected.items():
                if key in ("from", "to") and record.get("names", reader) != reader:
                    continue
                if got[key] != want:
                    failures += 1
                    print("%s %s %s: got %r, want %r" % (record["path"], reader, key, got[key], want))
    sys.exit(1 if failures else 0)


main()
