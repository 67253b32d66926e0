"""quillpost --decode --to on messages no one here wrote.

  cli_round_trip.py QUILLPOST

Python's own test messages and messages made by Python's email package and
GMime (mail_peer.py) are decoded by the program into a fresh folder; every
file it writes must hold what Python's parser recovers from the same part.
Prints one line per failure and ends with "N passed, N failed".
"""
import os
import re
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import mail_peer  # noqa: E402

WRITTEN = re.compile(r' -> "((?:[^"\\]|\\.)*)"$')


def unescape(shown):
    out = bytearray()
    i = 0
    raw = shown.encode("utf-8", "surrogateescape")
    while i < len(raw):
        if raw[i:i + 2] == b"\\x":
            out.append(int(raw[i + 2:i + 4], 16))
            i += 4
        elif raw[i:i + 1] == b"\\":
            out += raw[i + 1:i + 2]
            i += 2
        else:
            out += raw[i:i + 1]
            i += 1
    return bytes(out)


def read_manifest(path):
    messages = []
    with open(path) as f:
        for line in f:
            words = line.split()
            if words[0] == "message":
                messages.append({"path": line[8:].rstrip("\n"), "layout": 0, "atts": []})
            elif words[0] == "layout":
                messages[-1]["layout"] = int(words[1])
            elif words[0] == "att":
                data = b"" if words[4] == "-" else bytes.fromhex(words[4])
                messages[-1]["atts"].append((words[3], data))
    return messages


def with_crlf(data):
    return re.sub(rb"\r?\n", b"\r\n", data)


def same_bytes(kind, got, want):
    if kind == "b":
        return got == want
    # A text part's lines each end with CR LF as the decoder gives them,
    # the last one too; Python leaves that last break to the boundary.
    want = with_crlf(want)
    return got in (want, want + b"\r\n") or (want.endswith(b"\r\n") and got == want)


def check(program, message, folder):
    """None when the written files equal Python's parts, else what differs."""
    run = subprocess.run([program, "--decode", message["path"], "--to", folder],
                         stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if run.returncode != 0:
        return "status %d: %s" % (run.returncode, run.stderr.decode(errors="replace").strip())
    lines = run.stdout.decode("utf-8", "surrogateescape").splitlines()
    written = [unescape(m.group(1)) for m in map(WRITTEN.search, lines) if m]
    if len(written) != len(message["atts"]):
        return "%d files written, Python finds %d parts" % (len(written), len(message["atts"]))
    if sorted(os.fsencode(n) for n in os.listdir(folder)) != sorted(written):
        return "the folder holds %s, the listing names %s" % (os.listdir(folder), written)
    for name, (kind, want) in zip(written, message["atts"]):
        with open(os.path.join(os.fsencode(folder), name), "rb") as f:
            got = f.read()
        if not same_bytes(kind, got, want):
            return "%s: %d bytes differ from Python's %d" % (name, len(got), len(want))
    return None


def main():
    program = os.path.abspath(sys.argv[1])
    passed = failed = 0
    with tempfile.TemporaryDirectory() as work:
        samples = os.path.join(work, "samples.txt")
        mail_peer.samples(samples)
        made = os.path.join(work, "made")
        os.mkdir(made)
        generated = os.path.join(work, "generated.txt")
        mail_peer.generate(made, 20261209, 60, generated)
        messages = [m for m in read_manifest(samples) + read_manifest(generated) if m["layout"]]
        for index, message in enumerate(messages):
            folder = os.path.join(work, "out%d" % index)
            os.mkdir(folder)
            problem = check(program, message, folder)
            if problem:
                failed += 1
                print("FAILED %s: %s" % (message["path"], problem))
            else:
                passed += 1
    if passed < 60:
        failed += 1
        print("FAILED: only %d messages compared" % passed)
    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
