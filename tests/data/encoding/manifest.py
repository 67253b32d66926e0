"""The manifest the reader scripts share: one record per message, the line
"message PATH" first, a "KEY VALUE" line for each value, "end" last."""


def records(path, start, take):
    """Each record of the manifest at Path: Start(PATH) makes it, and
    Take(record, KEY, VALUE) adds each line between its first and its end."""
    record = None
    for line in open(path, encoding="ascii"):
        key, _, value = line.rstrip("\n").partition(" ")
        if key == "message":
            record = start(value)
        elif key == "end":
            yield record
        else:
            take(record, key, value)


def utf8(value):
    """A value written as hex of UTF-8, as text."""
    return bytes.fromhex(value).decode("utf-8")


def text(value):
    """A text with LF line ends and none at its end."""
    return value.replace("\r\n", "\n").rstrip("\n")
