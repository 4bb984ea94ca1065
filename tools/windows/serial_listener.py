#!/usr/bin/env python3
"""Stands in for the device on a pseudo-terminal, for checking the Windows
build under wine, where the test suites' simulated boot loader cannot run.

Prints the terminal's path, then appends every byte that arrives to RECORD
until it is stopped, and answers each whole command as MODE says:

    ack          ACK to every command but the end of transfer, as the boot
                 loader does
    no-answer    no answer to the announcement
    nak          an answer to the announcement whose first byte is not ACK
    short-reply  3 bytes of ACK to packet 1
    split-reply  every ACK in two pieces, 16 ms and 100 ms apart in turn:
                 a USB serial adapter's latency timer, and far longer
    hang-up      hangs up (closes its end) as soon as packet 1 begins

Every command a mode leaves alone gets its ACK, so a program that goes on
where it must stop shows on the line. After each end of transfer it prints
the time per packet, from packet 1 to the end command.

    tools/windows/serial_listener.py MODE RECORD
"""
import fcntl
import os
import select
import struct
import sys
import termios
import time
import tty

from boot_line import ACK, CMD_BEGIN, CMD_DATA, CMD_END, REPLY_SIZE, command_length

MODES = ("ack", "no-answer", "nak", "short-reply", "split-reply", "hang-up")
ACK_REPLY = struct.pack("<I", ACK)
NAK_REPLY = b"\x15" + ACK_REPLY[1:]
SHORT_REPLY_BYTES = REPLY_SIZE - 1
SPLIT_PAUSES_S = (0.016, 0.1)


def reply_pieces(mode, code, packet_number):
    """What the device answers a command with, piece by piece."""
    if code == CMD_END:
        return []
    if code == CMD_BEGIN and mode == "no-answer":
        return []
    if code == CMD_BEGIN and mode == "nak":
        return [NAK_REPLY]
    if code == CMD_DATA and packet_number == 1 and mode == "short-reply":
        return [ACK_REPLY[:SHORT_REPLY_BYTES]]
    if mode == "split-reply":
        half = REPLY_SIZE // 2
        return [ACK_REPLY[:half], ACK_REPLY[half:]]
    return [ACK_REPLY]


def answer(master, pieces, pause_s):
    for number, piece in enumerate(pieces):
        if number:
            time.sleep(pause_s)
        os.write(master, piece)


def serve(mode, master, record):
    pending = b""
    packets = 0
    first_packet_at = None
    replies = 0
    while True:
        select.select([master], [], [])
        data = os.read(master, 4096)
        record.write(data)
        pending += data
        while len(pending) >= 4:
            code = struct.unpack_from("<I", pending)[0]
            if code == CMD_DATA and mode == "hang-up":
                return
            length = command_length(pending)
            if length is None:
                break
            pending = pending[length:]
            if code == CMD_DATA:
                packets += 1
                if packets == 1:
                    first_packet_at = time.monotonic()
            elif code == CMD_END and packets:
                seconds = time.monotonic() - first_packet_at
                print(f"flash: {packets} packets in {seconds:.2f} s, "
                      f"{1000 * seconds / packets:.1f} ms per packet", flush=True)
                packets = 0
            answer(master, reply_pieces(mode, code, packets), SPLIT_PAUSES_S[replies % len(SPLIT_PAUSES_S)])
            replies += 1


def claim_terminal(slave):
    """Makes the terminal this process's controlling terminal. Wine's server
    opens it for the driver and would otherwise take it as its own, and a
    hang-up would then make that server dump its state on the check's output.
    A process group leader cannot do this; its check only gets noisier."""
    if os.getpid() != os.getpgrp():
        os.setsid()
        fcntl.ioctl(slave, termios.TIOCSCTTY, 0)


def main(mode, record_path):
    if mode not in MODES:
        sys.exit(f"serial_listener.py: unknown mode {mode}; one of {', '.join(MODES)}")
    master, slave = os.openpty()
    tty.setraw(slave)
    claim_terminal(slave)
    # The port's driver opens the slave for as long as wine runs. This end
    # keeps its own slave open too, so that the master never reads as hung up
    # before the driver has the slave.
    with open(record_path, "wb", buffering=0) as record:
        print(os.ttyname(slave), flush=True)
        serve(mode, master, record)
    os.close(master)


if __name__ == "__main__":
    main(*sys.argv[1:])
