"""Reads composed messages built from hostile input with Python's email
(policy default) and GMime, and checks that each reader sees exactly the
parties, names, headers and file names that were meant: no party, header or
parameter more, and no line over 998 octets.

  hostile_readers.py MANIFEST

MANIFEST holds one record per message, values hex of UTF-8:
  message PATH
  to HEX            mailbox of each To party, in order
  name HEX          display name of the last To party
  file HEX          name of each attachment, in order
  header NAME HEX   a header whose unfolded value must read back as HEX
  extra NAME        a header name the message has beyond the first message's
                    (a layout with attachments may have fewer; none twice)
  end
The first record is the baseline whose header names every other one shares.
Prints one line per difference; exit status 1 when there is any.
"""
import sys
from email import policy
from email.parser import BytesParser

import gmime_message
import manifest


def start(path):
    return {"path": path, "to": [], "file": [], "header": {}, "extra": []}


def take(record, key, value):
    if key == "extra":
        record["extra"].append(value.lower())
    elif key == "header":
        name, _, text = value.partition(" ")
        record["header"][name.lower()] = manifest.utf8(text)
    elif key in ("to", "file"):
        record[key].append(manifest.utf8(value))
    else:
        record[key] = manifest.utf8(value)


def python_view(raw):
    m = BytesParser(policy=policy.default).parsebytes(raw)
    to = m["To"].addresses if m["To"] else []
    view = {
        "to": [a.addr_spec for a in to],
        "name": to[-1].display_name if to else "",
        "names": sorted(k.lower() for k in m.keys()),
        "file": [p.get_filename() for p in m.iter_attachments()],
        "header": {},
    }
    for k in m.keys():
        view["header"][k.lower()] = str(m[k])
    return view


def gmime_view(raw):
    m, GMime = gmime_message.parse(raw)
    to = m.get_to()
    boxes = [to.get_address(i) for i in range(to.length())]
    view = {
        "to": [b.get_addr() if isinstance(b, GMime.InternetAddressMailbox) else "group"
               for b in boxes],
        "name": (boxes[-1].get_name() or "") if boxes else "",
        "header": {},
    }
    headers = m.get_header_list()
    names = []
    for i in range(headers.get_count()):
        h = headers.get_header_at(i)
        names.append(h.get_name().lower())
        value = GMime.utils_header_decode_text(None, GMime.utils_header_unfold(h.get_raw_value()))
        view["header"][h.get_name().lower()] = value.strip()
    view["names"] = sorted(names)
    view["file"] = gmime_message.file_names(m, GMime)
    return view


def main():
    failures = []
    baseline = {}
    for record in manifest.records(sys.argv[1], start, take):
        raw = open(record["path"], "rb").read()
        longest = max(len(line) for line in raw.split(b"\r\n"))
        if longest > 998:
            failures.append("%s: a line of %d octets" % (record["path"], longest))
        for reader, view in (("python", python_view), ("gmime", gmime_view)):
            got = view(raw)
            if reader not in baseline:
                baseline[reader] = got["names"]
            names = got["names"]
            added = sorted(set(names) - set(baseline[reader]))
            checks = [("to", got["to"], record["to"]), ("added names", added, sorted(record["extra"])),
                      ("names twice", len(names) - len(set(names)), 0),
                      ("file", got["file"], record["file"])]
            if "name" in record:
                checks.append(("name", got["name"], record["name"]))
            for name, want in record["header"].items():
                checks.append((name, got["header"].get(name), want))
            for key, value, want in checks:
                if value != want:
                    failures.append("%s %s %s: got %r, want %r" % (record["path"], reader, key,
                                                                   value, want))
    for line in failures:
        print(line)
    sys.exit(1 if failures else 0)


main()
