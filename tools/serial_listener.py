#!/usr/bin/env python3
"""Stands in for the device on a pseudo-terminal, for checking the Windows
build under wine, where the test suites' simulated boot loader cannot run.

Prints the terminal's path, then appends every byte that arrives to RECORD
until it is stopped. Once the first command (16 bytes: the announcement of an
image) is in, it answers ACK, as the boot loader does; whether the program
then sends its next command shows whether the reply reached it.

    tools/serial_listener.py RECORD
"""
import os
import select
import sys
import tty

ANNOUNCEMENT_BYTES = 16
ACK = bytes([0x02, 0x00, 0x00, 0x00])


def main(record_path):
    master, slave = os.openpty()
    tty.setraw(slave)
    print(os.ttyname(slave), flush=True)
    received = 0
    with open(record_path, "wb", buffering=0) as record:
        while True:
            # The slave stays open here, so a program closing the port does
            # not hang up the line for the next one.
            select.select([master], [], [])
            data = os.read(master, 4096)
            record.write(data)
            answered = received >= ANNOUNCEMENT_BYTES
            received += len(data)
            if not answered and received >= ANNOUNCEMENT_BYTES:
                os.write(master, ACK)


if __name__ == "__main__":
    main(sys.argv[1])
