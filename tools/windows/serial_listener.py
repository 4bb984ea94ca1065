#!/usr/bin/env python3
"""Stands in for the device on a pseudo-terminal, for checking the Windows
build under wine, where the test suites' simulated boot loader cannot run.

Prints the terminal's path, then appends every byte that arrives to RECORD
until it is stopped, and answers each whole command with ACK, as the boot
loader does (all but the end of transfer, which gets no answer). Whether the
program sends its next command shows whether an answer reached it.

    tools/windows/serial_listener.py RECORD
"""
import os
import select
import struct
import sys
import tty

ACK = struct.pack("<I", 2)
CMD_DATA, CMD_END = 3, 4
# Parameter bytes after each command word; a data packet says its own length.
PARAMETER_BYTES = {2: 12, 4: 0, 5: 8}


def command_length(pending):
    """Bytes of the first whole command in pending, or None if it is not all here."""
    if len(pending) < 4:
        return None
    code = struct.unpack_from("<I", pending)[0]
    if code == CMD_DATA:
        if len(pending) < 8:
            return None
        length = 8 + struct.unpack_from("<I", pending, 4)[0]
    else:
        length = 4 + PARAMETER_BYTES.get(code, 0)
    return length if len(pending) >= length else None


def main(record_path):
    master, slave = os.openpty()
    tty.setraw(slave)
    pending = b""
    with open(record_path, "wb", buffering=0) as record:
        print(os.ttyname(slave), flush=True)
        while True:
            # The slave stays open here, so a program closing the port does
            # not hang up the line.
            select.select([master], [], [])
            data = os.read(master, 4096)
            record.write(data)
            pending += data
            while (length := command_length(pending)) is not None:
                code = struct.unpack_from("<I", pending)[0]
                pending = pending[length:]
                if code != CMD_END:
                    os.write(master, ACK)


if __name__ == "__main__":
    main(sys.argv[1])
