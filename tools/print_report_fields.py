#!/usr/bin/env python3
"""Prints the report fields that a Kelvo crash dump carries.

Usage: print_report_fields.py DUMP

Kelvo's exception handler writes the crash reporter's fields (version,
product, platform, process type, the URL chunks of a renderer) into each
dump as a user stream of type 0x47670003: two little-endian 32-bit values,
the number of fields and the size of one field (256), then the fields, each
64 UTF-16 units of name followed by 64 of value, zero-terminated. This
prints one "name: value" line per field, in the stream's order.

Exit status: 0 after printing, 1 when the file is not a minidump or has no
well-formed report-fields stream, 2 on a usage error.
"""

import struct
import sys

SIGNATURE = 0x504D444D  # "MDMP"
REPORT_FIELDS_STREAM = 0x47670003
FIELD_SIZE = 256
TEXT_UNITS = 64


def text(raw):
    """The UTF-16 text of a field, up to its terminator."""
    units = raw.decode("utf-16-le", errors="replace")
    return units.split("\0", 1)[0]


def find_stream(data, stream_type):
    """The bytes of the first stream of `stream_type`, or None."""
    if len(data) < 32:
        raise ValueError("too short for a minidump header")
    signature, _version, count, directory = struct.unpack_from("<IIII", data)
    if signature != SIGNATURE:
        raise ValueError("not a minidump")
    if directory + count * 12 > len(data):
        raise ValueError("stream directory lies beyond the file")
    for index in range(count):
        kind, size, offset = struct.unpack_from("<III", data, directory + index * 12)
        if kind != stream_type:
            continue
        if offset + size > len(data):
            raise ValueError("stream 0x%08x lies beyond the file" % kind)
        return data[offset:offset + size]
    return None


def report_fields(stream):
    """The (name, value) pairs of a report-fields stream."""
    if len(stream) < 8:
        raise ValueError("report-fields stream shorter than its header")
    count, field_size = struct.unpack_from("<II", stream)
    if field_size != FIELD_SIZE or len(stream) != 8 + count * FIELD_SIZE:
        raise ValueError("report-fields stream sizes do not agree")
    fields = []
    for index in range(count):
        start = 8 + index * FIELD_SIZE
        name = text(stream[start:start + 2 * TEXT_UNITS])
        value = text(stream[start + 2 * TEXT_UNITS:start + FIELD_SIZE])
        fields.append((name, value))
    return fields


def main(arguments):
    if len(arguments) != 1:
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        return 2
    path = arguments[0]
    try:
        with open(path, "rb") as dump:
            data = dump.read()
        stream = find_stream(data, REPORT_FIELDS_STREAM)
        if stream is None:
            raise ValueError("no report-fields stream (0x%08x)" % REPORT_FIELDS_STREAM)
        fields = report_fields(stream)
    except (OSError, ValueError, struct.error) as error:
        print("%s: %s" % (path, error), file=sys.stderr)
        return 1
    # A text the terminal cannot show is escaped rather than lost.
    sys.stdout.reconfigure(errors="backslashreplace")
    for name, value in fields:
        print("%s: %s" % (name, value))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
