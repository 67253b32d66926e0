"""GMime (through python3-gi) as a reader of composed messages, shared by the
reader scripts."""


def parse(raw):
    """The message GMime reads from the bytes Raw, and the GMime module."""
    import gi

    gi.require_version("GMime", "3.0")
    from gi.repository import GMime

    GMime.init()
    parser = GMime.Parser.new_with_stream(GMime.StreamMem.new_with_buffer(raw))
    return parser.construct_message(None), GMime


def file_names(message, GMime):
    """The file name of each part that has one, in order."""
    names = []
    it = GMime.PartIter.new(message)
    while True:
        part = it.get_current()
        if isinstance(part, GMime.Part) and part.get_filename() is not None:
            names.append(part.get_filename())
        if not it.next():
            break
    return names
